// Portable file-system adapter: a Windows machine described by
// configuration. Each drive letter maps to a host folder; "C:\A\b.txt" is
// the host path <folder of C>/A/b.txt.
//
// Path rules (as Windows resolves them):
// - Separators are '\' (and '/'). Empty and "." components are skipped;
//   trailing dots and spaces of a component are dropped.
// - Each component is looked up case-insensitively among the existing host
//   entries (an exact match wins; among other matches the first in byte
//   order). Components that do not exist keep their case.
// - Relative paths ("a\b", "C:a", "\a"), ".." components, UNC paths and
//   unmapped drives fail with 3; names with characters Windows rejects
//   (< > : " | ? * and control characters) fail with 123.
// - Host entries whose names Windows cannot hold are not listed.
//
// errno becomes a WinError at this edge (ENOENT 2/3, EACCES 5, EEXIST
// 80/183, ENOTEMPTY 145, ENOSPC 112, ...).
//
// Configure with MapDrive before sharing the object; afterwards all calls
// are safe from several threads at once.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace hs {

class HostFileSystem final : public FileSystem {
 public:
  // `letter` is A-Z in either case; other letters are ignored. The folder
  // should exist; it is not created.
  void MapDrive(char16_t letter, std::filesystem::path host_folder);

  // The host path a Windows path names (existing components in their stored
  // case). Fails as the operations do on a malformed or unmapped path.
  [[nodiscard]] WinError HostPath(TextView path, std::filesystem::path* out) const;

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
  [[nodiscard]] WinError GetFileInfo(TextView path, FileInfo* out) override;
  [[nodiscard]] WinError ListDirectory(TextView path, std::vector<DirEntry>* out) override;

 private:
  struct Resolved {
    std::filesystem::path found;     // deepest existing entry (the drive folder at least)
    std::vector<std::string> rest;   // components below it that do not exist
    std::string leaf;                // last component as written (empty for a drive root)
    std::filesystem::path Full() const;
    // The code Windows gives when the named entry is missing.
    WinError NotFound() const;
  };
  [[nodiscard]] WinError Resolve(TextView path, Resolved* out) const;

  std::array<std::filesystem::path, 26> drives_;
};

}  // namespace hs
