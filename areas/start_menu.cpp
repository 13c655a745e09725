#include "areas/start_menu.h"

namespace hs {

CStartMenu::CStartMenu(ScanManager& manager) : CCategory(0x0400, manager) {}

bool CStartMenu::PrepareScan() { return true; }

int CStartMenu::Scan() {
  (void)PrepareScan();
  if (IsCancelled()) return 2;
  Sort();
  return 0;
}

}  // namespace hs
