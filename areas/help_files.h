// CHelpFiles (area bit 0x0010): help file registrations. Not built yet: scans nothing.
#pragma once

#include "engine/category.h"

namespace hs {

class CHelpFiles final : public CCategory {
 public:
  explicit CHelpFiles(ScanManager& manager);
  int Scan() override;
  bool PrepareScan() override;
};

}  // namespace hs
