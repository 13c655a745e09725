// CFonts (area bit 0x0008): installed fonts. Not built yet: scans nothing.
#pragma once

#include "engine/category.h"

namespace hs {

class CFonts final : public CCategory {
 public:
  explicit CFonts(ScanManager& manager);
  int Scan() override;
  bool PrepareScan() override;
};

}  // namespace hs
