#include "areas/help_files.h"

#include "areas/windows_folder.h"
#include "engine/scan_manager.h"
#include "platform/shell_paths.h"

namespace hs {

namespace {

constexpr TextView kHelpKey = u"SOFTWARE\\Microsoft\\Windows\\Help";
constexpr TextView kHtmlHelpKey = u"SOFTWARE\\Microsoft\\Windows\\HTML Help";
constexpr std::size_t kMaxFolderChars = 1024;

struct HelpList {
  TextView key;
  int entry_type;
  TextView progress;
  TextView detail;
};
constexpr HelpList kLists[] = {
    {kHelpKey, 24, u"Help file: ", u"Missing help file "},
    {kHtmlHelpKey, 25, u"HTML help file: ", u"Missing HTML help file "},
};

}  // namespace

CHelpFiles::CHelpFiles(ScanManager& manager) : CProgramArea(0x0010, manager) {}

bool CHelpFiles::PrepareScan() { return true; }

int CHelpFiles::Scan() {
  (void)PrepareScan();
  const std::vector<bool> views = windows64() ? std::vector<bool>{true, false} : std::vector<bool>{true};
  for (bool is64 : views)
    for (const HelpList& l : kLists)
      if (ScanHelpList(l.key, l.entry_type, l.progress, l.detail, is64) == 2) return 2;
  Sort();
  return 1;
}

int CHelpFiles::ScanHelpList(TextView list_key, int entry_type, TextView progress_prefix, TextView detail_prefix,
                             bool is64_view) {
  Registry& reg = env().registry;
  KeyHolder key(reg);
  if (key.Open(kHkeyLocalMachine, list_key, ReadWriteMask(is64_view)) != err::kSuccess) return 1;
  std::vector<Text> names;
  EnumValueNames(env(), key.get(), &names);
  const Text full = u"HKEY_LOCAL_MACHINE\\" + Text(list_key);
  for (const Text& name : names) {
    if (IsCancelled()) return 2;
    ReportProgress(Text(progress_prefix) + name);
    Text folder;
    if (ReadValueText(reg, key.get(), name, kMaxFolderChars, &folder) != ValueText::kText) continue;
    bool missing;
    if (!folder.empty()) {
      const Text path = folder.back() == u'\\' ? folder + name : folder + u"\\" + name;
      missing = FileExists(path) == -1;
    } else {
      missing = !BareFileFound(name);
    }
    if (missing) Report(entry_type, full, name, folder, Entry32(is64_view), {Text(detail_prefix) + name});
  }
  return 1;
}

// Where the help viewers find a file registered without its folder. Without
// the shell ports nothing is judged.
bool CHelpFiles::BareFileFound(const Text& name) {
  ShellPaths* shell = context().shell;
  if (!shell || name.empty()) return true;
  if (shell->PathFileExists(name)) return true;
  Text found;
  if (shell->SearchPath(name, &found)) return true;
  const Text windows = WindowsFolder(context(), system_folder());
  return !windows.empty() && shell->PathFileExists(windows + u"\\Help\\" + name);
}

}  // namespace hs
