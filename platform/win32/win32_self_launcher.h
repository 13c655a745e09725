// Win32 self launcher: ShellExecuteW on the module's own path. Stateless;
// safe from any thread (the shell may need COM on the calling thread for
// some verbs; "open" and "runas" of an executable do not).
#pragma once

#include "platform/self_launcher.h"

namespace hs {

class Win32SelfLauncher final : public SelfLauncher {
 public:
  [[nodiscard]] WinError StartSelf(LaunchVerb verb, TextView argument) override;
};

}  // namespace hs
