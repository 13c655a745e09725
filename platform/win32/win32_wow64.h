// WOW64 port over kernel32's IsWow64Process and the redirection switch, all
// looked up by name (absent on old 32-bit Windows).
#pragma once

#include "platform/wow64.h"

namespace hs {

class Win32Wow64 final : public Wow64 {
 public:
  bool IsWow64Process() override;
  [[nodiscard]] bool DisableFsRedirection(void** cookie) override;
  [[nodiscard]] bool RevertFsRedirection(void* cookie) override;
};

}  // namespace hs
