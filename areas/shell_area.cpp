#include "areas/shell_area.h"

#include "areas/safe_lists.h"
#include "engine/scan_manager.h"
#include "platform/file_system.h"
#include "platform/shell_folders.h"
#include "platform/shell_links.h"
#include "platform/shell_paths.h"

namespace hs {

namespace {

bool EndsWithNoCase(TextView text, TextView suffix) {
  return text.size() >= suffix.size() && EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

// "X:\" of a drive path; empty for anything else.
Text DriveRoot(TextView path) {
  if (path.size() < 3 || path[1] != u':' || path[2] != u'\\') return Text();
  const char16_t c = UpcaseUnit(path[0]);
  if (c < u'A' || c > u'Z') return Text();
  return Text{c, u':', u'\\'};
}

}  // namespace

ShellPaths* CShellArea::shell() const { return context().shell; }
ShellFolders* CShellArea::folders() const { return context().folders; }
FileSystem* CShellArea::fs() const { return context().fs; }
ShellLinks* CShellArea::links() const { return context().links; }

bool CShellArea::PathJudged(TextView path) {
  FileReferences* refs = context().file_refs;
  ShellPaths* sh = shell();
  if (path.empty() || !refs || !sh) return false;
  if (context().safe_lists && context().safe_lists->IsSafePath(Lowercase(path))) return false;
  if (sh->PathIsNetworkPath(path)) return false;
  if (refs->skip_removable_media()) {
    const Text root = DriveRoot(path);
    if (!root.empty()) {
      const std::uint32_t type = sh->DriveType(root);
      if (type != drive_type::kFixed && type != drive_type::kNoRootDir) return false;
    }
  }
  return true;
}

bool CShellArea::ReferenceGone(TextView path) {
  const Text key(path);
  if (const auto it = gone_.find(key); it != gone_.end()) return it->second;
  const bool gone = ReferenceGoneUncached(path);
  // A cancelled scan judges nothing; its answers are not kept.
  if (!IsCancelled()) gone_.emplace(key, gone);
  return gone;
}

bool CShellArea::ReferenceGoneUncached(TextView path) {
  if (!PathJudged(path)) return false;
  FileReferences* refs = context().file_refs;
  const int found = windows64() ? refs->FileExistsSwapped(path, false) : refs->FileReferenceExists(path);
  if (found != -1) return false;
  return !refs->IsSystemProtected(path);
}

bool CShellArea::ItemExists(TextView path) {
  ShellPaths* sh = shell();
  if (!sh) return true;
  return sh->FileAttributes(path) != FileKind::kMissing;
}

Text CShellArea::ProgramsFolder(bool common) {
  const RegEnv& e = env();
  Text folder;
  const RegKey root = common ? kHkeyLocalMachine : kHkeyCurrentUser;
  const TextView value = common ? TextView(u"Common Programs") : TextView(u"Programs");
  if (windows64()) {
    if (!ReadStringValue(e, root, kShellFoldersKey, value, RegView::k64, &folder) || folder.empty())
      (void)ReadStringValue(e, root, kShellFoldersKey, value, RegView::k32, &folder);
  } else {
    (void)ReadStringValue(e, root, kShellFoldersKey, value, RegView::kDefault, &folder);
  }
  if (folder.empty() && folders())
    folder = folders()->SpecialFolderPath(common ? kCsidlCommonPrograms : kCsidlPrograms);
  while (folder.size() > 3 && folder.back() == u'\\') folder.pop_back();
  return folder;
}

void CShellArea::CollectShortcutFiles(TextView folder, std::vector<Text>* out) {
  if (folder.empty() || !fs()) return;
  Text f(folder);
  while (f.size() > 3 && f.back() == u'\\') f.pop_back();
  CollectShortcutFilesIn(f, 0, out);
}

void CShellArea::CollectShortcutFilesIn(const Text& folder, int depth, std::vector<Text>* out) {
  if (IsCancelled()) return;
  std::vector<DirEntry> entries;
  if (fs()->ListDirectory(folder, &entries) != err::kSuccess) return;
  const Text base = folder.back() == u'\\' ? folder : folder + u"\\";
  for (const DirEntry& d : entries)
    if (!d.is_directory && EndsWithNoCase(d.name, u".lnk")) out->push_back(base + d.name);
  if (depth + 1 > kMaxShortcutFolderDepth) return;
  for (const DirEntry& d : entries)
    if (d.is_directory) CollectShortcutFilesIn(base + d.name, depth + 1, out);
}

bool CShellArea::ShortcutTargetJudged(TextView target) {
  if (target.empty() || StartsWithNoCase(target, u"hcp:")) return false;
  if (target.front() == u'{' && target.back() == u'}') return false;
  if (Lowercase(target).find(u"installer\\{") != Text::npos) return false;
  ShellPaths* sh = shell();
  if (!sh || sh->PathIsNetworkPath(target)) return false;
  const Text root = DriveRoot(target);
  return !root.empty() && sh->DriveType(root) == drive_type::kFixed;
}

bool CShellArea::ShortcutTargetMissing(TextView target) {
  const Text key(target);
  if (const auto it = missing_targets_.find(key); it != missing_targets_.end()) return it->second;
  const bool missing = ShortcutTargetMissingUncached(target);
  if (!IsCancelled()) missing_targets_.emplace(key, missing);
  return missing;
}

bool CShellArea::ShortcutTargetMissingUncached(TextView target) {
  if (!ShortcutTargetJudged(target)) return false;
  if (context().safe_lists && context().safe_lists->IsSafePath(Lowercase(target))) return false;
  if (FileExists(target) == 1 || ItemExists(target)) return false;
  FileReferences* refs = context().file_refs;
  if (windows64() && refs && refs->FileExistsSwapped(target, false) == 1) return false;
  return !(refs && refs->IsSystemProtected(target));
}

Text ShortcutName(TextView link_path) {
  Text name = FileNamePart(link_path);
  if (EndsWithNoCase(name, u".lnk")) name.resize(name.size() - 4);
  return name;
}

}  // namespace hs
