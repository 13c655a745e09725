// Win32 shell-paths adapter: kernel32 and shlwapi calls, SfcIsFileProtected
// looked up in "sfc.dll" at run time. Stateless apart from that lookup;
// safe from several threads at once. Environment answers are the process
// environment's; file lookups follow the calling thread's redirection.
#pragma once

#include "platform/shell_paths.h"

namespace hs {

class Win32ShellPaths final : public ShellPaths {
 public:
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
  // FindFirstFileExW; an entry with a short (8.3) name is listed under both names.
  [[nodiscard]] bool ListFolder(TextView folder, std::vector<FolderEntry>* out) override;
  // Opening a folder for listing costs a round trip to the file system
  // driver (under Wine to its server: 0.2-0.5 ms, some five attribute tests).
  std::uint32_t ListingCost() const override { return 4; }
};

}  // namespace hs
