// Portable shell-paths adapter: the answers of the Windows calls for a
// machine described by configuration. Files come from a FileSystem that maps
// drive letters onto host folders (HostFileSystem, case-insensitive lookup);
// drives, environment, folders and protected files from ShellMachine.
//
// Paths are resolved as GetFullPathNameW does before any lookup: relative
// ones against the current folder ("C:x" against it when it is on C:, else
// against "C:\"), '/' as '\', runs of separators as one, "." and ".."
// resolved (never above the root), a trailing dot of a name dropped and the
// trailing dots and spaces of the last name dropped. "\\?\" paths are taken
// as written. A final name that is a DOS device (CON, PRN, AUX, NUL, COM1-9,
// LPT1-9, with any extension) names a file when its folder exists. UNC paths
// name nothing (the machine has no network).
//
// 64-bit Windows (ShellMachine::windows64): while the calling thread has
// file-system redirection on (PortableWow64::RedirectionDisabled() false),
// lookups under <windows>\System32 go to <windows>\SysWOW64 (except its
// catroot, catroot2, driverstore, drivers\etc, logfiles and spool folders),
// <windows>\lastgood\System32 to <windows>\lastgood\SysWOW64,
// <windows>\regedit.exe to <windows>\SysWOW64\regedit.exe, and
// <windows>\Sysnative to <windows>\System32. With redirection off every path
// is itself and Sysnative does not exist. Returned paths are never rewritten:
// a file found in the system folder is reported under System32.
//
// Immutable after construction; safe from several threads at once. `fs`
// must outlive the adapter.
#pragma once

#include <map>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "platform/shell_paths.h"

namespace hs {

struct ShellMachine {
  // The logical drives: letter (A-Z, either case) -> drive_type number. A
  // letter's files are the FileSystem's mapping of it; a listed letter
  // without one has no files (an empty CD drive, a network drive). Letters
  // not listed, and letters listed as kNoRootDir, are not drives.
  std::map<char16_t, std::uint32_t> drives;
  // Environment variables; names compare without regard to case, the first
  // match wins. A PATH entry here is ignored: see search_path.
  std::vector<std::pair<Text, Text>> environment;
  // The PATH folders in search order; %PATH% expands to them joined by ';'
  // (and is unset when the list is empty). Empty entries are skipped.
  std::vector<Text> search_path;
  Text windows_directory = u"C:\\Windows";
  // GetSystemDirectoryW: also System32 on 64-bit Windows.
  Text system_directory = u"C:\\Windows\\system32";
  // The running program's folder, first in SearchPath's order; empty: none.
  Text program_directory;
  // Absolute; anything else leaves relative paths naming nothing.
  Text current_directory = u"C:\\";
  // Full paths that SfcIsFileProtected answers true for (case-insensitive).
  std::vector<Text> protected_files;
  // 64-bit Windows: model System32 / SysWOW64 redirection.
  bool windows64 = false;
};

class PortableShellPaths final : public ShellPaths {
 public:
  PortableShellPaths(FileSystem& fs, ShellMachine machine);

  FileKind FileAttributes(TextView path) override;
  bool PathFileExists(TextView path) override;
  std::vector<Text> LogicalDriveStrings() override;
  std::uint32_t DriveType(TextView root) override;
  [[nodiscard]] ExpandResult ExpandEnvironmentStrings(TextView text, std::uint32_t capacity, Text* out) override;
  [[nodiscard]] bool PathFindOnPath(Text* name) override;
  [[nodiscard]] bool SearchPath(TextView name, Text* found) override;
  [[nodiscard]] bool PathSearchAndQualify(TextView path, Text* out) override;
  Text PathGetArgs(TextView text) override;
  bool PathIsNetworkPath(TextView path) override;
  bool PathIsFileSpec(TextView path) override;
  bool IsFileProtected(TextView path) override;
  // The folder's entries through FileSystem::ListDirectory (after the same
  // resolution and redirection as FileAttributes).
  [[nodiscard]] bool ListFolder(TextView folder, std::vector<FolderEntry>* out) override;

 private:
  // GetFullPathNameW of `path` (see above); false when it cannot be resolved.
  bool FullPathName(TextView path, Text* out) const;
  // Where a resolved path is looked up under the calling thread's redirection.
  Text Redirect(const Text& full) const;
  FileKind Lookup(TextView path) const;
  // The folders SearchPath (with the program's and the current folder) and
  // PathFindOnPath look in, in order.
  std::vector<Text> SearchFolders(bool with_program_and_current) const;
  const Text* Variable(TextView name) const;

  FileSystem& fs_;
  ShellMachine m_;
  Text path_variable_;  // search_path joined by ';'
};

}  // namespace hs
