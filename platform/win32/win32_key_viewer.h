// Win32 KeyViewer: starts regedit.exe (closing a running one first) and types
// the key path into its tree and the value name into its list, as a user
// would; the editor opens where it was last left otherwise. With is64 on
// 64-bit Windows, file-system redirection is off around the start so the
// 64-bit editor runs. User-interface thread only: it waits and pumps.
#pragma once

#include "platform/key_viewer.h"
#include "platform/wow64.h"

namespace hs {

class Win32KeyViewer final : public KeyViewer {
 public:
  // `wow64` must outlive the viewer.
  explicit Win32KeyViewer(Wow64& wow64) : wow64_(wow64) {}
  [[nodiscard]] bool ShowKey(TextView key_path, TextView value_name, bool is64) override;

 private:
  Wow64& wow64_;
};

}  // namespace hs
