// RegEditor over the system's registry editor (regedit.exe /s). See
// platform/reg_editor.h.
#pragma once

#include "platform/reg_editor.h"

namespace hs {

class Win32RegEditor final : public RegEditor {
 public:
  RegImportOutcome Import(TextView path, bool is64) override;
};

}  // namespace hs
