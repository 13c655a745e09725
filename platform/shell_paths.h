// Shell-paths port: the file-system and path questions the file reference
// test asks, with the answers of the Windows calls named beside each member
// (Windows paths, UTF-16 text).
//
// Adapters: Win32ShellPaths (platform/win32) calls the real functions;
// PortableShellPaths (platform/portable) answers the same for a machine
// described by configuration.
//
// Contract (all adapters):
// - Pure text operations (ExpandEnvironmentStrings, PathGetArgs,
//   PathIsNetworkPath, PathIsFileSpec) see the text up to its first NUL
//   unit, as the C-string calls do. Operations that touch the file system
//   treat a path holding a NUL as naming nothing: missing, not found, false.
// - Texts longer than kMaxShellTextChars units are refused the same way
//   (missing, not found, false, a failed expansion), never cut short.
// - On 64-bit Windows, file lookups follow the calling thread's file-system
//   redirection (Wow64::DisableFsRedirection): with it on, System32 shows
//   the 32-bit files and Sysnative the 64-bit ones.
// - Names that are empty or made only of dots and spaces are never found by
//   PathFindOnPath and SearchPath (the Windows calls answer a folder for them).
// - Nothing throws; every member may be called from several threads at once.
//
// Win32 sources that include <windows.h> or <shlwapi.h> must #undef the
// macros ExpandEnvironmentStrings, SearchPath, PathFileExists,
// PathFindOnPath, PathSearchAndQualify, PathGetArgs, PathIsNetworkPath and
// PathIsFileSpec before calling these members.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/text.h"

namespace hs {

// Longest text (in UTF-16 units, terminator excluded) the ports accept; the
// Windows calls cut longer ones short.
inline constexpr std::size_t kMaxShellTextChars = 32766;
// The buffer size (terminator included) of the path calls that return a path.
inline constexpr std::size_t kMaxPathChars = 260;

enum class FileKind { kMissing, kFile, kDirectory };

// GetDriveTypeW's answers.
namespace drive_type {
inline constexpr std::uint32_t kUnknown = 0;
inline constexpr std::uint32_t kNoRootDir = 1;
inline constexpr std::uint32_t kRemovable = 2;
inline constexpr std::uint32_t kFixed = 3;
inline constexpr std::uint32_t kRemote = 4;
inline constexpr std::uint32_t kCdRom = 5;
inline constexpr std::uint32_t kRamDisk = 6;
}  // namespace drive_type

struct ExpandResult {
  // True when the expansion fit into the capacity; *out then holds it.
  bool ok = false;
  // Units the expansion needs, terminator included (also when it did not
  // fit); 0 when it failed: a text longer than kMaxShellTextChars, or a
  // result needing more units than that.
  std::uint32_t needed = 0;
};

class ShellPaths {
 public:
  virtual ~ShellPaths() = default;

  // What the path names (GetFileAttributesW). A trailing separator after a
  // file, wildcards and unreadable paths give kMissing.
  virtual FileKind FileAttributes(TextView path) = 0;

  // PathFileExistsW: true for files and folders.
  virtual bool PathFileExists(TextView path) = 0;

  // The drive roots ("C:\") in letter order (GetLogicalDriveStringsW with
  // 2048 characters); empty when the call fails.
  virtual std::vector<Text> LogicalDriveStrings() = 0;

  // GetDriveTypeW of a drive root ("C:\" or "C:"): a drive_type number.
  virtual std::uint32_t DriveType(TextView root) = 0;

  // ExpandEnvironmentStringsW into a buffer of `capacity` units. %NAME% is
  // replaced when NAME is set (names compare without regard to case); an
  // unknown %NAME% and a "%" without a partner stay as written. *out is
  // replaced, and empty unless ok.
  [[nodiscard]] virtual ExpandResult ExpandEnvironmentStrings(TextView text, std::uint32_t capacity,
                                                              Text* out) = 0;

  // PathFindOnPathW without extra folders: a bare file name (PathIsFileSpec)
  // is looked for in the system folder, the Windows folder's "System"
  // folder, the Windows folder and the PATH folders, in this order; the
  // first existing entry (file or folder) replaces *name with its path
  // (folder + "\" + name as given). False leaves *name unchanged.
  [[nodiscard]] virtual bool PathFindOnPath(Text* name) = 0;

  // SearchPathW with the default search order and no extension: a name
  // holding a drive, a leading separator or a leading ".\" / "..\" is looked
  // up as it is; any other name in the program's folder, the current folder,
  // the system folder, the 16-bit system folder, the Windows folder and the
  // PATH folders. *found receives the full path of the first existing
  // entry; it is replaced, and empty on false.
  [[nodiscard]] virtual bool SearchPath(TextView name, Text* found) = 0;

  // PathSearchAndQualifyW with a kMaxPathChars buffer: what SearchPath
  // finds, else the full path (GetFullPathNameW: relative to the current
  // folder, "." and ".." resolved, '/' made '\', trailing dots and spaces
  // of the last name dropped). False when the result does not fit; *out is
  // replaced, and empty on false.
  [[nodiscard]] virtual bool PathSearchAndQualify(TextView path, Text* out) = 0;

  // PathGetArgsW: the text after the first space outside double quotes
  // (further spaces kept), or the empty text when there is none.
  virtual Text PathGetArgs(TextView text) = 0;

  // PathIsNetworkPathW: a path starting with "\\", or one whose drive letter
  // is a network drive.
  virtual bool PathIsNetworkPath(TextView path) = 0;

  // PathIsFileSpecW: the text holds neither '\' nor ':' ('/' does not count).
  virtual bool PathIsFileSpec(TextView path) = 0;

  // SfcIsFileProtected of "sfc.dll" for a full path; false when the system
  // has no file protection.
  virtual bool IsFileProtected(TextView path) = 0;

  // The entries of a folder, each named and typed as FileAttributes would
  // find it at "<folder>\<name>", so that many lookups in one folder cost
  // one listing. False (and *out empty) when `folder` is not a folder or the
  // adapter does not list (the default).
  struct FolderEntry {
    Text name;
    FileKind kind = FileKind::kMissing;
  };
  [[nodiscard]] virtual bool ListFolder(TextView folder, std::vector<FolderEntry>* out) {
    (void)folder;
    out->clear();
    return false;
  }
  // About how many FileAttributes calls one ListFolder costs: a caller that
  // looks up entries one by one lists the folder once it has asked this
  // many of them.
  virtual std::uint32_t ListingCost() const { return 1; }
};

// Helpers both adapters share.
// The text up to its first NUL unit.
TextView UpToNul(TextView text);
// Empty, or only dots and spaces: a name the path searches never find.
bool IsBlankName(TextView name);

}  // namespace hs
