// Win32 ShellOpen: ShellExecuteW with the verb "open" and SW_SHOWNORMAL.
// Stateless. Some file associations start through COM, so call it from a
// thread that has initialised COM (the user-interface thread).
#pragma once

#include "platform/shell_open.h"

namespace hs {

class Win32ShellOpen final : public ShellOpen {
 public:
  bool Open(TextView path) override;
  // ShellExecuteExW with the verb "properties" (SEE_MASK_INVOKEIDLIST).
  bool ShowProperties(TextView path) override;
};

}  // namespace hs
