#include "areas/help_files.h"

namespace hs {

CHelpFiles::CHelpFiles(ScanManager& manager) : CCategory(0x0010, manager) {}

bool CHelpFiles::PrepareScan() { return true; }

int CHelpFiles::Scan() {
  (void)PrepareScan();
  if (IsCancelled()) return 2;
  Sort();
  return 0;
}

}  // namespace hs
