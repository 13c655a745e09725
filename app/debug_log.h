// The program's debug log: one UTF-16LE text file per local date in the data
// folder, "log_MM-DD-YYYY.log", appended to and never truncated.
//
// Each line is "<n>   <text>\r\n", or "<n>   HH:MM:SS   <text>\r\n" when
// more than 1000 ms have passed since the last time-stamped line (the first
// line of the process always has one). <n> counts the lines written to the
// file since this process opened it, from 1. When the date changes the old
// file gets "Closing Log\r\n\r\n" and the count restarts in the new file.
//
// The text is written as given, so a message may span lines on purpose;
// callers pass data read from the registry or files through LogSafe, so that
// it cannot forge lines.
//
// Lines are dropped when the folder or the file cannot be opened or
// written; the next line tries again. LogLine is safe from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/log.h"
#include "platform/shell_folders.h"

namespace hs {

class DebugLog final : public Log {
 public:
  // The ports must outlive the log.
  DebugLog(FileSystem& fs, Clock& clock, ShellFolders& folders);
  DebugLog(const DebugLog&) = delete;
  DebugLog& operator=(const DebugLog&) = delete;

  void LogLine(TextView text) override;

 private:
  void WriteLine(TextView text);

  FileSystem& fs_;
  Clock& clock_;
  ShellFolders& folders_;

  std::mutex mu_;
  Text data_folder_;  // cached once known
  Text file_name_;    // of the open file
  std::unique_ptr<AppendFile> file_;
  std::int64_t counter_ = 1;
  bool stamped_ = false;
  std::uint64_t last_stamp_ms_ = 0;
};

}  // namespace hs
