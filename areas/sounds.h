// CSounds (area bit 0x0200): sound events. Not built yet: scans nothing.
#pragma once

#include "engine/category.h"

namespace hs {

class CSounds final : public CCategory {
 public:
  explicit CSounds(ScanManager& manager);
  int Scan() override;
  bool PrepareScan() override;
};

}  // namespace hs
