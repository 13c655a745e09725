#include "areas/shortcuts.h"

#include "engine/scan_manager.h"
#include "platform/shell_folders.h"
#include "platform/shell_links.h"

namespace hs {

namespace {

constexpr int kTypeMissingTarget = 34;

}  // namespace

CShortcuts::CShortcuts(ScanManager& manager) : CShellArea(0x0080, manager) {}

bool CShortcuts::PrepareScan() { return false; }

std::vector<Text> CShortcuts::CollectShortcutFolders() {
  std::vector<Text> list;
  for (int csidl : kShortcutFolderCsidls) {
    Text f = folders() ? folders()->SpecialFolderPath(csidl) : Text();
    if (!f.empty()) {
      if (f.back() != u'\\') f += u'\\';
      f = Lowercase(f);
    }
    list.push_back(std::move(f));
  }
  std::vector<Text> out = list;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i].empty()) continue;
    for (std::size_t j = 0; j < list.size(); ++j) {
      if (i == j || list[j].empty()) continue;
      const bool encloses = list[j].size() > list[i].size() && list[j].compare(0, list[i].size(), list[i]) == 0;
      const bool repeats = j < i && list[j] == list[i];
      if (encloses || repeats) {
        out[i].clear();
        break;
      }
    }
  }
  return out;
}

int CShortcuts::Scan() {
  std::vector<Text> files;
  for (const Text& folder : CollectShortcutFolders()) {
    if (IsCancelled()) return 2;
    CollectShortcutFiles(folder, &files);
  }
  if (IsCancelled()) return 2;
  if (links()) {
    const auto guard = links()->EnterThread();
    for (const Text& link : files) {
      if (IsCancelled()) return 2;
      if (link.size() > kMaxShortcutPathChars) continue;
      const Text target = links()->TargetPath(link);
      ReportProgress(u"Shortcut: " + link);
      if (!ShortcutTargetMissing(target)) continue;
      Report(kTypeMissingTarget, u"", u"", u"", false, {ShortcutName(link), link, target});
    }
  }
  Sort();
  return 1;
}

}  // namespace hs
