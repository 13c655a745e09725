// CAppPaths (area bit 0x0002): the App Paths registrations of programs
// (under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER) and the verb commands of
// the per-application keys under HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Applications.
//
// Reports entry type 13 (a command or program file that is missing), 1 (an
// App Paths key with an empty default value and nothing else) and 14 (an App
// Paths key without any value). Types 1 and 14 are left out while empty
// keys are skipped (SetChkSkipEmptyKeys).
#pragma once

#include "areas/program_area.h"

namespace hs {

class CAppPaths final : public CProgramArea {
 public:
  explicit CAppPaths(ScanManager& manager);

  // 64-bit Windows: ScanAppPathsView(true) and nothing else. 32-bit
  // Windows: HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, then the Applications
  // key, then sorts. 1 when done, 2 when cancelled (unsorted).
  int Scan() override;
  bool PrepareScan() override;

  // One App Paths pass in a view: with is64_view HKEY_CURRENT_USER then
  // HKEY_LOCAL_MACHINE, followed (unless cancelled) by the 32-bit pass of
  // HKEY_LOCAL_MACHINE, the Applications key in both views and the sort;
  // without it HKEY_LOCAL_MACHINE only. 1 or 2.
  int ScanAppPathsView(bool is64_view);
  // The verb commands of HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Applications in
  // one view. 1 or 2.
  int ScanApplications(bool is64_view);

 private:
  int ScanRoot(RegKey root, bool is64_view);
  void CheckAppKey(RegKey root, const Text& name, bool is64_view);
  void CheckApplication(const Text& name, bool is64_view);
};

}  // namespace hs
