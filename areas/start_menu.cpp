#include "areas/start_menu.h"

#include "engine/scan_manager.h"
#include "platform/shell_links.h"

namespace hs {

namespace {

constexpr int kTypeEmptyMenuOrder = 38;
constexpr int kTypeMissingMenuFolder = 39;
constexpr int kTypeMissingShortcutTarget = 40;

// "label: name", or the name alone when the label is unknown.
Text Labelled(const Text& label, const Text& name) { return label.empty() ? name : label + u" " + name; }

}  // namespace

Text StartMenuGroup(TextView link_path) {
  const Text lower = Lowercase(link_path);
  const std::size_t at = lower.find(u"\\programs\\");
  if (at == Text::npos) return u"<Root folder>";
  const TextView rest = link_path.substr(at + 10);
  const std::size_t slash = rest.find(u'\\');
  if (slash == TextView::npos || slash == 0) return u"<Root folder>";
  return Text(rest.substr(0, slash));
}

CStartMenu::CStartMenu(ScanManager& manager) : CShellArea(0x0400, manager) {}

bool CStartMenu::PrepareScan() { return true; }

int CStartMenu::Scan() {
  (void)PrepareScan();
  user_programs_ = ProgramsFolder(false);
  common_programs_ = ProgramsFolder(true);
  if (!user_programs_.empty() || !common_programs_.empty()) {
    if (ScanMenuOrder(kMenuOrderKey, u"") == 2) return 2;
    if (manager().major_version() > 5 && ScanMenuOrder(kMenuOrderKey2, u"") == 2) return 2;
  }
  if (IsCancelled()) return 2;
  if (links()) {
    const auto guard = links()->EnterThread();
    if (ScanShortcutFolder(user_programs_) == 2) return 2;
    if (ScanShortcutFolder(common_programs_) == 2) return 2;
  }
  Sort();
  return 1;
}

int CStartMenu::ScanMenuOrder(TextView key, TextView relative) {
  const RegEnv& e = env();
  const std::uint32_t read = AccessMask(false, KeyAccess::kRead, true);
  std::vector<Text> names;
  {
    KeyHolder k(e.registry);
    if (k.Open(kHkeyCurrentUser, key, read) != err::kSuccess) return 1;
    EnumSubkeyNames(e, k.get(), &names);
  }
  for (const Text& name : names) {
    if (IsCancelled()) return 2;
    const Text sub = Text(key) + u"\\" + name;
    const Text full = u"HKEY_CURRENT_USER\\" + sub;
    const Text rel = relative.empty() ? name : Text(relative) + u"\\" + name;
    const bool in_user = !user_programs_.empty() && ItemExists(JoinWithBackslash(user_programs_, rel));
    const bool in_common = !common_programs_.empty() && ItemExists(JoinWithBackslash(common_programs_, rel));
    if (!in_user && !in_common) {
      Report(kTypeMissingMenuFolder, full, u"", u"", false,
             {Labelled(String(u"IDS_INVALID_REF_STARTMENU"), name), name});
      continue;
    }
    if (ScanMenuOrder(sub, rel) == 2) return 2;
    KeyHolder k(e.registry);
    if (k.Open(kHkeyCurrentUser, sub, read) != err::kSuccess) continue;
    std::vector<Text> values;
    if (EnumValueNames(e, k.get(), &values) == 0)
      Report(kTypeEmptyMenuOrder, full, u"", u"", false, {Labelled(String(u"IDS_EMPTY_KEY_STARTMENU"), name), name});
  }
  return 1;
}

int CStartMenu::ScanShortcutFolder(TextView folder) {
  if (folder.empty() || !links()) return IsCancelled() ? 2 : 1;
  std::vector<Text> files;
  CollectShortcutFiles(folder, &files);
  for (const Text& link : files) {
    if (IsCancelled()) return 2;
    if (!links()->IsWritable(link)) continue;
    const Text target = links()->TargetPath(link);
    ReportProgress(u"Start Menu shortcut: " + link);
    if (target.empty() || !ShortcutTargetMissing(target)) continue;
    Report(kTypeMissingShortcutTarget, u"", u"", u"", false, {ShortcutName(link), link, target, StartMenuGroup(link)});
  }
  return IsCancelled() ? 2 : 1;
}

}  // namespace hs
