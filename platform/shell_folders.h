// Shell-folders port: the special folders of the current user, as Windows
// paths without a trailing backslash.
//
// Adapters: Win32ShellFolders (platform/win32) asks the shell;
// HostShellFolders (platform/portable) returns configured paths.
// Safe to call from any thread.
#pragma once

#include "platform/text.h"

namespace hs {

class ShellFolders {
 public:
  virtual ~ShellFolders() = default;
  // The per-user application-data folder (CSIDL_APPDATA, "...\AppData\Roaming").
  // Empty text when it cannot be determined.
  virtual Text AppDataFolder() = 0;
};

}  // namespace hs
