// Portable shell-folders adapter: folders given by configuration, as
// Windows paths of the machine the HostFileSystem describes.
#pragma once

#include <map>
#include <utility>

#include "platform/shell_folders.h"

namespace hs {

struct ShellFolderPaths {
  Text app_data;  // empty: unknown
  // Special folders by CSIDL number; a number not listed is unresolved.
  std::map<int, Text> special;
};

class HostShellFolders final : public ShellFolders {
 public:
  explicit HostShellFolders(ShellFolderPaths paths) : paths_(std::move(paths)) {}
  Text AppDataFolder() override { return paths_.app_data; }
  Text SpecialFolderPath(int csidl) override {
    const auto it = paths_.special.find(csidl);
    return it == paths_.special.end() ? Text() : it->second;
  }

 private:
  const ShellFolderPaths paths_;
};

}  // namespace hs
