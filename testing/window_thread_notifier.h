// A notifier with Windows' threading: a message sent from another thread
// waits until the window's thread serves it (when that thread serves sent
// messages: ServeSent, as a waiting Join does); posted messages are only
// recorded. Tests use it to show that a window thread that waits for a
// worker cannot hang on the worker's send.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/notifier.h"

namespace hs::testing {

class WindowThreadNotifier final : public Notifier {
 public:
  struct Message {
    std::uint32_t message;
    std::uintptr_t wparam;
    bool sent;
  };

  // Makes the calling thread the windows' thread.
  void BindWindowThread() { window_thread_.store(std::this_thread::get_id()); }

  void Post(WindowTarget, std::uint32_t m, std::uintptr_t wp, std::intptr_t) override {
    std::lock_guard<std::mutex> lock(mu_);
    handled_.push_back({m, wp, false});
  }
  void Send(WindowTarget, std::uint32_t m, std::uintptr_t wp, std::intptr_t) override {
    std::unique_lock<std::mutex> lock(mu_);
    if (std::this_thread::get_id() == window_thread_.load()) {
      handled_.push_back({m, wp, true});
      return;
    }
    const std::uint64_t ticket = ++queued_;
    pending_.push_back({m, wp, true});
    cv_.notify_all();
    cv_.wait(lock, [&] { return served_ >= ticket; });
  }
  bool WindowExists(WindowTarget w) override { return w != 0; }
  void ServeSent() override {
    if (std::this_thread::get_id() != window_thread_.load()) return;
    std::lock_guard<std::mutex> lock(mu_);
    while (!pending_.empty()) {
      handled_.push_back(pending_.front());
      pending_.pop_front();
      ++served_;
    }
    cv_.notify_all();
  }

  // Waits until a send from another thread waits on the window thread.
  bool WaitForPendingSend(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    std::unique_lock<std::mutex> lock(mu_);
    return cv_.wait_for(lock, limit, [this] { return !pending_.empty(); });
  }
  std::vector<Message> Handled() {
    std::lock_guard<std::mutex> lock(mu_);
    return handled_;
  }

 private:
  std::atomic<std::thread::id> window_thread_{};
  std::mutex mu_;
  std::condition_variable cv_;
  std::deque<Message> pending_;
  std::vector<Message> handled_;
  std::uint64_t queued_ = 0;
  std::uint64_t served_ = 0;
};

}  // namespace hs::testing
