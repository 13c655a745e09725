#include "app/debug_log.h"

#include "app/data_folder.h"

namespace hs {

namespace {

constexpr std::uint64_t kStampIntervalMs = 1000;

Text LogFileName(const Text& folder, const DateTime& now) {
  return folder + u"\\log_" + ZeroPad(now.month, 2) + u"-" + ZeroPad(now.day, 2) + u"-" + ZeroPad(now.year, 2) +
         u".log";
}

}  // namespace

DebugLog::DebugLog(FileSystem& fs, Clock& clock, ShellFolders& folders)
    : fs_(fs), clock_(clock), folders_(folders) {}

void DebugLog::LogLine(TextView text) {
  try {
    std::lock_guard<std::mutex> lock(mu_);
    WriteLine(text);
  } catch (...) {
    // Out of memory or a failing lock: the line is dropped.
  }
}

void DebugLog::WriteLine(TextView text) {
  const DateTime now = clock_.LocalTime();
  if (data_folder_.empty()) data_folder_ = DataFolderPath(folders_);
  if (data_folder_.empty()) return;
  const Text name = LogFileName(data_folder_, now);

  if (!file_ || name != file_name_) {
    if (file_) (void)file_->Append(ToUtf16leBytes(u"Closing Log\r\n\r\n"));
    file_.reset();
    file_name_.clear();
    counter_ = 1;
    if (fs_.CreateDirectories(data_folder_) != err::kSuccess) return;
    if (fs_.OpenAppend(name, &file_) != err::kSuccess) {
      file_.reset();
      return;
    }
    file_name_ = name;
  }

  Text line = ToText(counter_++) + u"   ";
  const std::uint64_t tick = clock_.TickMs();
  if (!stamped_ || tick - last_stamp_ms_ > kStampIntervalMs) {
    stamped_ = true;
    last_stamp_ms_ = tick;
    line += ZeroPad(now.hour, 2) + u":" + ZeroPad(now.minute, 2) + u":" + ZeroPad(now.second, 2) + u"   ";
  }
  line += text;
  line += u"\r\n";
  (void)file_->Append(ToUtf16leBytes(line));
}

}  // namespace hs
