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
  // The file-system path of a special folder given by its CSIDL number
  // (0x00-0xFF, no flag bits), e.g. 0x13 the NetHood folder. Empty text when
  // the shell does not resolve it to a path: virtual folders (0x12, the
  // Network folder, on most systems), unknown numbers, numbers with flags.
  // The default knows no folders.
  virtual Text SpecialFolderPath(int csidl) {
    (void)csidl;
    return Text();
  }
};

}  // namespace hs
