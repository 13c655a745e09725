// CHelpFiles (area bit 0x0010): the help-file and HTML-help-file lists
// under HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\Help and ...\HTML Help.
// Each value maps a file name to the folder that holds it; on 64-bit
// Windows both lists are walked in the 64-bit view and then in the 32-bit
// view.
//
// Reports entry type 24 (help file missing) and 25 (HTML help file missing).
// A value with an empty folder names a bare file, looked up where the help
// viewers look: the current folder, the system search (program, system and
// Windows folders, the search path) and the Windows "Help" folder.
#pragma once

#include "areas/program_area.h"

namespace hs {

class CHelpFiles final : public CProgramArea {
 public:
  explicit CHelpFiles(ScanManager& manager);

  // 1 when done, 2 when cancelled (unsorted).
  int Scan() override;
  bool PrepareScan() override;

  // One list in one view (lists that cannot be opened for reading and
  // writing are passed over). 1 or 2.
  int ScanHelpList(TextView key, int entry_type, TextView progress_prefix, TextView detail_prefix, bool is64_view);

 private:
  bool BareFileFound(const Text& name);
};

}  // namespace hs
