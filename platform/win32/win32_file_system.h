// Win32 file-system adapter: the real Windows API (CreateFileW, MoveFileExW,
// FindFirstFileW, CreateDirectoryW, ...). GetLastError() becomes the
// WinError result. Stateless; safe from several threads at once.
#pragma once

#include "platform/file_system.h"

namespace hs {

class Win32FileSystem final : public FileSystem {
 public:
  [[nodiscard]] WinError ReadFile(TextView path, std::uint64_t max_size, std::vector<std::uint8_t>* out) override;
  [[nodiscard]] WinError ReadFileRange(TextView path, std::uint64_t offset, std::size_t size,
                                         std::vector<std::uint8_t>* out) override;
  [[nodiscard]] WinError CreateNewFile(TextView path, std::unique_ptr<WritableFile>* out) override;
  [[nodiscard]] WinError OpenAppend(TextView path, std::unique_ptr<AppendFile>* out) override;
  bool Exists(TextView path) override;
  bool IsDirectory(TextView path) override;
  [[nodiscard]] WinError CreateDirectories(TextView path) override;
  [[nodiscard]] WinError DeleteFile(TextView path) override;
  // MoveFileExW with MOVEFILE_WRITE_THROUGH and MOVEFILE_COPY_ALLOWED (across
  // volumes a file is copied, then deleted).
  [[nodiscard]] WinError MoveFile(TextView from, TextView to, bool replace) override;
  [[nodiscard]] WinError GetFileInfo(TextView path, FileInfo* out) override;
  [[nodiscard]] WinError ListDirectory(TextView path, std::vector<DirEntry>* out) override;
};

}  // namespace hs
