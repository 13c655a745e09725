// CStartup (area bit 0x0800): programs started with Windows. Not built yet: scans nothing.
#pragma once

#include "engine/category.h"

namespace hs {

class CStartup final : public CCategory {
 public:
  explicit CStartup(ScanManager& manager);
  int Scan() override;
  bool PrepareScan() override;
};

}  // namespace hs
