// Portable shell-folders adapter: folders given by configuration, as
// Windows paths of the machine the HostFileSystem describes.
#pragma once

#include <utility>

#include "platform/shell_folders.h"

namespace hs {

struct ShellFolderPaths {
  Text app_data;  // empty: unknown
};

class HostShellFolders final : public ShellFolders {
 public:
  explicit HostShellFolders(ShellFolderPaths paths) : paths_(std::move(paths)) {}
  Text AppDataFolder() override { return paths_.app_data; }

 private:
  const ShellFolderPaths paths_;
};

}  // namespace hs
