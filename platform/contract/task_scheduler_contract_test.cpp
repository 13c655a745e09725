// The TaskScheduler contract: under Wine the system's scheduler (its work
// items are real .job files), natively the tasks file. Work items come back
// with their program, parameters, flags and triggers; a second item of a
// name is refused with 80; the service runs.
#include <gtest/gtest.h>

#include "platform/task_scheduler.h"
#include "testing/manual_clock.h"
#include "testing/scratch_fs.h"
#include "testing/test_env.h"

namespace hs {
namespace {

class TaskSchedulerContract : public ::testing::Test {
 protected:
  void SetUp() override {
    scheduler_ = testing::MakeContractTaskScheduler(scratch_.host());
    name_ = testing::UniqueName("hs-task");
  }
  void TearDown() override { (void)scheduler_->DeleteWorkItem(name_); }

  WorkItem Item(std::vector<TaskTrigger> triggers) const {
    return WorkItem{name_, u"C:\\Program Files\\HiveSweep\\HiveSweep.exe", u"scan", u"", u"",
                    kTaskRunOnlyIfLoggedOn | kTaskInteractive, std::move(triggers)};
  }

  testing::ScratchFs scratch_{"hs_tasks"};
  std::unique_ptr<TaskScheduler> scheduler_;
  Text name_;
};

TEST_F(TaskSchedulerContract, WeeklyItemIsReadBackAndANameIsTakenOnce) {
  // Monday and Friday, every second week, from 10 Dec 2026 09:30.
  const TaskTrigger weekly{TriggerKind::kWeekly, 2026, 12, 10, 9, 30, 2, 0x22, 0, 0};
  ASSERT_EQ(err::kSuccess, scheduler_->CreateWorkItem(Item({weekly})));

  WorkItem back;
  ASSERT_EQ(err::kSuccess, scheduler_->ReadWorkItem(name_, &back));
  EXPECT_EQ(u"C:\\Program Files\\HiveSweep\\HiveSweep.exe", back.program);
  EXPECT_EQ(u"scan", back.parameters);
  EXPECT_EQ(kTaskRunOnlyIfLoggedOn | kTaskInteractive, back.flags & (kTaskRunOnlyIfLoggedOn | kTaskInteractive));
  ASSERT_EQ(1u, back.triggers.size());
  EXPECT_EQ(weekly, back.triggers[0]);

  std::vector<Text> names;
  ASSERT_EQ(err::kSuccess, scheduler_->ListWorkItems(&names));
  EXPECT_NE(names.end(), std::find(names.begin(), names.end(), name_));

  WorkItem other = Item({TaskTrigger{TriggerKind::kOnce, 2027, 1, 2, 3, 4}});
  other.parameters = u"-default";
  EXPECT_EQ(err::kFileExists, scheduler_->CreateWorkItem(other));
  ASSERT_EQ(err::kSuccess, scheduler_->ReadWorkItem(name_, &back));
  EXPECT_EQ(u"scan", back.parameters) << "the first item stays";

  ASSERT_EQ(err::kSuccess, scheduler_->DeleteWorkItem(name_));
  EXPECT_EQ(err::kFileNotFound, scheduler_->ReadWorkItem(name_, &back));
  EXPECT_EQ(err::kFileNotFound, scheduler_->DeleteWorkItem(name_));
  // The name is free again.
  EXPECT_EQ(err::kSuccess, scheduler_->CreateWorkItem(other));
}

TEST_F(TaskSchedulerContract, EveryTriggerKindComesBack) {
  const std::vector<TaskTrigger> triggers = {
      {TriggerKind::kOnce, 2027, 2, 28, 23, 59},
      {TriggerKind::kDaily, 2026, 12, 9, 15, 1, 3},
      {TriggerKind::kWeekly, 2026, 12, 13, 0, 0, 1, 0x01},
      {TriggerKind::kMonthlyDate, 2026, 12, 31, 12, 0, 1, 0, 1u << 30, kAllMonths},
      {TriggerKind::kMonthlyDate, 2026, 12, 1, 12, 0, 1, 0, 0x1, kAllMonths},
  };
  WorkItem item = Item(triggers);
  item.parameters = u"-updatecheck";
  ASSERT_EQ(err::kSuccess, scheduler_->CreateWorkItem(item));
  WorkItem back;
  ASSERT_EQ(err::kSuccess, scheduler_->ReadWorkItem(name_, &back));
  EXPECT_EQ(u"-updatecheck", back.parameters);
  ASSERT_EQ(triggers.size(), back.triggers.size());
  for (std::size_t i = 0; i < triggers.size(); ++i) {
    // Interval fields a kind does not use are not kept.
    TaskTrigger expected = triggers[i];
    if (expected.kind == TriggerKind::kOnce || expected.kind == TriggerKind::kMonthlyDate)
      expected.interval = back.triggers[i].interval;
    EXPECT_EQ(expected, back.triggers[i]) << "trigger " << i;
  }
}

TEST_F(TaskSchedulerContract, RefusesNamesItCannotKeep) {
  WorkItem item = Item({TaskTrigger{TriggerKind::kDaily, 2026, 12, 9, 15, 1, 1}});
  item.name = u"";
  EXPECT_NE(err::kSuccess, scheduler_->CreateWorkItem(item));
  EXPECT_NE(err::kSuccess, scheduler_->DeleteWorkItem(u""));
  WorkItem back;
  EXPECT_EQ(err::kFileNotFound, scheduler_->ReadWorkItem(name_, &back));
}

TEST_F(TaskSchedulerContract, TheServiceRuns) {
  ServiceStatus status;
  ASSERT_EQ(err::kSuccess, scheduler_->QueryService(&status));
  EXPECT_EQ(ServiceState::kRunning, status.state);
  ManualClock clock;
  EXPECT_TRUE(EnsureServiceRunning(*scheduler_, clock));
  EXPECT_EQ(0u, clock.TickMs()) << "a running service is not waited for";
}

TEST(TaskSchedulerLogonContract, LogonTaskIsReplacedAndDeleted) {
  if (testing::RunningOnWine()) {
    // Wine's task service cannot create a logon trigger (E_NOTIMPL) and
    // registers definitions without their triggers and actions.
    GTEST_SKIP() << "Wine's task service does not implement logon triggers";
  }
  testing::ScratchFs scratch("hs_logon");
  auto scheduler = testing::MakeContractTaskScheduler(scratch.host());
  const Text name = testing::UniqueName("hs-logon");
  LogonTaskDefinition task{name, u"C:\\HiveSweep\\HiveSweep.exe", u"-rem", u"CORVANTA"};
  ASSERT_EQ(err::kSuccess, scheduler->RegisterLogonTask(task));
  task.arguments = u"StartedAfterOptimization";
  ASSERT_EQ(err::kSuccess, scheduler->RegisterLogonTask(task)) << "an existing task is replaced";
  LogonTaskDefinition back;
  ASSERT_EQ(err::kSuccess, scheduler->ReadLogonTask(name, &back));
  EXPECT_EQ(task, back);
  ASSERT_EQ(err::kSuccess, scheduler->DeleteLogonTask(name));
  EXPECT_EQ(err::kFileNotFound, scheduler->ReadLogonTask(name, &back));
}

}  // namespace
}  // namespace hs
