// Win32 shell-folders adapter: SHGetFolderPathW for the current user.
#pragma once

#include "platform/shell_folders.h"

namespace hs {

class Win32ShellFolders final : public ShellFolders {
 public:
  Text AppDataFolder() override;
  Text SpecialFolderPath(int csidl) override;
};

}  // namespace hs
