#include "app/web/model_loop.h"

namespace hs {

void ModelLoop::Post(Task task) {
  std::lock_guard<std::mutex> lock(mu_);
  if (stopped_) return;
  tasks_.push_back(std::move(task));
  cv_.notify_all();
}

void ModelLoop::SetTimer(int id, std::uint32_t ms, std::function<void(int)> fire) {
  std::lock_guard<std::mutex> lock(mu_);
  const std::chrono::milliseconds every(ms);
  timers_[id] = Timer{every, Clock::now() + every, std::move(fire)};
  cv_.notify_all();
}

void ModelLoop::KillTimer(int id) {
  std::lock_guard<std::mutex> lock(mu_);
  timers_.erase(id);
}

void ModelLoop::Stop() {
  std::lock_guard<std::mutex> lock(mu_);
  stopped_ = true;
  cv_.notify_all();
}

void ModelLoop::Run() {
  std::unique_lock<std::mutex> lock(mu_);
  while (!stopped_) {
    if (!tasks_.empty()) {
      Task task = std::move(tasks_.front());
      tasks_.pop_front();
      lock.unlock();
      task();
      lock.lock();
      continue;
    }
    // The timer due first, ties by id (as a window's timers arrive).
    auto next = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it)
      if (next == timers_.end() || it->second.due < next->second.due) next = it;
    if (next == timers_.end()) {
      cv_.wait(lock);
      continue;
    }
    if (Clock::now() < next->second.due) {
      cv_.wait_until(lock, next->second.due);
      continue;
    }
    const int id = next->first;
    next->second.due = Clock::now() + next->second.every;
    std::function<void(int)> fire = next->second.fire;
    lock.unlock();
    fire(id);
    lock.lock();
  }
}

}  // namespace hs
