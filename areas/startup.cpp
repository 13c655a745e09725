#include "areas/startup.h"

namespace hs {

CStartup::CStartup(ScanManager& manager) : CCategory(0x0800, manager) {}

bool CStartup::PrepareScan() { return true; }

int CStartup::Scan() {
  (void)PrepareScan();
  if (IsCancelled()) return 2;
  Sort();
  return 0;
}

}  // namespace hs
