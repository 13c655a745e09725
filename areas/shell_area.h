// CShellArea: what the startup, Start menu, shortcut and history areas
// share: the file test they apply to a program, shortcut target or recent
// item, the two Programs folders of the Start menu, and the walk that
// gathers shortcut files.
//
// Runs on the scan worker thread only, like every area.
#pragma once

#include <unordered_map>
#include <vector>

#include "areas/program_area.h"

namespace hs {

class FileSystem;
class ShellFolders;
class ShellLinks;
class ShellPaths;

// The Start menu's Programs folders as "Shell Folders" names them.
inline constexpr TextView kShellFoldersKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
inline constexpr int kCsidlPrograms = 0x02;
inline constexpr int kCsidlCommonPrograms = 0x17;
// How deep the shortcut walk descends below a folder it is given.
inline constexpr int kMaxShortcutFolderDepth = 64;

class CShellArea : public CProgramArea {
 public:
  using CProgramArea::CProgramArea;

 protected:
  ShellPaths* shell() const;
  ShellFolders* folders() const;
  FileSystem* fs() const;
  ShellLinks* links() const;

  // The drive walk (FileReferenceExists) answers "missing" for a path the
  // area built or cleaned itself, and nothing keeps it: not the safe path
  // list, not the other view's system or program folder (64-bit Windows),
  // not system file protection. Empty texts, network paths and, while the
  // removable-media setting is on, paths on drives that are not fixed are
  // never missing. "Undecided" (a bare name, a folder) is not missing.
  // Answers are kept for the life of the area (one scan), so a program
  // named by many entries costs one drive walk.
  bool ReferenceGone(TextView path);
  // Whether a path is judged at all: not empty, not on the safe path list,
  // not a network path, and (while the removable-media setting is on) not
  // on a drive that is neither fixed nor absent.
  bool PathJudged(TextView path);
  // The file or folder's attributes can be read.
  bool ItemExists(TextView path);

  // The user's (common = false) or all users' Programs folder: the "Shell
  // Folders" value ("Programs" under HKEY_CURRENT_USER, "Common Programs"
  // under HKEY_LOCAL_MACHINE), else the shell's folder; empty when neither
  // names one. No trailing backslash.
  Text ProgramsFolder(bool common);

  // The "*.lnk" files in `folder` and its subfolders (at most
  // kMaxShortcutFolderDepth levels down), folders in listing order; nothing
  // when the folder cannot be listed. Stops early when the scan is cancelled.
  void CollectShortcutFiles(TextView folder, std::vector<Text>* out);

  // A shortcut target that a shortcut area judges: not empty, not a help
  // centre link ("hcp:"), not a network path, not a shell class ("{...}"),
  // not an installer-advertised shortcut ("installer\{"), on a fixed drive.
  bool ShortcutTargetJudged(TextView target);
  // A judged target that neither the drive walk finds nor exists, and that
  // the safe path list and system file protection do not keep. Kept for
  // the life of the area, like ReferenceGone.
  bool ShortcutTargetMissing(TextView target);

 private:
  void CollectShortcutFilesIn(const Text& folder, int depth, std::vector<Text>* out);
  bool ReferenceGoneUncached(TextView path);
  bool ShortcutTargetMissingUncached(TextView target);

  std::unordered_map<Text, bool> gone_;
  std::unordered_map<Text, bool> missing_targets_;
};

// A shortcut's file name without its ".lnk" ending.
Text ShortcutName(TextView link_path);

}  // namespace hs
