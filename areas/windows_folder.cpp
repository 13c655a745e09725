#include "areas/windows_folder.h"

#include "platform/shell_folders.h"

namespace hs {

Text WindowsFolder(const ScanContext& context, TextView system_folder) {
  Text folder = context.folders ? context.folders->SpecialFolderPath(kCsidlWindows) : Text();
  if (folder.empty()) {
    while (!system_folder.empty() && system_folder.back() == u'\\') system_folder.remove_suffix(1);
    const auto slash = system_folder.rfind(u'\\');
    if (slash != TextView::npos) folder = Text(system_folder.substr(0, slash));
  }
  while (!folder.empty() && folder.back() == u'\\') folder.pop_back();
  return folder;
}

}  // namespace hs
