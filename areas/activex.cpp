#include "areas/activex.h"

namespace hs {

CActiveX::CActiveX(ScanManager& manager) : CCategory(0x0001, manager) {}

bool CActiveX::PrepareScan() { return true; }

int CActiveX::Scan() {
  (void)PrepareScan();
  if (IsCancelled()) return 2;
  Sort();
  return 0;
}

}  // namespace hs
