// Registry editor port: imports a registry export file (".reg" text), as the
// system's editor does with "regedit.exe /s <file>".
//
// Win32RegEditor (platform/win32) starts the system editor; with is64 the
// 64-bit editor runs (file-system redirection off around the start) and
// imports into the 64-bit view, otherwise the 32-bit one into the 32-bit
// view. StoreRegEditor (below, platform/store_reg_editor.h) parses the file
// and applies it to a Registry in the same view.
//
// The outcome says whether the editor started, whether it ended within the
// wait, and its exit status. The system editor answers 0 even for a file it
// could not read, so callers read back an imported key to know. Safe from any
// thread; exceptions never escape.
#pragma once

#include <cstdint>

#include "platform/text.h"

namespace hs {

struct RegImportOutcome {
  bool started = false;    // the editor could be started
  bool finished = false;   // it ended within the wait
  std::uint32_t exit_code = 0;  // valid when finished
};

class RegEditor {
 public:
  virtual ~RegEditor() = default;
  // Imports `path` (a path of the platform's file system) silently, waiting
  // up to kRegImportWaitMs for the editor to end.
  virtual RegImportOutcome Import(TextView path, bool is64) = 0;
};

inline constexpr std::uint32_t kRegImportWaitMs = 9000;

}  // namespace hs
