// CShortcuts (area bit 0x0080): shortcut files. Not built yet: scans nothing.
#pragma once

#include "engine/category.h"

namespace hs {

class CShortcuts final : public CCategory {
 public:
  explicit CShortcuts(ScanManager& manager);
  int Scan() override;
  bool PrepareScan() override;
};

}  // namespace hs
