#include "platform/portable/file_task_scheduler.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <system_error>

namespace hs {

namespace stdfs = std::filesystem;

namespace {

constexpr std::string_view kHeader = "hivesweep-tasks 1";

struct KindName {
  TriggerKind kind;
  std::string_view name;
};
constexpr KindName kKinds[] = {{TriggerKind::kOnce, "once"},
                               {TriggerKind::kDaily, "daily"},
                               {TriggerKind::kWeekly, "weekly"},
                               {TriggerKind::kMonthlyDate, "monthly"}};

bool HasControl(TextView t) {
  return std::any_of(t.begin(), t.end(), [](char16_t c) { return c < 0x20 || c == 0x7F; });
}

WinError CheckName(TextView name) {
  if (name.empty()) return err::kInvalidParameter;
  if (name.size() > 230 || HasControl(name) || name.find_first_of(u"\\/:*?\"<>|") != TextView::npos)
    return err::kInvalidName;
  return err::kSuccess;
}

WinError CheckText(TextView t) {
  return t.size() > kMaxTaskTextChars || HasControl(t) ? err::kInvalidParameter : err::kSuccess;
}

bool ValidTrigger(const TaskTrigger& t) {
  if (t.year < 1601 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31) return false;
  if (t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.interval == 0) return false;
  switch (t.kind) {
    case TriggerKind::kOnce:
    case TriggerKind::kDaily: return true;
    case TriggerKind::kWeekly: return t.weekdays != 0 && t.weekdays <= 0x7F;
    case TriggerKind::kMonthlyDate:
      return t.month_days != 0 && t.month_days <= 0x7FFFFFFF && t.months != 0 && t.months <= kAllMonths;
  }
  return false;
}

template <class T>
auto FindByName(std::vector<T>& list, TextView name) {
  return std::find_if(list.begin(), list.end(), [&](const T& x) { return EqualsNoCase(x.name, name); });
}

// A decimal number of at most `max`, nothing else.
bool ParseNumber(std::string_view s, std::uint32_t max, std::uint32_t* out) {
  if (s.empty() || s.size() > 10) return false;
  std::uint64_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || v > max) return false;
  *out = static_cast<std::uint32_t>(v);
  return true;
}

std::vector<std::string_view> Words(std::string_view s) {
  std::vector<std::string_view> out;
  std::size_t pos = 0;
  while (pos <= s.size()) {
    const std::size_t sp = std::min(s.find(' ', pos), s.size());
    out.push_back(s.substr(pos, sp - pos));
    pos = sp + 1;
  }
  return out;
}

bool ParseTrigger(std::string_view s, TaskTrigger* t) {
  const std::vector<std::string_view> w = Words(s);
  if (w.size() != 7) return false;
  const auto kind = std::find_if(std::begin(kKinds), std::end(kKinds), [&](const KindName& k) { return k.name == w[0]; });
  if (kind == std::end(kKinds)) return false;
  t->kind = kind->kind;
  const std::string_view date = w[1], time = w[2];
  if (date.size() != 10 || date[4] != '-' || date[7] != '-' || time.size() != 5 || time[2] != ':') return false;
  std::uint32_t y, mo, d, h, mi, interval, weekdays, month_days, months;
  if (!ParseNumber(date.substr(0, 4), 9999, &y) || !ParseNumber(date.substr(5, 2), 12, &mo) ||
      !ParseNumber(date.substr(8, 2), 31, &d) || !ParseNumber(time.substr(0, 2), 23, &h) ||
      !ParseNumber(time.substr(3, 2), 59, &mi) || !ParseNumber(w[3], 0xFFFF, &interval) ||
      !ParseNumber(w[4], 0x7F, &weekdays) || !ParseNumber(w[5], 0x7FFFFFFF, &month_days) ||
      !ParseNumber(w[6], kAllMonths, &months))
    return false;
  *t = TaskTrigger{t->kind, static_cast<int>(y), static_cast<int>(mo), static_cast<int>(d), static_cast<int>(h),
                   static_cast<int>(mi), static_cast<std::uint16_t>(interval), static_cast<std::uint16_t>(weekdays),
                   month_days, static_cast<std::uint16_t>(months)};
  return ValidTrigger(*t);
}

std::string TwoDigits(int v) { return (v < 10 ? "0" : "") + std::to_string(v); }

std::string FormatTrigger(const TaskTrigger& t) {
  std::string kind;
  for (const KindName& k : kKinds)
    if (k.kind == t.kind) kind = k.name;
  std::string year = std::to_string(t.year);
  year.insert(0, year.size() < 4 ? 4 - year.size() : 0, '0');
  return kind + " " + year + "-" + TwoDigits(t.month) + "-" + TwoDigits(t.day) + " " + TwoDigits(t.hour) + ":" +
         TwoDigits(t.minute) + " " + std::to_string(t.interval) + " " + std::to_string(t.weekdays) + " " +
         std::to_string(t.month_days) + " " + std::to_string(t.months);
}

}  // namespace

