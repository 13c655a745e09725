#include "platform/portable_system_restore.h"

#include <algorithm>

namespace hs {

bool PortableSystemRestore::CreatePoint(TextView description) {
  if (fs_.CreateDirectories(folder_) != err::kSuccess) return false;
  std::int64_t seconds = clock_.UtcSeconds();
  // Two points within one second keep apart.
  while (fs_.Exists(folder_ + u"\\" + ToText(seconds) + u".reg")) ++seconds;
  const Text base = folder_ + u"\\" + ToText(seconds);
  const Text temp = base + u".tmp";
  const RegImportOutcome out = editor_.ExportAll(temp, kWholeExportWaitMs);
  if (!out.started || !out.finished || out.exit_code != 0 || fs_.MoveFile(temp, base + u".reg", false)) {
    (void)fs_.DeleteFile(temp);
    return false;
  }
  const std::string utf8 = ToUtf8(description.substr(0, kMaxRestorePointDescription));
  std::unique_ptr<WritableFile> file;
  if (fs_.CreateNewFile(base + u".txt", &file) == err::kSuccess) {
    (void)file->Write(std::span(reinterpret_cast<const std::uint8_t*>(utf8.data()), utf8.size()));
    (void)file->Close();
  }
  return true;
}

std::vector<PortableSystemRestore::Point> PortableSystemRestore::List() {
  std::vector<Point> points;
  std::vector<DirEntry> entries;
  if (fs_.ListDirectory(folder_, &entries) != err::kSuccess) return points;
  for (const DirEntry& e : entries) {
    if (e.is_directory || e.name.size() < 5 || e.name.substr(e.name.size() - 4) != u".reg") continue;
    const TextView digits = TextView(e.name).substr(0, e.name.size() - 4);
    if (digits.empty() || digits.size() > 18 ||
        !std::all_of(digits.begin(), digits.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; }))
      continue;
    Point p;
    p.path = folder_ + u"\\" + e.name;
    for (char16_t c : digits) p.seconds = p.seconds * 10 + (c - u'0');
    std::vector<std::uint8_t> bytes;
    if (fs_.ReadFile(folder_ + u"\\" + Text(digits) + u".txt", 4096, &bytes) == err::kSuccess)
      p.description = FromUtf8(std::string(bytes.begin(), bytes.end()));
    points.push_back(std::move(p));
  }
  std::sort(points.begin(), points.end(), [](const Point& a, const Point& b) { return a.seconds < b.seconds; });
  return points;
}

}  // namespace hs
