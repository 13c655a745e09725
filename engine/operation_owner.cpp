#include "engine/operation_owner.h"

#include <chrono>
#include <exception>

namespace hs {

const char16_t* OperationName(Operation op) {
  switch (op) {
    case Operation::kIdle: return u"idle";
    case Operation::kScanning: return u"scan";
    case Operation::kRepairing: return u"repair";
    case Operation::kUndoing: return u"undo";
  }
  return u"?";
}

OperationOwner::OperationOwner(Log& log, Notifier* notifier) : log_(log), notifier_(notifier) {}

OperationOwner::~OperationOwner() { Join(); }

bool OperationOwner::Start(Operation op, Work work, Done done, const std::function<void()>& prepare) {
  if (op == Operation::kIdle || !work) return false;
  // Busy: answered at once, without waiting for a Join under way. (The
  // worker itself is busy until its completion has run.)
  if (OnWorker() || busy()) return false;
  std::lock_guard<std::mutex> thread_lock(thread_mu_);
  {
    std::lock_guard<std::mutex> lock(state_mu_);
    if (state_ != Operation::kIdle) return false;
    state_ = op;
  }
  // The previous worker has gone idle; it only has to leave its function.
  if (worker_.joinable()) worker_.join();
  try {
    if (prepare) prepare();
    worker_ = std::thread([this, op, work = std::move(work), done = std::move(done)] { Run(op, work, done); });
  } catch (...) {
    log_.LogLine(Text(u"The ") + OperationName(op) + u" could not be started");
    std::lock_guard<std::mutex> lock(state_mu_);
    state_ = Operation::kIdle;
    return false;
  }
  return true;
}

void OperationOwner::Run(Operation op, const Work& work, const Done& done) {
  worker_id_.store(std::this_thread::get_id());
  bool ok = false;
  try {
    ok = work();
  } catch (const std::exception& e) {
    const std::string what = e.what();
    log_.LogLine(Text(u"The ") + OperationName(op) + u" failed with an exception: " +
                 LogSafe(Text(what.begin(), what.end())));
  } catch (...) {
    log_.LogLine(Text(u"The ") + OperationName(op) + u" failed with an exception");
  }
  if (done) {
    try {
      done(ok);
    } catch (...) {
      log_.LogLine(Text(u"The end of the ") + OperationName(op) + u" failed with an exception");
    }
  }
  worker_id_.store(std::thread::id());
  {
    std::lock_guard<std::mutex> lock(state_mu_);
    state_ = Operation::kIdle;
    last_ok_ = ok;
  }
  idle_cv_.notify_all();
}

void OperationOwner::Join() {
  if (OnWorker()) return;  // a worker cannot wait for itself
  std::lock_guard<std::mutex> thread_lock(thread_mu_);
  if (!worker_.joinable()) return;
  {
    // Wait in short steps, serving what the worker sends to this thread.
    std::unique_lock<std::mutex> lock(state_mu_);
    while (state_ != Operation::kIdle) {
      lock.unlock();
      if (notifier_) notifier_->ServeSent();
      lock.lock();
      idle_cv_.wait_for(lock, std::chrono::milliseconds(10), [this] { return state_ == Operation::kIdle; });
    }
  }
  worker_.join();
}

Operation OperationOwner::state() const {
  std::lock_guard<std::mutex> lock(state_mu_);
  return state_;
}

bool OperationOwner::last_succeeded() const {
  std::lock_guard<std::mutex> lock(state_mu_);
  return last_ok_;
}

bool OperationOwner::OnWorker() const { return worker_id_.load() == std::this_thread::get_id(); }

}  // namespace hs
