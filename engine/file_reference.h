// File reference resolution: the one test every scan area applies to a text
// that names a file (a program path, a command line, a library with a
// resource index, an assembly identity, a URL).
//
// FileReferenceValid answers true when the reference is valid or must not be
// judged, false when the file it names is missing. Cheap text tests come
// first; references found valid are cached for the life of the object (the
// process), so a program named by many entries costs one file-system test.
// Between BeginScan and EndScan the file and folder tests go through a
// CachingShellPaths made for that scan, so a path costs about one call.
//
// Used from the scan worker (one at a time); the cache is guarded anyway.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "engine/registry_helpers.h"
#include "platform/shell_paths.h"

namespace hs {

class CCategory;
class SafeListCheck;

// The six choices a calling area makes.
struct FileRefFlags {
  bool use_safe_path_list = false;
  bool use_safe_folders = false;
  bool swap_only_for_program_files = false;
  bool skip_system_folder_swap = false;
  bool is_command_line = false;
  bool check_network_paths = false;
};

class FileReferences {
 public:
  // The ports must outlive the object. `safe_lists` may be null (nothing is
  // safe). `system_folder` ends with a backslash; `system_folder32` (64-bit
  // Windows only) does not.
  FileReferences(ShellPaths& shell, const RegEnv& reg, const SafeListCheck* safe_lists, Text system_folder,
                 Text system_folder32);

  // Starts a scan: forgets the missing references of the previous one (a
  // reference found missing is not tested again within one scan, since the
  // scan reads one moment of the machine; valid answers stay cached for good),
  // and starts remembering which files and folders exist (on the calling
  // thread, the scan worker) until EndScan.
  void BeginScan();
  void EndScan();

  // The setting SetChkREmovableMedia: references to removable media are not judged.
  void set_skip_removable_media(bool on) { skip_removable_media_ = on; }
  bool skip_removable_media() const { return skip_removable_media_; }

  // True: valid or not judged (also whenever the area's scan is cancelled);
  // false: the file is missing.
  bool FileReferenceValid(const CCategory& area, TextView text, const FileRefFlags& flags);
  // 1 exists, 0 undecided, -1 missing (the drive walk).
  int FileReferenceExists(TextView path);
  // The same, trying the other view's folder (System32 / SysWOW64, Program
  // Files / Program Files (x86)).
  int FileExistsSwapped(TextView path, bool skip_system_folder_swap);
  // A bare path from a reference text (quotes, arguments, resource indexes
  // removed; environment variables expanded).
  Text CleanPathReference(TextView text);
  bool CheckRundll32Command(const CCategory& area, TextView text, const FileRefFlags& flags);
  // The App Paths registration of a program name; on success *name becomes
  // the registered path.
  bool AppPathsLookup(Text* name);
  bool IsSafeFolderPath(TextView path) const;
  bool IsSystemProtected(TextView path);
  // 1 file, 0 folder, -1 nothing.
  int FileAttributesOf(TextView path);
  bool IsDirectory(TextView path);

  // File-system and shell calls made so far (for the benchmark).
  std::uint64_t fs_calls() const { return fs_calls_.load(); }
  std::size_t cache_size() const;
  // References judged in this object's life: found valid, or missing in
  // this scan (for the benchmark).
  std::size_t references_judged() const;

 private:
  bool Cached(TextView text) const;
  bool CacheValid(TextView text);
  bool Judge(const CCategory& area, TextView text, const FileRefFlags& flags);
  bool Exists(TextView path);
  Text Expand(TextView text, std::uint32_t capacity, bool* ok);
  const std::vector<Text>& Drives();
  // The scan's cache, or the adapter outside a scan.
  std::shared_ptr<ShellPaths> Files() const;

  ShellPaths& shell_;
  RegEnv reg_;
  const SafeListCheck* safe_lists_;
  Text system_folder_;
  Text system_folder32_;
  bool skip_removable_media_ = true;
  mutable std::mutex mu_;
  std::unordered_set<Text> valid_;
  std::unordered_set<Text> missing_this_scan_;  // text + flags
  std::vector<Text> drives_;
  bool drives_read_ = false;
  std::atomic<std::uint64_t> fs_calls_{0};
  std::shared_ptr<ShellPaths> scan_files_;
};

// Text after the last backslash (the whole text without one); the text
// before it (empty without one).
Text FileNamePart(TextView path);
Text FolderPart(TextView path);

// _wsplitpath: drive ("c:"), folder (ending in a separator), name, extension
// (from the last dot of the name).
struct PathParts {
  Text drive, dir, name, ext;
};
PathParts SplitPath(TextView path);

}  // namespace hs
