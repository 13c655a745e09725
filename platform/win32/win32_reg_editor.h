// RegEditor and WholeRegistryEditor over the system's registry editor
// (regedit.exe). See platform/reg_editor.h and platform/whole_registry_editor.h.
#pragma once

#include "platform/reg_editor.h"
#include "platform/whole_registry_editor.h"

namespace hs {

class Win32RegEditor final : public RegEditor, public WholeRegistryEditor {
 public:
  RegImportOutcome Import(TextView path, bool is64) override;
  // The native editor: on 64-bit Windows the 64-bit one, so that the export
  // holds both views (the 32-bit one under Wow6432Node). An export that did
  // not end in time is ended and its partial file removed.
  RegImportOutcome ExportAll(TextView path, std::uint32_t wait_ms) override;
  RegImportOutcome ImportAll(TextView path, std::uint32_t wait_ms) override;
};

}  // namespace hs
