// The program's data folder, "<application data>\Corvanta\HiveSweep" (no
// trailing backslash), where the log and the program's own files live.
#pragma once

#include "platform/file_system.h"
#include "platform/shell_folders.h"
#include "platform/text.h"

namespace hs {

// Empty when the application-data folder is unknown: callers must not fall
// back to a relative path, which would land in the current directory.
Text DataFolderPath(ShellFolders& folders);

// DataFolderPath, created with its parents if missing. *out is the folder on
// success and empty on failure; 3 when the application-data folder is
// unknown, else the file system's error.
[[nodiscard]] WinError EnsureDataFolder(ShellFolders& folders, FileSystem& fs, Text* out);

}  // namespace hs
