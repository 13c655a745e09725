// CSharedFiles (area bit 0x0040): the reference counts of shared DLLs and
// the list of approved shell extensions, both under HKEY_LOCAL_MACHINE.
//
// Reports entry type 33: a shared DLL whose file is missing, or an approved
// shell extension whose class is registered in neither view.
#pragma once

#include "areas/program_area.h"

namespace hs {

class CSharedFiles final : public CProgramArea {
 public:
  explicit CSharedFiles(ScanManager& manager);

  // The shared DLL pass in each view, then the approved extension pass in
  // each view, then the sort. 1 when done, 2 when cancelled (unsorted).
  int Scan() override;
  bool PrepareScan() override;

  // Longest shared DLL path that is examined; longer ones are skipped.
  static constexpr std::size_t kMaxSharedDllPathChars = 225;

 private:
  int ScanSharedDlls(bool is64_view);
  int ScanApprovedExtensions(bool is64_view);
};

}  // namespace hs
