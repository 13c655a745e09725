// The running program's own version resource.
#pragma once

#include "platform/text.h"

namespace hs {

// The FileVersion text of the executable's version resource, in the first
// language and code page of its translation table; empty when it has none.
Text ProgramFileVersion();

}  // namespace hs
