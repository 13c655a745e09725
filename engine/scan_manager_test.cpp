// The scan run: area creation per mask, run order on a worker thread, the
// ticked areas, cancelling, and the messages the window receives.
#include "engine/scan_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "areas/areas.h"
#include "testing/scan_fixture.h"
#include "testing/window_thread_notifier.h"
#include "testing/worker_gate.h"
#include <cstdlib>
#include <future>

namespace hs {
namespace {

using ::hs::testing::ScanFixture;
using ::hs::testing::WindowThreadNotifier;
using ::hs::testing::WorkerGate;

struct RunLog {
  std::mutex mu;
  std::vector<std::uint32_t> ran;
  std::uint32_t cancel_in = 0;  // the area that cancels the run while it scans
  std::uint32_t gate_in = 0;    // the area that waits at the gate
  WorkerGate gate;
  std::uint32_t throw_in = 0;   // the area whose scan throws
};

class TestArea final : public CCategory {
 public:
  TestArea(std::uint32_t bit, ScanManager& m, RunLog& log) : CCategory(bit, m), log_(log) {}
  bool PrepareScan() override { return true; }
  int Scan() override {
    {
      std::lock_guard<std::mutex> lock(log_.mu);
      log_.ran.push_back(bit());
    }
    for (int i = 0; i < 30; ++i) ReportProgress(u"item");
    if (bit() == log_.gate_in) log_.gate.Arrive();
    if (bit() == log_.throw_in) throw std::runtime_error("area failed");
    if (bit() == log_.cancel_in) {
      manager().Cancel();
      return IsCancelled() ? 2 : 0;
    }
    return 0;
  }

