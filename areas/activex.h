// CActiveX (area bit 0x0001): ActiveX and COM registrations. Not built yet: scans nothing.
#pragma once

#include "engine/category.h"

namespace hs {

class CActiveX final : public CCategory {
 public:
  explicit CActiveX(ScanManager& manager);
  int Scan() override;
  bool PrepareScan() override;
};

}  // namespace hs
