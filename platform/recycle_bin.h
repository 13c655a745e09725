// Recycle bin port: moves a file where the user can get it back.
//
// Win32RecycleBin (platform/win32) uses the shell's file operation (delete
// with undo, silent, no confirmation, no error dialog). TrashRecycleBin
// (platform/trash_recycle_bin.h) moves the file into a trash folder through
// a FileSystem. Safe from any thread.
#pragma once

#include "platform/text.h"
#include "platform/win_error.h"

namespace hs {

class RecycleBin {
 public:
  virtual ~RecycleBin() = default;
  // 0 when the file is gone from `path` and recoverable; 2 when there is no
  // such file; another error when it stays.
  [[nodiscard]] virtual WinError MoveToRecycleBin(TextView path) = 0;
};

}  // namespace hs
