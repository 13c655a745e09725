#include "app/scheduling.h"

#include "app/hvx_app.h"
#include "platform/file_system.h"

namespace hs {

namespace {

// "%I:%M %p".
Text FormatClockTime(const DateTime& t) {
  const int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
  return ZeroPad(static_cast<std::uint64_t>(hour12), 2) + u":" + ZeroPad(static_cast<std::uint64_t>(t.minute), 2) +
         (t.hour < 12 ? u" AM" : u" PM");
}

// A label and what follows it, one space apart (the language files' texts
// end without one).
Text Joined(const Text& label, const Text& rest) {
  if (label.empty() || label.back() == u' ') return label + rest;
  return label + u" " + rest;
}

// Day flags Monday ... Sunday as the scheduler's mask (Sunday = bit 0).
std::uint16_t WeekdayMask(const std::array<bool, 31>& days) {
  std::uint16_t mask = 0;
  for (int i = 0; i < 6; ++i)
    if (days[static_cast<std::size_t>(i)]) mask |= static_cast<std::uint16_t>(1u << (i + 1));
  if (days[6]) mask |= 1;
  return mask;
}

int DayOfWeek(const DateTime& t) {
  return CalendarTime(CalendarSeconds(DateTime{t.year, t.month, t.day})).day_of_week;
}

}  // namespace

bool BuildWorkItem(const CScheduledTask& task, WorkItem* out) {
  if (task.task_name.empty() || task.program.empty() || task.start.year == 0 || task.start.month == 0 ||
      task.start.day == 0)
    return false;
  WorkItem item;
  item.name = task.task_name;
  item.program = task.program;
  item.parameters = task.parameters;
  item.working_directory = task.working_directory;
  if (task.nt) item.account = task.account;
  item.flags = kTaskRunOnlyIfLoggedOn | (task.nt ? kTaskInteractive : 0);
  TaskTrigger t;
  t.year = task.start.year;
  t.month = task.start.month;
  t.day = task.start.day;
  t.hour = task.default_task ? kDefaultTaskHour : task.start.hour;
  t.minute = task.default_task ? kDefaultTaskMinute : task.start.minute;
  const std::uint16_t interval = static_cast<std::uint16_t>(task.interval <= 0 ? 1 : task.interval);
  switch (task.frequency) {
    case 1: t.kind = TriggerKind::kOnce; break;
    case 2:
      t.kind = TriggerKind::kDaily;
      t.interval = interval;
      break;
    case 3:
      t.kind = TriggerKind::kWeekly;
      t.interval = interval;
      t.weekdays = task.weekdays != 0 ? task.weekdays : static_cast<std::uint16_t>(1u << DayOfWeek(task.start));
      break;
    case 4: {
      t.kind = TriggerKind::kMonthlyDate;
      t.months = kAllMonths;
      for (std::size_t d = 0; d < task.month_days.size(); ++d) {
        if (!task.month_days[d]) continue;
        t.month_days = 1u << d;
        item.triggers.push_back(t);
      }
      if (item.triggers.empty()) {
        t.month_days = 1u << (task.start.day - 1);
        item.triggers.push_back(t);
      }
      *out = std::move(item);
      return true;
    }
    default: return false;
  }
  item.triggers.push_back(t);
  *out = std::move(item);
  return true;
}

Text Scheduling::AppTitle() const { return env_.strings(u"AFX_IDS_APP_TITLE"); }

void Scheduling::Say(TextView key, PromptIcon icon, bool automatic) {
  if (automatic) return;
  (void)env_.prompts.Ask(env_.strings(key), PromptButtons::kOk, icon);
}

Text Scheduling::DescribeSchedule(const ScheduledTaskWriter& w) {
  Text text;
  switch (static_cast<ScheduleFrequency>(w.kind)) {
    case ScheduleFrequency::kOnce:
      text = Joined(env_.strings(u"IDS_RUNONCE"), FormatSettingsTime(w.start));
      break;
    case ScheduleFrequency::kDaily:
      text = Joined(env_.strings(u"IDS_EVERYDAY"), FormatClockTime(w.start));
      break;
    case ScheduleFrequency::kWeekly: {
      static constexpr const char16_t* kDays[7] = {u"IDS_CHK_MON", u"IDS_CHK_TUE", u"IDS_CHK_WED", u"IDS_CHK_THR",
                                                   u"IDS_CHK_FRI", u"IDS_CHK_SAT", u"IDS_CHK_SUN"};
      Text days;
      for (std::size_t i = 0; i < 7; ++i)
        if (w.days[i]) days += env_.strings(kDays[i]) + u", ";
      if (days.empty()) return Text();
      text = Joined(env_.strings(u"IDS_EVERYWEEK"), FormatClockTime(w.start)) + u"; " + days;
      break;
    }
    case ScheduleFrequency::kMonthly: {
      Text days;
      for (std::size_t i = 0; i < w.days.size(); ++i)
        if (w.days[i]) days += ToText(static_cast<std::int64_t>(i + 1)) + u", ";
      text = Joined(env_.strings(u"IDS_EVERYMONTH"), FormatSettingsTime(w.start)) + u"; " +
             Joined(env_.strings(u"IDS_DAY"), days);
      break;
    }
    default:
      Say(u"IDS_DATAERROR", PromptIcon::kInformation, false);
      return Text();
  }
  if (text.size() >= 2 && text.compare(text.size() - 2, 2, u", ") == 0) text.resize(text.size() - 2);
  return text;
}

SaveResult Scheduling::CheckRights(bool automatic) {
  if (env_.system.IsAdministrator()) {
    if (EnsureServiceRunning(env_.scheduler, env_.clock)) return SaveResult::kSaved;
    env_.log.LogLine(u"The task scheduler service does not run");
    Say(u"IDS_SERVICENORUN", PromptIcon::kInformation, automatic);
    return SaveResult::kFailed;
  }
  // An automatic request neither asks for rights nor restarts the program.
  if (automatic) {
    env_.log.LogLine(u"No administrator rights: the automatic task is not created");
    return SaveResult::kFailed;
  }
  if (env_.system.MajorVersion() >= 6 && env_.launcher &&
      env_.launcher->StartSelf(LaunchVerb::kRunAs, kScheduleSwitch) == err::kSuccess) {
    env_.log.LogLine(u"ExitProcess : Elevated now restarting");
    return SaveResult::kRestarting;
  }
  Say(u"IDS_NORIGHTS", PromptIcon::kError, false);
  return SaveResult::kFailed;
}

SaveResult Scheduling::SaveTask(const ScheduledTaskWriter& w, bool automatic, bool default_task) {
  if (const SaveResult r = CheckRights(automatic); r != SaveResult::kSaved) return r;
  if (w.kind < 0 || w.kind > 3) {
    Say(u"IDS_NEWTASKERROR", PromptIcon::kError, automatic);
    return SaveResult::kFailed;
  }
  CScheduledTask task;
  task.task_name = w.task_name;
  task.program = env_.program_path;
  task.parameters = default_task ? u"-default" : automatic ? u"-updatecheck" : u"scan";
  task.account = env_.account;
  task.start = w.start;
  task.start.second = 0;
  task.start.millisecond = 0;
  task.frequency = w.kind + 1;
  task.interval = w.interval;
  if (w.kind == 2) task.weekdays = WeekdayMask(w.days);
  if (w.kind == 3) task.month_days = w.days;
  task.default_task = default_task;

  WorkItem item;
  if (!BuildWorkItem(task, &item)) {
    env_.log.LogLine(u"The task " + LogSafe(w.task_name) + u" has no name, program or start date");
    Say(u"IDS_NEWTASKERROR", PromptIcon::kError, automatic);
    return SaveResult::kFailed;
  }
  WinError e = env_.scheduler.CreateWorkItem(item);
  if (e == err::kFileExists) {
    if (automatic || env_.prompts.Ask(env_.strings(u"IDS_FILEEXIST"), PromptButtons::kYesNo, PromptIcon::kQuestion) !=
                         PromptAnswer::kYes)
      return SaveResult::kFailed;
    e = env_.scheduler.DeleteWorkItem(item.name);
    if (e == err::kSuccess) e = env_.scheduler.CreateWorkItem(item);
  }
  if (e == err::kSuccess) {
    env_.log.LogLine(u"Scheduled task created: " + LogSafe(item.name) + u" " + LogSafe(item.parameters));
    return SaveResult::kSaved;
  }
  env_.log.LogLine(u"The task " + LogSafe(item.name) + u" was not created: " + ErrorText(e));
  if (e == err::kAccessDenied) Say(u"IDS_NORIGHTS", PromptIcon::kError, automatic);
  else if (e == err::kInvalidName) Say(u"IDS_VALIDFILE", PromptIcon::kInformation, automatic);
  else Say(u"IDS_NEWTASKERROR", PromptIcon::kError, automatic);
  return SaveResult::kFailed;
}

WinError Scheduling::DeleteWorkItem(TextView name) {
  if (name.empty()) return err::kInvalidParameter;
  return env_.scheduler.DeleteWorkItem(name);
}

WinError Scheduling::DeleteLogonTask() {
  Text name = AppTitle();
  if (name.empty()) name = u"HiveSweep";
  const WinError e = env_.scheduler.DeleteLogonTask(name);
  return e == err::kFileNotFound ? err::kSuccess : e;
}

WinError Scheduling::CreateLogonTask(bool after_compaction) {
  if (const WinError e = DeleteLogonTask()) return e;
  LogonTaskDefinition task;
  task.name = AppTitle();
  if (task.name.empty()) task.name = u"HiveSweep";
  task.program = env_.program_path;
  task.arguments = after_compaction ? u"StartedAfterOptimization" : u"-rem";
  task.author = u"CORVANTA";
  const WinError e = env_.scheduler.RegisterLogonTask(task);
  if (e != err::kSuccess) env_.log.LogLine(u"The logon task was not registered: " + ErrorText(e));
  return e;
}

bool Scheduling::RunFirstRun(SettingsStore& store) {
  if (store.HasValue(settings_value::kFirstRun) || store.ReadDword(settings_value::kStartAutoTutorial, 0) != 1)
    return false;
  if (const WinError e = store.WriteDword(settings_value::kFirstRun, 1))
    env_.log.LogLine(u"FirstRun not written: " + ErrorText(e));
  for (TextView old : {u"HiveSweep", u"HiveSweep_DEFAULT", u"HiveSweep_Updates"})
    (void)env_.scheduler.DeleteWorkItem(old);
  const DateTime now = env_.clock.LocalTime();
  ScheduledTaskWriter update;
  update.task_name = AppTitle() + Text(kUpdateTaskSuffix);
  update.start = now;
  update.kind = static_cast<int>(ScheduleFrequency::kWeekly);
  update.interval = 1;
  update.days[static_cast<std::size_t>((DayOfWeek(now) + 6) % 7)] = true;
  (void)SaveTask(update, /*automatic=*/true);
  ScheduledTaskWriter reminder;
  reminder.task_name = AppTitle() + Text(kDefaultTaskSuffix);
  reminder.start = now;
  reminder.kind = static_cast<int>(ScheduleFrequency::kDaily);
  reminder.interval = 1;
  (void)SaveTask(reminder, /*automatic=*/true, /*default_task=*/true);
  return true;
}

std::unique_ptr<Scheduling> MakeAppScheduling(CHVXApp& app, Prompts& prompts, Text program_path) {
  AppEnvironment& env = app.environment();
  if (!env.scheduler) return nullptr;
  return std::make_unique<Scheduling>(SchedulingEnv{*env.scheduler, env.system, env.clock, prompts, app.log(),
                                                    [&app](TextView key) { return app.strings().LookupString(key); },
                                                    std::move(program_path), env.user_account, env.launcher});
}

WinError SchedulerLogonTasks::SetReminderTask(bool present) {
  return present ? scheduling_.CreateLogonTask(false) : scheduling_.DeleteLogonTask();
}

WinError SchedulerLogonTasks::SetAfterCompactionTask(bool present) {
  return present ? scheduling_.CreateLogonTask(true) : scheduling_.DeleteLogonTask();
}

}  // namespace hs
