// A FileSystem wrapper for tests that makes chosen operations fail with
// chosen Windows errors, to exercise the callers' failure paths: full disks
// part-way through a write, failing appends, failing renames.
//
// Everything not made to fail goes to the wrapped file system unchanged.
// The wrapper and its file objects are safe to use from several threads;
// faults may be changed while files are open and apply to them at once.
#pragma once

#include <memory>

#include "platform/file_system.h"

namespace hs {

enum class FsOp {
  kReadFile,
  kCreateNewFile,
  kOpenAppend,
  kCreateDirectories,
  kDeleteFile,
  kMoveFile,
  kListDirectory,
  kWrite,   // WritableFile::Write
  kSync,    // WritableFile::Sync
  kClose,   // WritableFile::Close (the file is closed all the same)
  kAppend,  // AppendFile::Append
  kGetFileInfo,
  kCount
};

class FaultFileSystem final : public FileSystem {
 public:
  // `target` must outlive this object and every file it opens.
  explicit FaultFileSystem(FileSystem& target);

  // Lets `skip` more calls of `op` through, then fails every later one with
  // `error` without reaching the wrapped file system. Error 0 removes the
  // fault.
  void FailOp(FsOp op, WinError error, int skip = 0);
  // Lets `budget` more bytes through Write and Append together. The call
  // that exceeds it writes the part that fits, then fails with `error`, and
  // so does every later one: a disk that fills up.
  void FailWritesAfter(std::uint64_t budget, WinError error = err::kDiskFull);
  void ClearFaults();
  // Calls of `op` so far, failed ones included.
  int Calls(FsOp op) const;

  [[nodiscard]] WinError ReadFile(TextView path, std::uint64_t max_size, std::vector<std::uint8_t>* out) override;
  [[nodiscard]] WinError ReadFileRange(TextView path, std::uint64_t offset, std::size_t size,
                                         std::vector<std::uint8_t>* out) override;
  [[nodiscard]] WinError CreateNewFile(TextView path, std::unique_ptr<WritableFile>* out) override;
  [[nodiscard]] WinError OpenAppend(TextView path, std::unique_ptr<AppendFile>* out) override;
  bool Exists(TextView path) override;
  bool IsDirectory(TextView path) override;
  [[nodiscard]] WinError CreateDirectories(TextView path) override;
  [[nodiscard]] WinError DeleteFile(TextView path) override;
  [[nodiscard]] WinError MoveFile(TextView from, TextView to, bool replace) override;
  [[nodiscard]] WinError ListDirectory(TextView path, std::vector<DirEntry>* out) override;
  [[nodiscard]] WinError GetFileInfo(TextView path, FileInfo* out) override;

  struct State;  // shared with the open files

 private:
  FileSystem& target_;
  std::shared_ptr<State> state_;
};

}  // namespace hs
