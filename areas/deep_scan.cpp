#include "areas/deep_scan.h"

namespace hs {

CDeepScanLM::CDeepScanLM(ScanManager& manager) : CCategory(0x1000, manager) {}
bool CDeepScanLM::PrepareScan() { return true; }
int CDeepScanLM::Scan() {
  (void)PrepareScan();
  if (IsCancelled()) return 2;
  Sort();
  return 0;
}

CDeepScanCU::CDeepScanCU(ScanManager& manager) : CCategory(0x2000, manager) {}
bool CDeepScanCU::PrepareScan() { return true; }
int CDeepScanCU::Scan() {
  (void)PrepareScan();
  if (IsCancelled()) return 2;
  Sort();
  return 0;
}

}  // namespace hs
