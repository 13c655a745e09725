#include "areas/shortcuts.h"

namespace hs {

CShortcuts::CShortcuts(ScanManager& manager) : CCategory(0x0080, manager) {}

bool CShortcuts::PrepareScan() { return true; }

int CShortcuts::Scan() {
  (void)PrepareScan();
  if (IsCancelled()) return 2;
  Sort();
  return 0;
}

}  // namespace hs
