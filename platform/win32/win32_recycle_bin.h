// RecycleBin over the shell's file operation. See platform/recycle_bin.h.
#pragma once

#include "platform/recycle_bin.h"

namespace hs {

class Win32RecycleBin final : public RecycleBin {
 public:
  [[nodiscard]] WinError MoveToRecycleBin(TextView path) override;
};

}  // namespace hs
