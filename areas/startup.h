// CStartup (area bit 0x0800): programs started at log-on from the Run keys
// of HKEY_LOCAL_MACHINE (both views on 64-bit Windows: the 64-bit view
// first) and of HKEY_CURRENT_USER (once, without a view).
//
// Reports entry type 41: a Run value that is empty, or whose program (the
// value cleaned of quotes and arguments) the drive walk finds missing. Keys
// that cannot be opened for reading and writing are passed over, and so
// are values that are not strings or are longer than 260 characters.
#pragma once

#include "areas/shell_area.h"

namespace hs {

class CStartup final : public CShellArea {
 public:
  explicit CStartup(ScanManager& manager);

  // ScanRunKey on "...\Run" then "...\Run-" under HKEY_LOCAL_MACHINE, then
  // the same under HKEY_CURRENT_USER; sorts. 1 when done, 2 when cancelled.
  int Scan() override;
  bool PrepareScan() override;

  // One Run key, in every view it is walked in. 1 or 2.
  int ScanRunKey(bool machine, TextView key);

 private:
  int ScanRunKeyIn(bool machine, TextView key, std::uint32_t mask, bool entry32);
};

}  // namespace hs