 private:
  RunLog& log_;
};

std::uint32_t GroupsMask(std::initializer_list<int> groups) {
  std::uint32_t m = 0;
  for (int g : groups) m |= kGroupMasks[g - 1];
  return m;
}

class ScanRun : public ::testing::Test {
 protected:
  ScanRun()
      : fx_(MachineFacts{}, [this](std::uint32_t bit, ScanManager& m) -> std::unique_ptr<CCategory> {
          return std::make_unique<TestArea>(bit, m, runs_);
        }) {}
  void RunToEnd() {
    ASSERT_TRUE(fx_.manager->StartScan());
    fx_.manager->JoinWorker();
    EXPECT_FALSE(fx_.manager->scanning());
    EXPECT_FALSE(fx_.manager->worker_running());
  }
  RunLog runs_;
  ScanFixture fx_;
};

TEST_F(ScanRun, GroupsOneAndThreeRunNineAreasInRunOrder) {
  fx_.manager->CreateAreas(GroupsMask({1, 3}), 9);
  RunToEnd();
  EXPECT_EQ((std::vector<std::uint32_t>{0x0002, 0x0008, 0x0010, 0x0040, 0x1000, 0x0020, 0x0080, 0x0200, 0x2000}),
            runs_.ran);
  EXPECT_EQ(kMsgScanFinished, fx_.Messages().back().message);
  EXPECT_EQ(1u, fx_.Messages().back().wparam);
}

TEST_F(ScanRun, AnUntickedAreaIsCreatedButDoesNotRun) {
  fx_.context.selected_categories = kAllAreasMask & ~0x0008u;
  fx_.manager->CreateAreas(GroupsMask({1}), 5);
  RunToEnd();
  EXPECT_EQ((std::vector<std::uint32_t>{0x0002, 0x0010, 0x0040, 0x1000}), runs_.ran);
  ASSERT_NE(nullptr, fx_.manager->AreaByBit(0x0008));
  EXPECT_EQ(0u, fx_.manager->AreaByBit(0x0008)->Count());
  EXPECT_EQ(nullptr, fx_.manager->AreaByBit(0x0001)) << "group 2 was not chosen";
  EXPECT_EQ(nullptr, fx_.manager->AreaByBit(0x0003)) << "not a single area bit";
}

TEST_F(ScanRun, CancellingInTheThirdAreaStopsTheRunAndPostsCancelled) {
  runs_.cancel_in = 0x0010;  // help files: third in run order
  fx_.manager->CreateAreas(kAllAreasMask, 14);
  RunToEnd();
  EXPECT_EQ((std::vector<std::uint32_t>{0x0002, 0x0008, 0x0010}), runs_.ran);
  auto msgs = fx_.Messages();
  EXPECT_EQ(kMsgScanCancelled, msgs.back().message);
  for (auto& m : msgs) EXPECT_FALSE(m.message == kMsgAreaEnd && m.wparam == 0x0010) << "no end for a cancelled area";
  // A new set of areas starts uncancelled.
  fx_.manager->CreateAreas(GroupsMask({2}), 2);
  EXPECT_FALSE(fx_.manager->IsCancelled());
}

TEST_F(ScanRun, MessagesComeInTheirOrder) {
  fx_.manager->CreateAreas(GroupsMask({2}), 2);  // ActiveX (run 6), file types (run 7)
  RunToEnd();
  struct Expect {
    WindowTarget window;
    std::uint32_t message;
    std::uintptr_t wparam;
    std::intptr_t lparam;
    bool sent;
  };
  std::vector<Expect> expected;
  for (std::uint32_t bit : {0x0001u, 0x0004u}) {
    expected.push_back({ScanFixture::kNotifyWindow, kMsgBeforeAreaStart, 0, 0, true});
    expected.push_back({ScanFixture::kNotifyWindow, kMsgAreaStart, bit, 1, true});
    expected.push_back({ScanFixture::kMainWindow, kMsgProgressItem, 0, 0, false});  // the 27th item
    expected.push_back({ScanFixture::kNotifyWindow, kMsgAreaEnd, bit, 1, true});
    expected.push_back({ScanFixture::kMainWindow, kMsgProgressItem, 0, 0, false});  // empty text after the area
  }
  expected.push_back({ScanFixture::kNotifyWindow, kMsgScanFinished, 1, 0, false});
  auto msgs = fx_.Messages();
  ASSERT_EQ(expected.size(), msgs.size());
  for (std::size_t i = 0; i < msgs.size(); ++i) {
    EXPECT_EQ(expected[i].window, msgs[i].window) << i;
    EXPECT_EQ(expected[i].message, msgs[i].message) << i;
    EXPECT_EQ(expected[i].wparam, msgs[i].wparam) << i << ": the progress message carries no pointer";
    EXPECT_EQ(expected[i].lparam, msgs[i].lparam) << i;
    EXPECT_EQ(expected[i].sent, msgs[i].sent) << i;
  }
  // 2 x 30 reports: the 27th and the 54th are shown, upper-cased; each area ends with an empty text.
  EXPECT_EQ((std::vector<Text>{u"ITEM", u"", u"ITEM", u""}), fx_.progress);
}

TEST_F(ScanRun, ASecondStartWhileAScanRunsIsRefusedAndAFinishedOneCanBeFollowed) {
  runs_.gate_in = 0x0800;  // a group 4 area holds the worker
  fx_.manager->CreateAreas(GroupsMask({4}), 3);
  ASSERT_TRUE(fx_.manager->StartScan());
  ASSERT_TRUE(runs_.gate.WaitArrived()) << "the worker never reached the area";
  EXPECT_TRUE(fx_.manager->worker_running());
  EXPECT_EQ(Operation::kScanning, fx_.manager->owner().state());
  EXPECT_FALSE(fx_.manager->StartScan()) << "a second scan while the first is held in an area";
  EXPECT_FALSE(fx_.manager->owner().StartUndo([] { return true; })) << "an undo while a scan runs";
  runs_.gate.Open();
  fx_.manager->JoinWorker();
  EXPECT_FALSE(fx_.manager->worker_running());
  {
    std::lock_guard<std::mutex> lock(runs_.mu);
    EXPECT_EQ(3u, runs_.ran.size()) << "the refused start ran nothing";
  }
  runs_.gate_in = 0;
  ASSERT_TRUE(fx_.manager->StartScan()) << "a finished worker can be followed by a new one";
  fx_.manager->JoinWorker();
  EXPECT_EQ(6u, runs_.ran.size());
}

TEST_F(ScanRun, AnAreaThatThrowsEndsTheRunAsCancelledAndLeavesTheOwnerIdle) {
  runs_.throw_in = 0x0008;  // second in run order
  fx_.manager->CreateAreas(GroupsMask({1}), 5);
  RunToEnd();
  EXPECT_EQ((std::vector<std::uint32_t>{0x0002, 0x0008}), runs_.ran);
  EXPECT_EQ(kMsgScanCancelled, fx_.Messages().back().message);
  EXPECT_EQ(Operation::kIdle, fx_.manager->owner().state());
  EXPECT_FALSE(fx_.manager->owner().last_succeeded());
  const auto lines = fx_.log.Lines();
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                          [](const Text& l) { return l.find(u"area failed") != Text::npos; }))
      << "the exception is logged";
  runs_.throw_in = 0;
  RunToEnd();
  EXPECT_EQ(kMsgScanFinished, fx_.Messages().back().message);
  EXPECT_TRUE(fx_.manager->owner().last_succeeded());
}

