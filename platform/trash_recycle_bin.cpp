#include "platform/trash_recycle_bin.h"

#include <mutex>

namespace hs {
namespace {
std::mutex g_trash_mu;  // one move at a time picks a free name
}

WinError TrashRecycleBin::MoveToRecycleBin(TextView path) {
  if (!fs_.Exists(path) || fs_.IsDirectory(path)) return err::kFileNotFound;
  std::lock_guard<std::mutex> lock(g_trash_mu);
  if (WinError e = fs_.CreateDirectories(folder_)) return e;
  Text folder = folder_;
  if (folder.empty() || folder.back() != u'\\') folder += u'\\';
  const std::size_t slash = path.find_last_of(u'\\');
  const Text name(slash == TextView::npos ? path : path.substr(slash + 1));
  const std::size_t dot = name.find_last_of(u'.');
  const Text stem = dot == Text::npos || dot == 0 ? name : name.substr(0, dot);
  const Text ext = dot == Text::npos || dot == 0 ? Text() : name.substr(dot);
  Text target = folder + name;
  for (int n = 2; fs_.Exists(target); ++n) {
    if (n > 100000) return err::kFileExists;
    target = folder + stem + u" (" + ToText(n) + u")" + ext;
  }
  if (WinError e = fs_.MoveFile(path, target, false)) return e;
  std::unique_ptr<AppendFile> log;
  if (fs_.OpenAppend(folder + u"trash.log", &log) == err::kSuccess) {
    const Text line = target.substr(folder.size()) + u"\t" + Text(path) + u"\r\n";
    const std::string utf8 = ToUtf8(line);
    (void)log->Append(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(utf8.data()), utf8.size()));
  }
  return err::kSuccess;
}

}  // namespace hs
