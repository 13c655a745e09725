// CFileTypes (area bit 0x0004): file extensions and file types. Not built yet: scans nothing.
#pragma once

#include "engine/category.h"

namespace hs {

class CFileTypes final : public CCategory {
 public:
  explicit CFileTypes(ScanManager& manager);
  int Scan() override;
  bool PrepareScan() override;
};

}  // namespace hs
