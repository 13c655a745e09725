// Scheduled runs of the program: the user's scan schedule, the daily
// reminder and the weekly update check as work items of the task scheduler,
// and the task started at logon. Messages go to Prompts, never for the
// automatic requests.
//
// User-interface thread only; nothing here throws.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "app/settings.h"
#include "app/strings.h"
#include "engine/problem.h"
#include "platform/clock.h"
#include "platform/log.h"
#include "platform/prompts.h"
#include "platform/self_launcher.h"
#include "platform/system_info.h"
#include "platform/task_scheduler.h"

namespace hs {

// Task names after the application title, and their arguments.
inline constexpr TextView kUserTaskSuffix = u"sch";
inline constexpr TextView kDefaultTaskSuffix = u"_DEFAULT";
inline constexpr TextView kUpdateTaskSuffix = u"_UPDATES";
inline constexpr TextView kScheduleSwitch = u"hvxvistaschedule";
inline constexpr int kDefaultTaskHour = 15;
inline constexpr int kDefaultTaskMinute = 1;

enum class ScheduleFrequency { kOnce = 0, kDaily = 1, kWeekly = 2, kMonthly = 3 };

// One scheduling request.
struct ScheduledTaskWriter {
  Text task_name;
  DateTime start;              // first run
  int kind = 0;                // ScheduleFrequency
  int interval = 0;            // days or weeks; 0 means 1
  std::array<bool, 31> days{}; // weekly: 0-6 = Monday ... Sunday; monthly: days 1-31
};

// The work item as handed to the scheduler.
struct CScheduledTask {
  DateTime start;                  // year, month and day non-zero
  bool has_end = false;
  DateTime end;                    // date only
  int frequency = 1;               // 1 once, 2 daily, 3 weekly, 4 monthly
  int interval = 0;                // 0 means 1
  std::uint16_t weekdays = 0;      // Sunday = bit 0
  std::array<bool, 31> month_days{};
  Text program;
  Text parameters;
  Text working_directory;
  Text account;
  Text comment;
  Text task_name;
  bool nt = true;                  // sets the account and the interactive flag
  bool default_task = false;       // the start time becomes 15:01
};

// The work item with its triggers as the scheduler gets it; false (general
// failure) for an empty name or program or a start date with a zero field.
[[nodiscard]] bool BuildWorkItem(const CScheduledTask& task, WorkItem* out);

enum class SaveResult {
  kSaved,
  kFailed,      // said (unless automatic) and logged
  kRestarting,  // the elevated copy was started: end this process
};

struct SchedulingEnv {
  TaskScheduler& scheduler;
  SystemInfo& system;
  Clock& clock;
  Prompts& prompts;
  Log& log;
  StringLookup strings;
  Text program_path;         // the own executable
  Text account;              // DOMAIN\user of the current user; may be empty
  SelfLauncher* launcher = nullptr;  // none: no elevated restart
};

class Scheduling {
 public:
  explicit Scheduling(SchedulingEnv env) : env_(std::move(env)) {}

  Text AppTitle() const;
  // The description of the schedule, or empty text when it has no day or
  // its kind is unknown (IDS_DATAERROR is then said).
  Text DescribeSchedule(const ScheduledTaskWriter& writer);
  // Creates the writer's work item. Automatic requests (the reminder and the
  // update check) say nothing; `default_task` marks the reminder.
  SaveResult SaveTask(const ScheduledTaskWriter& writer, bool automatic, bool default_task = false);
  [[nodiscard]] WinError DeleteWorkItem(TextView name);
  // The logon task, named after the application title, replaced whole.
  [[nodiscard]] WinError CreateLogonTask(bool after_compaction);
  // 0 also when there was none.
  [[nodiscard]] WinError DeleteLogonTask();

  // The first start's tasks: when StartAutoTutorial is 1 and FirstRun is
  // absent, writes FirstRun, deletes the old items and creates the update
  // check and then the reminder. True when it ran.
  bool RunFirstRun(SettingsStore& store);

 private:
  void Say(TextView key, PromptIcon icon, bool automatic);
  SaveResult CheckRights(bool automatic);
  SchedulingEnv env_;
};

class CHVXApp;

// The scheduling of the application's environment, its messages through
// `prompts`; null when the environment has no task scheduler.
std::unique_ptr<Scheduling> MakeAppScheduling(CHVXApp& app, Prompts& prompts, Text program_path);

// LogonTasks of the start entries over the scheduling's logon task.
class SchedulerLogonTasks final : public LogonTasks {
 public:
  explicit SchedulerLogonTasks(Scheduling& scheduling) : scheduling_(scheduling) {}
  WinError SetReminderTask(bool present) override;
  WinError SetAfterCompactionTask(bool present) override;

 private:
  Scheduling& scheduling_;
};

}  // namespace hs
