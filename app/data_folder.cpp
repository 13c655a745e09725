#include "app/data_folder.h"

namespace hs {

namespace {
constexpr TextView kSubfolder = u"Corvanta\\HiveSweep";
}  // namespace

Text DataFolderPath(ShellFolders& folders) {
  Text path = folders.AppDataFolder();
  if (path.empty()) return path;
  if (path.back() != u'\\' && path.back() != u'/') path.push_back(u'\\');
  path += kSubfolder;
  return path;
}

WinError EnsureDataFolder(ShellFolders& folders, FileSystem& fs, Text* out) {
  out->clear();
  Text path = DataFolderPath(folders);
  if (path.empty()) return err::kPathNotFound;
  if (WinError e = fs.CreateDirectories(path)) return e;
  *out = std::move(path);
  return err::kSuccess;
}

}  // namespace hs
