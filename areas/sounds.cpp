#include "areas/sounds.h"

namespace hs {

CSounds::CSounds(ScanManager& manager) : CCategory(0x0200, manager) {}

bool CSounds::PrepareScan() { return true; }

int CSounds::Scan() {
  (void)PrepareScan();
  if (IsCancelled()) return 2;
  Sort();
  return 0;
}

}  // namespace hs
