#include "areas/file_types.h"

namespace hs {

CFileTypes::CFileTypes(ScanManager& manager) : CCategory(0x0004, manager) {}

bool CFileTypes::PrepareScan() { return true; }

int CFileTypes::Scan() {
  (void)PrepareScan();
  if (IsCancelled()) return 2;
  Sort();
  return 0;
}

}  // namespace hs