bool ParseTaskFile(std::string_view text, TaskFileContents* out, std::string* error) {
  *out = {};
  int line_no = 0;
  auto fail = [&](const std::string& what) {
    *error = "line " + std::to_string(line_no) + ": " + what;
    return false;
  };
  if (text.size() > kMaxTaskFileBytes) return fail("the file is larger than " + std::to_string(kMaxTaskFileBytes));
  if (ToUtf8(FromUtf8(text)) != text) return fail("not UTF-8 text");
  enum class Block { kNone, kItem, kLogon } block = Block::kNone;
  std::vector<std::string> seen;  // the names given in this block
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++line_no;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (std::any_of(line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
      return fail("control character in the line");
    if (line_no == 1) {
      if (line != kHeader) return fail("expected \"" + std::string(kHeader) + "\"");
      continue;
    }
    if (line.empty()) continue;
    if (line == "[workitem]" || line == "[logon]") {
      if (block == Block::kItem && out->items.back().name.empty()) return fail("a work item without a name");
      if (block == Block::kLogon && out->logon.back().name.empty()) return fail("a logon task without a name");
      if (out->items.size() + out->logon.size() >= 1024) return fail("too many tasks");
      block = line == "[workitem]" ? Block::kItem : Block::kLogon;
      if (block == Block::kItem) out->items.emplace_back();
      else out->logon.emplace_back();
      seen.clear();
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return fail("expected name=value");
    if (block == Block::kNone) return fail("an entry before the first block");
    const std::string key(line.substr(0, eq));
    const std::string_view raw = line.substr(eq + 1);
    const Text value = FromUtf8(raw);
    if (value.size() > kMaxTaskTextChars) return fail(key + ": too long");
    if (key != "trigger") {
      if (std::find(seen.begin(), seen.end(), key) != seen.end()) return fail("\"" + key + "\" is given twice");
      seen.push_back(key);
      if (seen.size() == 1 && key != "name") return fail("a block starts with its name");
    }
    if (key == "name") {
      if (CheckName(value) != err::kSuccess) return fail("not a task name");
      const bool dup = block == Block::kItem ? FindByName(out->items, value) != out->items.end()
                                             : FindByName(out->logon, value) != out->logon.end();
      if (dup) return fail("the task \"" + std::string(raw) + "\" is given twice");
    }
    if (block == Block::kItem) {
      WorkItem& w = out->items.back();
      if (key == "name") w.name = value;
      else if (key == "program") w.program = value;
      else if (key == "parameters") w.parameters = value;
      else if (key == "directory") w.working_directory = value;
      else if (key == "account") w.account = value;
      else if (key == "flags") {
        if (!ParseNumber(raw, 0xFFFFFFFF, &w.flags)) return fail("flags: a decimal number");
      } else if (key == "trigger") {
        if (w.triggers.size() >= kMaxTaskTriggers) return fail("too many triggers");
        TaskTrigger t;
        if (!ParseTrigger(raw, &t)) return fail("not a trigger: " + std::string(raw));
        w.triggers.push_back(t);
      } else {
        return fail("unknown name \"" + key + "\" in [workitem]");
      }
    } else {
      LogonTaskDefinition& d = out->logon.back();
      if (key == "name") d.name = value;
      else if (key == "program") d.program = value;
      else if (key == "arguments") d.arguments = value;
      else if (key == "author") d.author = value;
      else if (key == "delay") d.delay = value;
      else if (key == "group") d.group = value;
      else if (key == "runlevel") {
        if (raw != "highest" && raw != "least") return fail("runlevel: highest or least");
        d.highest_run_level = raw == "highest";
      } else {
        return fail("unknown name \"" + key + "\" in [logon]");
      }
    }
  }
  if (line_no == 0) return fail("expected \"" + std::string(kHeader) + "\"");
  if (block == Block::kItem && out->items.back().name.empty()) return fail("a work item without a name");
  if (block == Block::kLogon && out->logon.back().name.empty()) return fail("a logon task without a name");
  return true;
}

std::string FormatTaskFile(const TaskFileContents& c) {
  std::string s(kHeader);
  s += "\n";
  auto line = [&s](const char* key, TextView value) { s += std::string(key) + "=" + ToUtf8(value) + "\n"; };
  for (const WorkItem& w : c.items) {
    s += "\n[workitem]\n";
    line("name", w.name);
    line("program", w.program);
    line("parameters", w.parameters);
    line("directory", w.working_directory);
    line("account", w.account);
    s += "flags=" + std::to_string(w.flags) + "\n";
    for (const TaskTrigger& t : w.triggers) s += "trigger=" + FormatTrigger(t) + "\n";
  }
  for (const LogonTaskDefinition& d : c.logon) {
    s += "\n[logon]\n";
    line("name", d.name);
    line("program", d.program);
    line("arguments", d.arguments);
    line("author", d.author);
    line("delay", d.delay);
    line("group", d.group);
    s += std::string("runlevel=") + (d.highest_run_level ? "highest" : "least") + "\n";
  }
  return s;
}

FileTaskScheduler::FileTaskScheduler(stdfs::path file, stdfs::path seed)
    : file_(std::move(file)), seed_(std::move(seed)) {}

WinError FileTaskScheduler::Load(TaskFileContents* out) {
  *out = {};
  std::error_code ec;
  const stdfs::path& from = stdfs::exists(file_, ec) || seed_.empty() ? file_ : seed_;
  if (!stdfs::exists(from, ec)) return err::kSuccess;
  const auto size = stdfs::file_size(from, ec);
  if (ec) return err::kCantRead;
  if (size > kMaxTaskFileBytes) {
    last_error_ = from.string() + ": larger than " + std::to_string(kMaxTaskFileBytes) + " bytes";
    return err::kInvalidData;
  }
  std::ifstream in(from, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) return err::kReadFault;
  std::string error;
  if (!ParseTaskFile(text, out, &error)) {
    last_error_ = from.string() + ": " + error;
    *out = {};
    return err::kInvalidData;
  }
  return err::kSuccess;
}

WinError FileTaskScheduler::Store(const TaskFileContents& contents) {
  const std::string text = FormatTaskFile(contents);
  if (text.size() > kMaxTaskFileBytes) return err::kDiskFull;
  std::error_code ec;
  if (file_.has_parent_path()) stdfs::create_directories(file_.parent_path(), ec);
  stdfs::path temp = file_;
  temp += ".new";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) {
      stdfs::remove(temp, ec);
      return err::kWriteFault;
    }
  }
  stdfs::rename(temp, file_, ec);
  if (ec) {
    stdfs::remove(temp, ec);
    return err::kWriteFault;
  }
  return err::kSuccess;
}

