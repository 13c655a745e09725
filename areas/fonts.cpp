#include "areas/fonts.h"

namespace hs {

CFonts::CFonts(ScanManager& manager) : CCategory(0x0008, manager) {}

bool CFonts::PrepareScan() { return true; }

int CFonts::Scan() {
  (void)PrepareScan();
  if (IsCancelled()) return 2;
  Sort();
  return 0;
}

}  // namespace hs
