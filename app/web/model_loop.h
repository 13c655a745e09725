// One thread that runs every call into the main window's model: posted
// tasks and window timers, one at a time, in order. The model is
// single-threaded; the web server's threads and the scan worker only post.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

namespace hs {

class ModelLoop {
 public:
  using Task = std::function<void()>;

  // Safe from any thread. Tasks posted after Stop are dropped.
  void Post(Task task);
  // A repeating timer: `fire` runs every `ms` until KillTimer; setting an
  // armed id again restarts it.
  void SetTimer(int id, std::uint32_t ms, std::function<void(int)> fire);
  void KillTimer(int id);
  // Runs tasks and timers on the calling thread until Stop.
  void Run();
  void Stop();

 private:
  using Clock = std::chrono::steady_clock;
  struct Timer {
    std::chrono::milliseconds every;
    Clock::time_point due;
    std::function<void(int)> fire;
  };
  std::mutex mu_;
  std::condition_variable cv_;
  std::deque<Task> tasks_;
  std::map<int, Timer> timers_;
  bool stopped_ = false;
};

}  // namespace hs
