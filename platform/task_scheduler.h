// The system's task scheduler: work items with date triggers (the classic
// interface), the task started at logon (the task-definition interface), and
// the scheduler's service.
//
// Adapters: Win32TaskScheduler (platform/win32: the work-item and task
// service interfaces and the service manager), FileTaskScheduler
// (platform/portable: the same tasks kept in a text file). Errors are
// Windows system error codes: 80 when a work item of that name exists, 2
// when none does, 123 for a name the scheduler cannot take, 5 without the
// right. Called on one thread at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/clock.h"
#include "platform/text.h"
#include "platform/win_error.h"

namespace hs {

enum class TriggerKind { kOnce = 1, kDaily = 2, kWeekly = 3, kMonthlyDate = 4 };

inline constexpr std::uint16_t kAllMonths = 0xFFF;

// One trigger of a work item: it fires first at the start date and time,
// then as its kind says.
struct TaskTrigger {
  TriggerKind kind = TriggerKind::kOnce;
  int year = 0, month = 0, day = 0;  // start date; all non-zero
  int hour = 0, minute = 0;          // start time
  std::uint16_t interval = 1;        // days (daily) or weeks (weekly)
  std::uint16_t weekdays = 0;        // weekly: Sunday = bit 0 ... Saturday = bit 6
  std::uint32_t month_days = 0;      // monthly: day d = bit d-1
  std::uint16_t months = 0;          // monthly: January = bit 0 (kAllMonths)
  bool operator==(const TaskTrigger&) const = default;
};

// Work-item flags.
inline constexpr std::uint32_t kTaskInteractive = 0x1;
inline constexpr std::uint32_t kTaskRunOnlyIfLoggedOn = 0x2000;

struct WorkItem {
  Text name;         // the work item's name (a file name)
  Text program;      // full path of the program
  Text parameters;   // its command line after the program
  Text working_directory;
  Text account;      // DOMAIN\user; empty: none set
  std::uint32_t flags = 0;
  std::vector<TaskTrigger> triggers;
  bool operator==(const WorkItem&) const = default;
};

// The task started at the logon of any member of `group`.
struct LogonTaskDefinition {
  Text name;
  Text program;
  Text arguments;
  Text author;
  Text delay = u"PT5S";      // after the logon, ISO 8601
  Text group = u"S-1-5-32-545";
  bool highest_run_level = true;
  bool operator==(const LogonTaskDefinition&) const = default;
};

// The scheduler's service as the service manager reports it.
enum class ServiceState { kStopped, kStartPending, kStopPending, kRunning, kContinuePending, kPausePending, kPaused };
struct ServiceStatus {
  ServiceState state = ServiceState::kStopped;
  std::uint32_t check_point = 0;
  std::uint32_t wait_hint_ms = 0;
  bool automatic = false;  // its start type is automatic
};

class TaskScheduler {
 public:
  virtual ~TaskScheduler() = default;

  // Creates and saves a new work item; 80 when one of that name exists.
  [[nodiscard]] virtual WinError CreateWorkItem(const WorkItem& item) = 0;
  // 2 when there is none of that name.
  [[nodiscard]] virtual WinError DeleteWorkItem(TextView name) = 0;
  // Program, parameters, working directory, flags and triggers of a work
  // item (the account only where the scheduler tells it).
  [[nodiscard]] virtual WinError ReadWorkItem(TextView name, WorkItem* out) = 0;
  // The names of every work item.
  [[nodiscard]] virtual WinError ListWorkItems(std::vector<Text>* names) = 0;

  // Registers the logon task, replacing one of the same name.
  [[nodiscard]] virtual WinError RegisterLogonTask(const LogonTaskDefinition& task) = 0;
  // 2 when there is none of that name.
  [[nodiscard]] virtual WinError DeleteLogonTask(TextView name) = 0;
  [[nodiscard]] virtual WinError ReadLogonTask(TextView name, LogonTaskDefinition* out) = 0;

  // The "Schedule" service.
  [[nodiscard]] virtual WinError QueryService(ServiceStatus* out) = 0;
  // Starts it; one already running counts as started.
  [[nodiscard]] virtual WinError RunService() = 0;
  [[nodiscard]] virtual WinError SetServiceAutomatic() = 0;
  [[nodiscard]] virtual WinError ContinueService() = 0;
};

// Makes sure the service runs: a stopped one is started (and set to start
// automatically), then polled while it starts, waiting a tenth of its wait
// hint (0.5 s to 5 s) between looks, until it runs or more than the wait
// hint passes without its check point moving; a paused one is continued
// and counts as running after 0.5 s. Waits through `clock`. True when the
// service runs.
[[nodiscard]] bool EnsureServiceRunning(TaskScheduler& scheduler, Clock& clock);

}  // namespace hs
