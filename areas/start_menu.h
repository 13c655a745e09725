// CStartMenu (area bit 0x0400): start menu order and folders. Not built yet: scans nothing.
#pragma once

#include "engine/category.h"

namespace hs {

class CStartMenu final : public CCategory {
 public:
  explicit CStartMenu(ScanManager& manager);
  int Scan() override;
  bool PrepareScan() override;
};

}  // namespace hs
