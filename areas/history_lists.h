// CHistoryLists (area bit 0x0020): history and recent-file lists. Not built yet: scans nothing.
#pragma once

#include "engine/category.h"

namespace hs {

class CHistoryLists final : public CCategory {
 public:
  explicit CHistoryLists(ScanManager& manager);
  int Scan() override;
  bool PrepareScan() override;
};

}  // namespace hs
