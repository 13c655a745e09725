// Starting the program's own executable again: after a language change
// (verb "open") and for the elevated restarts (verb "runas"). The caller
// ends its own process afterwards; this port only starts the new one.
#pragma once

#include "platform/text.h"
#include "platform/win_error.h"

namespace hs {

enum class LaunchVerb { kOpen, kRunAs };

class SelfLauncher {
 public:
  virtual ~SelfLauncher() = default;
  // Starts the own executable (its full path in double quotes) through the
  // shell with `argument` as its command line, no working folder and a
  // normal window. 0 when the shell reports the program started; otherwise
  // the failure (1223 when the user declined the elevation).
  [[nodiscard]] virtual WinError StartSelf(LaunchVerb verb, TextView argument) = 0;
};

}  // namespace hs
