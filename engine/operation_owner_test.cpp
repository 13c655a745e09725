// The one worker: refusal while busy, undo on the worker, failures that
// throw, and waits that cannot hang on the worker's sends.
#include "engine/operation_owner.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <future>
#include <stdexcept>

#include "testing/memory_log.h"
#include "testing/window_thread_notifier.h"
#include "testing/worker_gate.h"

namespace hs {
namespace {

using ::hs::testing::WindowThreadNotifier;
using ::hs::testing::WorkerGate;

// Waits for `f` at most a few seconds; a thread that hangs cannot be
// recovered, so the test binary ends with a failure.
void MustFinish(std::future<void>& f, const char* what) {
  if (f.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    ADD_FAILURE() << what << " hangs";
    std::_Exit(1);
  }
  f.get();
}

TEST(OperationOwner, AnUndoRunsOnTheWorkerAloneAndReportsItsResult) {
  MemoryLog log;
  OperationOwner owner(log, nullptr);
  WorkerGate gate;
  std::thread::id undo_thread;
  std::promise<bool> result;
  ASSERT_TRUE(owner.StartUndo(
      [&] {
        undo_thread = std::this_thread::get_id();
        gate.Arrive();
        return false;  // an undo that could not import everything
      },
      [&](bool ok) { result.set_value(ok); }));
  ASSERT_TRUE(gate.WaitArrived());
  EXPECT_EQ(Operation::kUndoing, owner.state());
  EXPECT_FALSE(owner.Start(Operation::kScanning, [] { return true; })) << "a scan while the undo runs";
  EXPECT_FALSE(owner.StartUndo([] { return true; })) << "a second undo while the first runs";
  gate.Open();
  owner.Join();
  EXPECT_NE(std::this_thread::get_id(), undo_thread);
  EXPECT_FALSE(result.get_future().get());
  EXPECT_FALSE(owner.last_succeeded());
  EXPECT_EQ(Operation::kIdle, owner.state());
  EXPECT_TRUE(owner.StartUndo([] { return true; })) << "idle again";
  owner.Join();
  EXPECT_TRUE(owner.last_succeeded());
}

TEST(OperationOwner, WorkThatThrowsIsLoggedReportedAsFailedAndLeavesTheOwnerIdle) {
  MemoryLog log;
  OperationOwner owner(log, nullptr);
  bool reported = true;
  ASSERT_TRUE(owner.Start(
      Operation::kRepairing, []() -> bool { throw std::runtime_error("disk\ngone"); },
      [&](bool ok) { reported = ok; }));
  owner.Join();
  EXPECT_FALSE(reported);
  EXPECT_EQ(Operation::kIdle, owner.state());
  ASSERT_FALSE(log.Lines().empty());
  EXPECT_EQ(u"The repair failed with an exception: disk gone", log.Lines().back());
  // Not even an exception of no known type ends the process.
  ASSERT_TRUE(owner.Start(Operation::kScanning, []() -> bool { throw 7; }));
  owner.Join();
  EXPECT_FALSE(owner.last_succeeded());
}

TEST(OperationOwner, AStartFromTheCompletionIsRefusedAndAJoinFromItReturns) {
  MemoryLog log;
  OperationOwner owner(log, nullptr);
  bool restarted = true;
  WorkerGate joining;
  ASSERT_TRUE(owner.Start(
      Operation::kScanning, [] { return true; },
      [&](bool) {
        joining.Arrive();  // another thread is about to wait for this worker
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        owner.Join();  // the window's end handler may wait for the run
        restarted = owner.StartUndo([] { return true; });
      }));
  auto f = std::async(std::launch::async, [&] {
    ASSERT_TRUE(joining.WaitArrived());
    joining.Open();
    owner.Join();
  });
  MustFinish(f, "a join while the completion joins and starts");
  EXPECT_FALSE(restarted);
  EXPECT_EQ(Operation::kIdle, owner.state());
}

TEST(OperationOwner, AWindowThreadJoiningWhileTheWorkerSendsToItServesTheSend) {
  MemoryLog log;
  WindowThreadNotifier notifier;
  OperationOwner owner(log, &notifier);
  std::promise<void> bound;
  std::promise<void> joined;
  std::thread window([&] {
    notifier.BindWindowThread();
    bound.set_value();
    // The user stops while the worker waits in a send to this thread.
    if (!notifier.WaitForPendingSend()) ADD_FAILURE() << "the worker never sent";
    owner.Join();
    joined.set_value();
  });
  bound.get_future().wait();
  ASSERT_TRUE(owner.Start(Operation::kScanning, [&] {
    notifier.Send(1, 0x403, 0x10, 1);
    return true;
  }));
  auto f = joined.get_future();
  MustFinish(f, "the window thread's join");
  window.join();
  ASSERT_EQ(1u, notifier.Handled().size());
  EXPECT_EQ(0x403u, notifier.Handled()[0].message);
  EXPECT_TRUE(owner.last_succeeded());
}

}  // namespace
}  // namespace hs
