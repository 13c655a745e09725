// Whole-registry port: exports every root of the registry to one ".reg" file
// and imports such a file, as the system's editor does with
// "regedit.exe /s /e FILE" and "regedit.exe /s FILE".
//
// Win32RegEditor (platform/win32) runs the system editor; on 64-bit Windows
// the 64-bit editor (file-system redirection off around its start), so that
// the export holds both views and the import writes the 64-bit view.
// StoreRegEditor (platform/store_reg_editor.h) exports a Registry's roots and
// applies a file to it. An import merges: keys and values the file does not
// name stay as they are.
//
// Outcomes as RegEditor's; an editor still running at the end of the wait is
// ended. Safe from any thread; exceptions never escape.
#pragma once

#include <cstdint>

#include "platform/reg_editor.h"
#include "platform/text.h"

namespace hs {

class WholeRegistryEditor {
 public:
  virtual ~WholeRegistryEditor() = default;
  // Writes the whole registry to `path` (created or replaced).
  virtual RegImportOutcome ExportAll(TextView path, std::uint32_t wait_ms) = 0;
  // Imports `path`, a whole-registry export or any other ".reg" file.
  virtual RegImportOutcome ImportAll(TextView path, std::uint32_t wait_ms) = 0;
};

// Waits: an export of a large registry takes minutes; an import has no
// practical limit.
inline constexpr std::uint32_t kWholeExportWaitMs = 30u * 60 * 1000;
inline constexpr std::uint32_t kWholeImportWaitMs = 0x5FFFFFF9;

}  // namespace hs
