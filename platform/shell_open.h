// Opening a document with the program the system associates with it (the
// shell verb "open", a normal window), and a file's properties dialog.
// Adapters: Win32ShellOpen (platform/win32); RecordingShellOpen (platform/recording_shell_open.h) for
// the native build, which has no desktop, and for tests.
#pragma once

#include "platform/text.h"

namespace hs {

class ShellOpen {
 public:
  virtual ~ShellOpen() = default;
  // True when the shell reports that it started the opening. Returns
  // without waiting for the viewer. A path holding a NUL unit fails.
  virtual bool Open(TextView path) = 0;
  // Opens the system's properties dialog of a file or folder (the shell verb
  // "properties"). True when the shell started it.
  virtual bool ShowProperties(TextView path) = 0;
};

}  // namespace hs