TEST_F(ScanRun, StoppingFromTheWindowThreadWhileTheWorkerSendsToItDoesNotHang) {
  WindowThreadNotifier notifier;
  ScanContext context{*fx_.registry, *fx_.wow64, fx_.system, fx_.protection, notifier, fx_.log};
  ScanManager manager(context, [this](std::uint32_t bit, ScanManager& m) -> std::unique_ptr<CCategory> {
    return std::make_unique<TestArea>(bit, m, runs_);
  });
  manager.set_notify_window(ScanFixture::kNotifyWindow);
  manager.set_main_window(ScanFixture::kMainWindow);
  manager.CreateAreas(GroupsMask({1}), 5);
  std::promise<void> bound;
  std::promise<void> stopped;
  std::thread window([&] {
    notifier.BindWindowThread();
    bound.set_value();
    // The worker waits in its first send to this thread when the user stops.
    if (!notifier.WaitForPendingSend()) ADD_FAILURE() << "the worker never sent";
    manager.Cancel();
    manager.JoinWorker();
    stopped.set_value();
  });
  bound.get_future().wait();
  ASSERT_TRUE(manager.StartScan());
  auto f = stopped.get_future();
  if (f.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    ADD_FAILURE() << "the window thread's stop hangs";
    std::_Exit(1);
  }
  window.join();
  const auto msgs = notifier.Handled();
  ASSERT_FALSE(msgs.empty());
  EXPECT_EQ(kMsgBeforeAreaStart, msgs.front().message);
  for (const auto& m : msgs) {
    EXPECT_FALSE(m.sent && m.message != kMsgBeforeAreaStart) << "sent after the stop: " << m.message;
  }
  EXPECT_EQ(kMsgScanCancelled, msgs.back().message);
  EXPECT_FALSE(msgs.back().sent);
  EXPECT_EQ(1u, runs_.ran.size()) << "the area under way ends, no other starts";
}

TEST(ScanAreas, TheFactoryBuildsAllFourteenAreasWithTheirBits) {
  ScanFixture fx(MachineFacts{}, CreateArea);
  fx.manager->CreateAreas(kAllAreasMask, 14);
  for (const auto& a : kAreas) {
    CCategory* area = fx.manager->AreaByBit(a.bit);
    ASSERT_NE(nullptr, area) << a.class_name;
    EXPECT_EQ(a.bit, area->bit());
  }
  fx.manager->CollectAreas();
  EXPECT_EQ(kAllAreasMask, fx.manager->area_mask());
  EXPECT_EQ(14, fx.manager->area_count());
  ASSERT_TRUE(fx.manager->StartScan());
  fx.manager->JoinWorker();
  EXPECT_EQ(0u, fx.manager->TotalProblems());
  EXPECT_EQ(kMsgScanFinished, fx.Messages().back().message);
}

}  // namespace
}  // namespace hs
