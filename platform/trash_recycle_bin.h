// A recycle bin that is a folder: each file moved there keeps its name,
// with " (N)" added before the extension when the name is taken, and a line
// "<trash name>\t<original path>" is appended to "trash.log" in the folder
// so that it can be put back.
#pragma once

#include "platform/file_system.h"
#include "platform/recycle_bin.h"

namespace hs {

class TrashRecycleBin final : public RecycleBin {
 public:
  // `folder` is a path of `fs` (created on first use).
  TrashRecycleBin(FileSystem& fs, Text folder) : fs_(fs), folder_(std::move(folder)) {}
  [[nodiscard]] WinError MoveToRecycleBin(TextView path) override;

 private:
  FileSystem& fs_;
  Text folder_;
};

}  // namespace hs
