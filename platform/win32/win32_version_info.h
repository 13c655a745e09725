// Version resources: FileVersion texts.
#pragma once

#include "platform/text.h"

namespace hs {

// The FileVersion text of the executable's version resource, in the first
// language and code page of its translation table; empty when it has none.
Text ProgramFileVersion();
// The same of the executable or library at `path`.
Text FileVersionOf(TextView path);

}  // namespace hs
