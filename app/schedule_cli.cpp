// The schedule command of the front end (see cli.h).
#include <cstdio>
#include <ostream>

#include "app/cli.h"
#include "platform/file_system.h"

namespace hs {

std::string DescribeTrigger(const TaskTrigger& t) {
  char start[64];
  std::snprintf(start, sizeof start, "%04d-%02d-%02d %02d:%02d", t.year, t.month, t.day, t.hour, t.minute);
  const std::string every = "every " + std::to_string(t.interval);
  switch (t.kind) {
    case TriggerKind::kOnce: return std::string("once at ") + start;
    case TriggerKind::kDaily: return std::string("daily from ") + start + ", " + every + " day";
    case TriggerKind::kWeekly: {
      static const char* const kDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
      std::string days;
      // Monday first, Sunday last.
      for (int i = 1; i <= 7; ++i)
        if (t.weekdays & (1u << (i % 7))) days += (days.empty() ? "" : ", ") + std::string(kDays[i % 7]);
      return std::string("weekly from ") + start + ", " + every + " week on " + days;
    }
    case TriggerKind::kMonthlyDate: {
      std::string days;
      for (int d = 0; d < 31; ++d)
        if (t.month_days & (1u << d)) days += (days.empty() ? "" : ", ") + std::to_string(d + 1);
      return std::string("monthly from ") + start + " on day " + days +
             (t.months == kAllMonths ? std::string() : " (some months)");
    }
  }
  return "unknown";
}

int RunScheduleList(ScanPorts& ports, std::ostream& out, std::ostream& err) {
  if (!ports.scheduler) {
    err << "hivesweep: this build has no task scheduler\n";
    return kExitFailed;
  }
  std::vector<Text> names;
  if (const WinError e = ports.scheduler->ListWorkItems(&names)) {
    err << "hivesweep: the scheduled tasks cannot be read (" << ToUtf8(ErrorText(e)) << ")\n";
    return kExitFailed;
  }
  int code = kExitOk;
  for (const Text& name : names) {
    WorkItem item;
    if (const WinError e = ports.scheduler->ReadWorkItem(name, &item)) {
      err << "hivesweep: " << PrintableText(name) << ": " << ToUtf8(ErrorText(e)) << "\n";
      code = kExitFailed;
      continue;
    }
    out << PrintableText(item.name) << ": \"" << PrintableText(item.program) << "\" "
        << PrintableText(item.parameters) << "\n";
    for (const TaskTrigger& t : item.triggers) out << "    " << DescribeTrigger(t) << "\n";
  }
  if (names.empty()) out << "No scheduled work items.\n";
  LogonTaskDefinition logon;
  if (ports.scheduler->ReadLogonTask(u"HiveSweep", &logon) == err::kSuccess)
    out << "At logon: " << PrintableText(logon.name) << ": \"" << PrintableText(logon.program) << "\" "
        << PrintableText(logon.arguments) << " (delay " << PrintableText(logon.delay) << ")\n";
  return code;
}

}  // namespace hs
