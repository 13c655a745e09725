// CDeepScanLM (area bit 0x1000) and CDeepScanCU (0x2000): the deep scan of
// HKEY_LOCAL_MACHINE\SOFTWARE and HKEY_CURRENT_USER. Not built yet: scans
// nothing.
#pragma once

#include "engine/category.h"

namespace hs {

class CDeepScanLM final : public CCategory {
 public:
  explicit CDeepScanLM(ScanManager& manager);
  int Scan() override;
  bool PrepareScan() override;
};

class CDeepScanCU final : public CCategory {
 public:
  explicit CDeepScanCU(ScanManager& manager);
  int Scan() override;
  bool PrepareScan() override;
};

}  // namespace hs
