// Scheduling through an in-memory task scheduler: the schedule page's
// tasks and messages, the first start's tasks and the logon task. The
// settings live in a scratch key of the build's registry.
#include "app/scheduling.h"

#include <gtest/gtest.h>

#include "app/settings_pages.h"
#include "platform/portable_system_info.h"
#include "testing/manual_clock.h"
#include "testing/memory_log.h"
#include "testing/memory_task_scheduler.h"
#include "testing/recording_prompts.h"
#include "testing/scratch_settings.h"
#include "testing/test_env.h"

namespace hs {
namespace {

using ::hs::testing::MemoryTaskScheduler;
using ::hs::testing::RecordingPrompts;

constexpr char16_t kProgram[] = u"C:\\Program Files\\HiveSweep\\HiveSweep.exe";
const ScheduleValues kNoSchedule{3, {}, u"", u""};

class RecordingLauncher final : public SelfLauncher {
 public:
  WinError StartSelf(LaunchVerb verb, TextView argument) override {
    runas = verb == LaunchVerb::kRunAs;
    arguments.emplace_back(argument);
    return result;
  }
  WinError result = err::kSuccess;
  bool runas = false;
  std::vector<Text> arguments;
};

class SchedulingTest : public ::testing::Test {
 protected:
  void SetUp() override { Rebuild(); }

  void Rebuild() {
    system_ = std::make_unique<PortableSystemInfo>(facts_);
    scheduling_ = std::make_unique<Scheduling>(SchedulingEnv{
        scheduler_, *system_, clock_, prompts_, log_, Strings(), kProgram, u"PC\\User", &launcher_});
    env_ = std::make_unique<SettingsPagesEnv>(SettingsPagesEnv{*store_, settings_, prompts_, log_, Strings()});
    page_ = std::make_unique<SchedulePageModel>(*env_, scheduling_.get());
  }
  static StringLookup Strings() {
    return [](TextView key) { return key == u"AFX_IDS_APP_TITLE" ? Text(u"HiveSweep") : Text(key); };
  }
  static ScheduleValues Weekly(std::array<bool, 7> days) { return {2, days, u"12/10/2026", u"9:30 AM"}; }
  AppSettings Reloaded() { return scratch_.Reloaded(); }

