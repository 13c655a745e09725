// Holds a worker thread at a point until the test opens the gate, and tells
// the test when the worker has got there (so the test knows it runs).
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace hs::testing {

class WorkerGate {
 public:
  // On the worker: marks the arrival and waits until the gate opens.
  void Arrive() {
    std::unique_lock<std::mutex> lock(mu_);
    arrived_ = true;
    cv_.notify_all();
    cv_.wait(lock, [this] { return open_; });
  }
  // On the test: true once a worker waits at the gate (false after `limit`).
  bool WaitArrived(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    std::unique_lock<std::mutex> lock(mu_);
    return cv_.wait_for(lock, limit, [this] { return arrived_; });
  }
  void Open() {
    std::lock_guard<std::mutex> lock(mu_);
    open_ = true;
    cv_.notify_all();
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  bool arrived_ = false;
  bool open_ = false;
};

}  // namespace hs::testing
