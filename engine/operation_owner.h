// OperationOwner: the one worker thread of the program. A scan, a repair or
// an undo runs on it, one at a time: a start while another operation runs
// answers false and starts nothing.
//
// Threads: Start, StartUndo, Join and the accessors are safe from any thread
// except the worker itself (Join from the worker returns at once). The
// operation's work and its completion callback run on the worker. An
// exception leaving the work is caught on the worker, logged and reported to
// the completion callback as a failure; the owner is idle again afterwards.
//
// Waiting never blocks a worker that waits on the waiting thread: Join
// serves the messages other threads have sent to the caller's windows
// (Notifier::ServeSent) while it waits, so a worker inside a synchronous
// Send to the window thread can finish even while that thread joins it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/log.h"
#include "platform/notifier.h"

namespace hs {

enum class Operation : std::uint8_t { kIdle, kScanning, kRepairing, kUndoing };

const char16_t* OperationName(Operation op);

class OperationOwner {
 public:
  // The work: true when it succeeded. The completion: runs on the worker
  // after the work (also after an exception, with false), before the owner
  // is idle again, so a start from it is refused.
  using Work = std::function<bool()>;
  using Done = std::function<void(bool ok)>;

  // `notifier` (may be null) serves sent messages while Join waits.
  OperationOwner(Log& log, Notifier* notifier);
  ~OperationOwner();  // joins a running worker
  OperationOwner(const OperationOwner&) = delete;
  OperationOwner& operator=(const OperationOwner&) = delete;

  // Starts `work` as operation `op` (not kIdle) when idle; false when busy.
  // `prepare` runs on the caller once the operation is claimed, before the
  // worker exists (flags a caller reads right after a successful start).
  [[nodiscard]] bool Start(Operation op, Work work, Done done = {}, const std::function<void()>& prepare = {});
  // An undo on the worker (the caller passes e.g. UndoSetFromRecord bound
  // to its set); `done` reports whether it succeeded.
  [[nodiscard]] bool StartUndo(Work undo, Done done = {}) { return Start(Operation::kUndoing, std::move(undo), std::move(done)); }

  // Waits until the worker has ended (no-op when none runs).
  void Join();
  Operation state() const;
  bool busy() const { return state() != Operation::kIdle; }
  // Whether the last finished operation succeeded (false after an exception).
  bool last_succeeded() const;
  // True when called on the worker thread.
  bool OnWorker() const;

 private:
  void Run(Operation op, const Work& work, const Done& done);

  Log& log_;
  Notifier* notifier_;
  // Held by Start and Join (never by the worker), so a Join cannot miss a
  // worker that a concurrent Start is creating.
  std::mutex thread_mu_;
  std::thread worker_;
  std::atomic<std::thread::id> worker_id_{};  // set by the worker while it runs
  mutable std::mutex state_mu_;
  std::condition_variable idle_cv_;
  Operation state_ = Operation::kIdle;
  bool last_ok_ = true;
};

}  // namespace hs
