#include "areas/history_lists.h"

namespace hs {

CHistoryLists::CHistoryLists(ScanManager& manager) : CCategory(0x0020, manager) {}

bool CHistoryLists::PrepareScan() { return true; }

int CHistoryLists::Scan() {
  (void)PrepareScan();
  if (IsCancelled()) return 2;
  Sort();
  return 0;
}

}  // namespace hs
