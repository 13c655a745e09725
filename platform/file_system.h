// File-system port: the file operations the core needs, on Windows paths
// ("C:\dir\file", backslash separators) with Windows semantics and Windows
// error codes as results.
//
// Adapters: Win32FileSystem (platform/win32) calls the real API;
// HostFileSystem (platform/portable) maps drive letters onto host folders.
// FaultFileSystem (testing/fault_file_system.h) wraps either for tests.
//
// Contract (all adapters):
// - Paths are absolute ("X:\...", or UNC for the Win32 adapter). Relative
//   paths fail with 3 (they would resolve against the current directory); a
//   path holding a NUL unit fails with 123.
// - Status calls return a WinError, 0 on success. Expected failures are
//   results: 2 file not found, 3 path not found (a parent is missing or is a
//   file), 5 access denied (also: a directory where a file is expected),
//   80/183 already exists, 112 disk full, 223 file too large.
// - File objects (WritableFile, AppendFile) belong to the caller and close
//   when destroyed. One object is used by one thread at a time; the
//   FileSystem itself may be called from several threads at once.
// - Nothing throws across this interface.
//
// Win32 sources that include <windows.h> must #undef DeleteFile and MoveFile
// (Unicode macros there) before calling these members.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/log.h"
#include "platform/text.h"
#include "platform/win_error.h"

namespace hs {

// What GetFileInfo reports of an entry.
struct FileInfo {
  bool is_directory = false;
  std::uint64_t size = 0;        // bytes; 0 for directories
  std::uint64_t last_write = 0;  // FILETIME ticks (100 ns since 1601-01-01 UTC)
};

struct DirEntry {
  Text name;                 // file name only, as stored (case kept)
  bool is_directory = false;
  std::uint64_t size = 0;    // bytes; 0 for directories
};

// A new file being written from its start (see FileSystem::CreateNewFile).
class WritableFile {
 public:
  virtual ~WritableFile() = default;  // closes, ignoring errors
  // Writes all bytes or fails; after a failure part of them may be written.
  [[nodiscard]] virtual WinError Write(std::span<const std::uint8_t> bytes) = 0;
  // Forces the written data to the disk (FlushFileBuffers).
  [[nodiscard]] virtual WinError Sync() = 0;
  // Closes the file and reports a failure to do so. Later calls fail with 6.
  [[nodiscard]] virtual WinError Close() = 0;
};

// A file open for appending (see FileSystem::OpenAppend). Each Append call
// lands whole at the then end of the file, also when other handles or
// processes append to the same file.
class AppendFile {
 public:
  virtual ~AppendFile() = default;  // closes
  [[nodiscard]] virtual WinError Append(std::span<const std::uint8_t> bytes) = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Reads a whole file into *out (replaced). Fails with 223 when the file
  // holds more than max_size bytes, leaving *out empty. Files opened by
  // others for reading or writing can be read.
  [[nodiscard]] virtual WinError ReadFile(TextView path, std::uint64_t max_size,
                                          std::vector<std::uint8_t>* out) = 0;

  // Creates a new, empty file for writing; fails with 80 when it exists.
  [[nodiscard]] virtual WinError CreateNewFile(TextView path, std::unique_ptr<WritableFile>* out) = 0;

  // Opens a file for appending, creating it when missing and never
  // truncating it. Others may read and write the file while it is open.
  [[nodiscard]] virtual WinError OpenAppend(TextView path, std::unique_ptr<AppendFile>* out) = 0;

  // False also when the path cannot be examined.
  virtual bool Exists(TextView path) = 0;
  virtual bool IsDirectory(TextView path) = 0;

  // Creates a directory and its missing parents. Success when it already
  // exists as a directory; 183 when it exists as a file.
  [[nodiscard]] virtual WinError CreateDirectories(TextView path) = 0;

  // Deletes a file (5 for a directory).
  [[nodiscard]] virtual WinError DeleteFile(TextView path) = 0;

  // Renames a file or directory. Without `replace` an existing target fails
  // with 183; with it an existing file is replaced in one step (an existing
  // directory fails with 5). Returns once the change is on disk.
  [[nodiscard]] virtual WinError MoveFile(TextView from, TextView to, bool replace) = 0;

  // Size, kind and last-write time of a file or directory
  // (GetFileAttributesExW). *out is reset on failure: 2/3 when missing. The
  // adapters implement it; the default answers 120 (for test doubles).
  [[nodiscard]] virtual WinError GetFileInfo(TextView path, FileInfo* out);

  // Reads up to `size` bytes from `offset` of a file into *out (replaced):
  // fewer at its end, none past it. For files read in pieces; the default
  // reads the whole file (for test doubles).
  [[nodiscard]] virtual WinError ReadFileRange(TextView path, std::uint64_t offset, std::size_t size,
                                               std::vector<std::uint8_t>* out);

  // Lists a directory's entries (without "." and "..") into *out (replaced),
  // in no particular order.
  [[nodiscard]] virtual WinError ListDirectory(TextView path, std::vector<DirEntry>* out) = 0;

  // Replaces a file's content so that a crash or a full disk leaves either
  // the old or the new content, never a mix: writes a temporary file in the
  // same folder ("<name>.~<n>.tmp"), syncs it, then moves it over the
  // target. On failure the temporary file is removed and the target is
  // untouched; a crash may leave the temporary file behind.
  [[nodiscard]] WinError WriteFileAtomic(TextView path, std::span<const std::uint8_t> bytes);
};

// A damaged record file is moved aside before the program starts afresh, so
// that the next save cannot destroy it without trace: to "<path>.bad", or
// when that exists (an earlier damaged copy, kept) to the first free one of
// "<path>.2.bad" ... "<path>.<kMaxDamagedCopies>.bad". Only for a file that
// was read and found damaged, never for one that could not be read. Writes a
// log line either way; returns the move's result (183 when every name is taken).
inline constexpr int kMaxDamagedCopies = 100;
WinError SetAsideDamagedFile(FileSystem& fs, TextView path, Log& log);

// "error <n>" for log lines.
Text ErrorText(WinError e);

}  // namespace hs