WinError FileTaskScheduler::CreateWorkItem(const WorkItem& item) {
  if (const WinError e = CheckName(item.name)) return e;
  for (TextView t : {TextView(item.program), TextView(item.parameters), TextView(item.working_directory),
                     TextView(item.account)})
    if (const WinError e = CheckText(t)) return e;
  if (item.triggers.size() > kMaxTaskTriggers) return err::kInvalidParameter;
  for (const TaskTrigger& t : item.triggers)
    if (!ValidTrigger(t)) return err::kInvalidParameter;
  TaskFileContents c;
  if (const WinError e = Load(&c)) return e;
  if (FindByName(c.items, item.name) != c.items.end()) return err::kFileExists;
  c.items.push_back(item);
  return Store(c);
}

template <class T>
WinError FileTaskScheduler::Take(std::vector<T> TaskFileContents::*list, TextView name, T* out, bool erase) {
  if (name.empty()) return err::kInvalidParameter;
  TaskFileContents c;
  if (const WinError e = Load(&c)) return e;
  std::vector<T>& tasks = c.*list;
  const auto it = FindByName(tasks, name);
  if (it == tasks.end()) return err::kFileNotFound;
  if (out) *out = *it;
  if (!erase) return err::kSuccess;
  tasks.erase(it);
  return Store(c);
}

WinError FileTaskScheduler::DeleteWorkItem(TextView name) {
  return Take<WorkItem>(&TaskFileContents::items, name, nullptr, true);
}

WinError FileTaskScheduler::ReadWorkItem(TextView name, WorkItem* out) {
  return Take(&TaskFileContents::items, name, out, false);
}

WinError FileTaskScheduler::ListWorkItems(std::vector<Text>* names) {
  names->clear();
  TaskFileContents c;
  if (const WinError e = Load(&c)) return e;
  for (const WorkItem& w : c.items) names->push_back(w.name);
  return err::kSuccess;
}

WinError FileTaskScheduler::RegisterLogonTask(const LogonTaskDefinition& task) {
  if (const WinError e = CheckName(task.name)) return e;
  for (TextView t : {TextView(task.program), TextView(task.arguments), TextView(task.author), TextView(task.delay),
                     TextView(task.group)})
    if (const WinError e = CheckText(t)) return e;
  TaskFileContents c;
  if (const WinError e = Load(&c)) return e;
  if (const auto it = FindByName(c.logon, task.name); it != c.logon.end()) *it = task;
  else c.logon.push_back(task);
  return Store(c);
}

WinError FileTaskScheduler::DeleteLogonTask(TextView name) {
  return Take<LogonTaskDefinition>(&TaskFileContents::logon, name, nullptr, true);
}

WinError FileTaskScheduler::ReadLogonTask(TextView name, LogonTaskDefinition* out) {
  return Take(&TaskFileContents::logon, name, out, false);
}

WinError FileTaskScheduler::QueryService(ServiceStatus* out) {
  *out = ServiceStatus{ServiceState::kRunning, 0, 0, true};
  return err::kSuccess;
}

}  // namespace hs