  MemoryLog log_;
  RecordingPrompts prompts_;
  ::hs::testing::ScratchSettings scratch_{log_, "HSSched"};
  SettingsStore* store_ = &scratch_.store();
  AppSettings settings_;
  MemoryTaskScheduler scheduler_;
  MachineFacts facts_;
  std::unique_ptr<PortableSystemInfo> system_;
  ManualClock clock_{DateTime{2026, 12, 9, 10, 30}};  // a Wednesday
  RecordingLauncher launcher_;
  std::unique_ptr<Scheduling> scheduling_;
  std::unique_ptr<SettingsPagesEnv> env_;
  std::unique_ptr<SchedulePageModel> page_;
  const DateTime now_{2026, 12, 9, 10, 30};
};

TEST_F(SchedulingTest, WeeklyMondayAndFridayCreatesTheTaskAndItsDescription) {
  const ScheduleValues v = Weekly({true, false, false, false, true, false, false});
  Text label_when_confirmed;
  page_->show_scheduled_at = [&](TextView text) {
    EXPECT_TRUE(prompts_.shown.empty()) << "the label changes before the confirmation";
    label_when_confirmed = Text(text);
  };
  EXPECT_EQ(ScheduleApplyResult::kCreated, page_->Apply(v, DateTime{2026, 12, 10, 9, 30}, now_, u""));
  const WorkItem* item = scheduler_.Item(u"HiveSweepsch");
  ASSERT_NE(nullptr, item);
  EXPECT_EQ(kProgram, item->program);
  EXPECT_EQ(u"scan", item->parameters);
  EXPECT_EQ(u"PC\\User", item->account);
  EXPECT_EQ(kTaskRunOnlyIfLoggedOn | kTaskInteractive, item->flags);
  ASSERT_EQ(1u, item->triggers.size());
  EXPECT_EQ((TaskTrigger{TriggerKind::kWeekly, 2026, 12, 10, 9, 30, 1, 0x22}), item->triggers[0])
      << "Monday is bit 1, Friday bit 5; an empty interval is 1";

  const Text description = u"IDS_EVERYWEEK 09:30 AM; IDS_CHK_MON, IDS_CHK_FRI";
  EXPECT_EQ(description, page_->ScheduledAtText());
  EXPECT_EQ(description, label_when_confirmed);
  EXPECT_EQ(description, Reloaded().ScheduledTime);
  EXPECT_EQ(std::vector<Text>{u"IDS_TASKCREATED"}, prompts_.shown);
}

TEST_F(SchedulingTest, ApplyingTheSameScheduleAgainAsksAndReplacesOnlyOnYes) {
  const ScheduleValues v = Weekly({true, false, false, false, false, false, true});
  ASSERT_EQ(ScheduleApplyResult::kCreated, page_->Apply(v, DateTime{2026, 12, 10, 9, 30}, now_, u"2"));
  prompts_.shown.clear();

  prompts_.answer = PromptAnswer::kNo;
  EXPECT_EQ(ScheduleApplyResult::kFailed, page_->Apply(v, DateTime{2026, 12, 10, 18, 0}, now_, u"2"));
  EXPECT_EQ(std::vector<Text>{u"IDS_FILEEXIST"}, prompts_.shown);
  ASSERT_EQ(1u, scheduler_.items.size());
  EXPECT_EQ(9, scheduler_.items[0].triggers[0].hour) << "No keeps the task";
  EXPECT_EQ(u"IDS_EVERYWEEK 09:30 AM; IDS_CHK_MON, IDS_CHK_SUN", Reloaded().ScheduledTime);

  prompts_.shown.clear();
  prompts_.answer = PromptAnswer::kYes;
  EXPECT_EQ(ScheduleApplyResult::kCreated, page_->Apply(v, DateTime{2026, 12, 10, 18, 0}, now_, u"2"));
  EXPECT_EQ((std::vector<Text>{u"IDS_FILEEXIST", u"IDS_TASKCREATED"}), prompts_.shown);
  ASSERT_EQ(1u, scheduler_.items.size());
  EXPECT_EQ((TaskTrigger{TriggerKind::kWeekly, 2026, 12, 10, 18, 0, 2, 0x03}), scheduler_.items[0].triggers[0]);
  EXPECT_EQ(u"IDS_EVERYWEEK 06:00 PM; IDS_CHK_MON, IDS_CHK_SUN", Reloaded().ScheduledTime);
}

TEST_F(SchedulingTest, RefusedSchedulesCreateNothing) {
  EXPECT_EQ(ScheduleApplyResult::kNoDay, page_->Apply(Weekly({}), DateTime{2026, 12, 10, 9, 30}, now_, u""));
  const ScheduleValues once{0, {}, u"12/9/2026", u"10:00 AM"};
  EXPECT_EQ(ScheduleApplyResult::kTimeElapsed, page_->Apply(once, DateTime{2026, 12, 9, 10, 0}, now_, u""));
  EXPECT_EQ(ScheduleApplyResult::kDateElapsed, page_->Apply(once, DateTime{2026, 12, 8, 23, 0}, now_, u""));
  EXPECT_EQ((std::vector<Text>{u"IDS_NODAY", u"IDS_TIME_ALREADY_ELAPSED", u"IDS_DATE_ALREADY_ELAPSED"}),
            prompts_.shown);
  EXPECT_EQ(0, scheduler_.creates);

  // No schedule while none is stored: nothing at all.
  prompts_.shown.clear();
  EXPECT_EQ(ScheduleApplyResult::kCleared, page_->Apply(kNoSchedule, now_, now_, u""));
  EXPECT_TRUE(scheduler_.deleted.empty());
  EXPECT_TRUE(prompts_.shown.empty());
}

TEST_F(SchedulingTest, IntervalAndOnceAndNoScheduleReachTheScheduler) {
  const ScheduleValues daily{1, {}, u"12/9/2026", u"8:05 PM"};
  ASSERT_EQ(ScheduleApplyResult::kCreated, page_->Apply(daily, DateTime{2026, 12, 9, 20, 5}, now_, u"0"));
  EXPECT_EQ(1, scheduler_.Item(u"HiveSweepsch")->triggers[0].interval) << "\"0\" is every day";
  EXPECT_EQ(u"IDS_EVERYDAY 08:05 PM", settings_.ScheduledTime);

  // No schedule deletes the stored one.
  EXPECT_EQ(ScheduleApplyResult::kCleared, page_->Apply(kNoSchedule, now_, now_, u""));
  EXPECT_EQ(nullptr, scheduler_.Item(u"HiveSweepsch"));
  EXPECT_TRUE(Reloaded().ScheduledTime.empty());
  EXPECT_EQ(u"IDS_NOSCHEDULE_YET", page_->ScheduledAtText());

  const ScheduleValues once{0, {}, u"12/9/2026", u"10:31 AM"};
  ASSERT_EQ(ScheduleApplyResult::kCreated, page_->Apply(once, DateTime{2026, 12, 9, 10, 31, 45}, now_, u"7"));
  EXPECT_EQ((TaskTrigger{TriggerKind::kOnce, 2026, 12, 9, 10, 31}), scheduler_.Item(u"HiveSweepsch")->triggers[0]);
  EXPECT_EQ(u"IDS_RUNONCE Wed. December 09, 2026. 10:31 AM", settings_.ScheduledTime);
}

TEST_F(SchedulingTest, SchedulerFailuresAreSaidByKindAndAutomaticRequestsSayNothing) {
  const ScheduledTaskWriter w{u"HiveSweepsch", now_, 1, 1, {}};
  const std::pair<WinError, const char16_t*> cases[] = {{err::kAccessDenied, u"IDS_NORIGHTS"},
                                                        {err::kInvalidName, u"IDS_VALIDFILE"},
                                                        {err::kDiskFull, u"IDS_NEWTASKERROR"}};
  for (const auto& [error, key] : cases) {
    scheduler_.create_error = error;
    prompts_.shown.clear();
    EXPECT_EQ(SaveResult::kFailed, scheduling_->SaveTask(w, false));
    EXPECT_EQ(std::vector<Text>{key}, prompts_.shown);
    prompts_.shown.clear();
    EXPECT_EQ(SaveResult::kFailed, scheduling_->SaveTask(w, true));
    EXPECT_TRUE(prompts_.shown.empty());
  }
  // An existing automatic task stays, unasked.
  scheduler_.create_error = err::kSuccess;
  ASSERT_EQ(SaveResult::kSaved, scheduling_->SaveTask(w, true));
  EXPECT_EQ(SaveResult::kFailed, scheduling_->SaveTask(w, true));
  EXPECT_TRUE(prompts_.shown.empty());
  EXPECT_EQ(u"-updatecheck", scheduler_.Item(u"HiveSweepsch")->parameters);
}

TEST_F(SchedulingTest, WithoutRightsTheScheduleRestartsElevatedOrIsRefused) {
  const ScheduledTaskWriter w{u"HiveSweepsch", now_, 1, 1, {}};
  facts_.administrator = false;
  Rebuild();
  EXPECT_EQ(SaveResult::kRestarting, scheduling_->SaveTask(w, false));
  EXPECT_TRUE(launcher_.runas);
  EXPECT_EQ(std::vector<Text>{u"hvxvistaschedule"}, launcher_.arguments);
  EXPECT_EQ(0, scheduler_.creates);

  EXPECT_EQ(SaveResult::kFailed, scheduling_->SaveTask(w, true)) << "automatic requests never restart";
  EXPECT_EQ(1u, launcher_.arguments.size());

  launcher_.result = err::kCancelled;
  EXPECT_EQ(SaveResult::kFailed, scheduling_->SaveTask(w, false));
  EXPECT_EQ(std::vector<Text>{u"IDS_NORIGHTS"}, prompts_.shown);

  facts_.major_version = 5;
  Rebuild();
  prompts_.shown.clear();
  EXPECT_EQ(SaveResult::kFailed, scheduling_->SaveTask(w, false));
  EXPECT_EQ(2u, launcher_.arguments.size()) << "version 5 does not restart";
  EXPECT_EQ(std::vector<Text>{u"IDS_NORIGHTS"}, prompts_.shown);

  // An administrator whose service cannot start.
  facts_ = MachineFacts{};
  Rebuild();
  prompts_.shown.clear();
  scheduler_.service = ServiceStatus{ServiceState::kStopped, 0, 0, false};
  scheduler_.service_starts = false;
  EXPECT_EQ(SaveResult::kFailed, scheduling_->SaveTask(w, false));
  EXPECT_EQ(std::vector<Text>{u"IDS_SERVICENORUN"}, prompts_.shown);
  EXPECT_EQ(0, scheduler_.creates);
  scheduler_.service_starts = true;
  EXPECT_EQ(SaveResult::kSaved, scheduling_->SaveTask(w, false));
  EXPECT_TRUE(scheduler_.service.automatic) << "a started service is made automatic";
}

TEST_F(SchedulingTest, FirstRunCreatesTheUpdateCheckAndTheReminderOnce) {
  EXPECT_FALSE(scheduling_->RunFirstRun(*store_)) << "only with StartAutoTutorial = 1";
  EXPECT_FALSE(store_->HasValue(settings_value::kFirstRun));
  ASSERT_EQ(err::kSuccess, store_->WriteDword(settings_value::kStartAutoTutorial, 1));
  WorkItem old;
  old.name = u"HiveSweep_DEFAULT";
  old.program = u"C:\\old.exe";
  scheduler_.items.push_back(old);

  EXPECT_TRUE(scheduling_->RunFirstRun(*store_));
  EXPECT_EQ(1u, store_->ReadDword(settings_value::kFirstRun, 0));
  EXPECT_EQ((std::vector<Text>{u"HiveSweep", u"HiveSweep_DEFAULT", u"HiveSweep_Updates"}), scheduler_.deleted);
  ASSERT_EQ(2u, scheduler_.items.size());
  const WorkItem& update = scheduler_.items[0];
  EXPECT_EQ(u"HiveSweep_UPDATES", update.name);
  EXPECT_EQ(u"-updatecheck", update.parameters);
  EXPECT_EQ((std::vector<TaskTrigger>{{TriggerKind::kWeekly, 2026, 12, 9, 10, 30, 1, 1u << 3}}), update.triggers)
      << "weekly on today's weekday (Wednesday) at the current time";
  const WorkItem& reminder = scheduler_.items[1];
  EXPECT_EQ(u"HiveSweep_DEFAULT", reminder.name);
  EXPECT_EQ(kProgram, reminder.program);
  EXPECT_EQ(u"-default", reminder.parameters);
  EXPECT_EQ((std::vector<TaskTrigger>{{TriggerKind::kDaily, 2026, 12, 9, 15, 1, 1}}), reminder.triggers);
  EXPECT_TRUE(prompts_.shown.empty());

  EXPECT_FALSE(scheduling_->RunFirstRun(*store_)) << "FirstRun is present now";
  EXPECT_EQ(2, scheduler_.creates);
}

TEST_F(SchedulingTest, LogonTaskIsReplacedNeverDuplicated) {
  SchedulerLogonTasks tasks(*scheduling_);
  ASSERT_EQ(err::kSuccess, tasks.SetReminderTask(true));
  ASSERT_EQ(1u, scheduler_.logon.size());
  EXPECT_EQ((LogonTaskDefinition{u"HiveSweep", kProgram, u"-rem", u"CORVANTA", u"PT5S", u"S-1-5-32-545", true}),
            scheduler_.logon[0]);
  ASSERT_EQ(err::kSuccess, tasks.SetAfterCompactionTask(true));
  ASSERT_EQ(1u, scheduler_.logon.size());
  EXPECT_EQ(u"StartedAfterOptimization", scheduler_.logon[0].arguments);
  EXPECT_EQ(err::kSuccess, tasks.SetReminderTask(false));
  EXPECT_TRUE(scheduler_.logon.empty());
  EXPECT_EQ(err::kSuccess, tasks.SetAfterCompactionTask(false)) << "none left is what was asked";
  scheduler_.logon_error = err::kCallNotImplemented;
  EXPECT_EQ(err::kCallNotImplemented, tasks.SetReminderTask(true));
}

TEST(ScheduledTask, MonthlyAndWeeklyTriggersFollowTheirDays) {
  CScheduledTask t;
  t.task_name = u"T";
  t.program = kProgram;
  t.start = DateTime{2026, 12, 13, 7, 0};  // a Sunday
  t.frequency = 4;
  t.month_days[0] = t.month_days[14] = true;
  WorkItem item;
  ASSERT_TRUE(BuildWorkItem(t, &item));
  ASSERT_EQ(2u, item.triggers.size());
  EXPECT_EQ(0x1u, item.triggers[0].month_days);
  EXPECT_EQ(1u << 14, item.triggers[1].month_days);
  EXPECT_EQ(kAllMonths, item.triggers[1].months);

  t.month_days = {};
  ASSERT_TRUE(BuildWorkItem(t, &item));
  ASSERT_EQ(1u, item.triggers.size());
  EXPECT_EQ(1u << 12, item.triggers[0].month_days) << "no day: the start's day";

  t.frequency = 3;
  ASSERT_TRUE(BuildWorkItem(t, &item));
  EXPECT_EQ(0x1, item.triggers[0].weekdays) << "no weekday: the start's, Sunday";

  t.frequency = 5;
  EXPECT_FALSE(BuildWorkItem(t, &item));
  t.frequency = 2;
  t.start.day = 0;
  EXPECT_FALSE(BuildWorkItem(t, &item));
  t.start.day = 1;
  t.program.clear();
  EXPECT_FALSE(BuildWorkItem(t, &item));
}

TEST_F(SchedulingTest, MonthlyDescriptionAndUnknownKinds) {
  ScheduledTaskWriter w{u"X", DateTime{2026, 12, 1, 0, 5}, 3, 1, {}};
  w.days[0] = w.days[14] = true;
  EXPECT_EQ(u"IDS_EVERYMONTH Tue. December 01, 2026. 12:05 AM; IDS_DAY 1, 15", scheduling_->DescribeSchedule(w));
  w.kind = 9;
  EXPECT_EQ(u"", scheduling_->DescribeSchedule(w));
  EXPECT_EQ(std::vector<Text>{u"IDS_DATAERROR"}, prompts_.shown);
}

}  // namespace
}  // namespace hs
