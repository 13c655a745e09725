// TaskScheduler over a text file: the work items and logon tasks a Windows
// scheduler would hold, with the same names, programs, arguments and
// triggers. Its service always runs.
//
// The file (UTF-8, LF or CRLF line ends, at most kMaxTaskFileBytes):
//   hivesweep-tasks 1
//   [workitem]            one block per work item, then its lines:
//   name=NAME             required, first
//   program=PATH
//   parameters=TEXT
//   directory=PATH
//   account=DOMAIN\USER
//   flags=DECIMAL
//   trigger=KIND YYYY-MM-DD HH:MM INTERVAL WEEKDAYS MONTHDAYS MONTHS
//                         KIND once|daily|weekly|monthly, numbers decimal;
//                         repeatable, at most kMaxTaskTriggers
//   [logon]               one block per logon task:
//   name=, program=, arguments=, author=, delay=, group=,
//   runlevel=highest|least
// Every name once per block; unknown lines, a second block of the same name
// (names compare without regard to case) or any control character make the
// whole file unreadable (13), and nothing is changed while it is.
//
// Each call reads the file and writes it back whole (through a temporary
// file and a rename). Reads come from `seed` while `file` does not exist
// yet, so a machine folder's own tasks file is never written.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/task_scheduler.h"

namespace hs {

inline constexpr std::size_t kMaxTaskFileBytes = 256 * 1024;
inline constexpr std::size_t kMaxTaskTriggers = 64;
inline constexpr std::size_t kMaxTaskTextChars = 2048;

struct TaskFileContents {
  std::vector<WorkItem> items;
  std::vector<LogonTaskDefinition> logon;
};

// Parses the file's text. False with *error ("line N: what") on any fault.
[[nodiscard]] bool ParseTaskFile(std::string_view text, TaskFileContents* out, std::string* error);
std::string FormatTaskFile(const TaskFileContents& contents);

class FileTaskScheduler final : public TaskScheduler {
 public:
  explicit FileTaskScheduler(std::filesystem::path file, std::filesystem::path seed = {});

  WinError CreateWorkItem(const WorkItem& item) override;
  WinError DeleteWorkItem(TextView name) override;
  WinError ReadWorkItem(TextView name, WorkItem* out) override;
  WinError ListWorkItems(std::vector<Text>* names) override;
  WinError RegisterLogonTask(const LogonTaskDefinition& task) override;
  WinError DeleteLogonTask(TextView name) override;
  WinError ReadLogonTask(TextView name, LogonTaskDefinition* out) override;
  WinError QueryService(ServiceStatus* out) override;
  WinError RunService() override { return err::kSuccess; }
  WinError SetServiceAutomatic() override { return err::kSuccess; }
  WinError ContinueService() override { return err::kSuccess; }

  // The last parse fault of the file, for messages.
  const std::string& last_error() const { return last_error_; }

 private:
  WinError Load(TaskFileContents* out);
  WinError Store(const TaskFileContents& contents);
  // Finds the task of that name in one list: copies it to *out (when
  // given), and with `erase` removes it and stores the file.
  template <class T>
  WinError Take(std::vector<T> TaskFileContents::*list, TextView name, T* out, bool erase);

  std::filesystem::path file_;
  std::filesystem::path seed_;
  std::string last_error_;
};

}  // namespace hs
