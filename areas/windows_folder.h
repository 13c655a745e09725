// The folders the fonts, help files and sounds areas look files up in.
#pragma once

#include "engine/scan_context.h"
#include "platform/text.h"

namespace hs {

inline constexpr int kCsidlFonts = 0x14;
inline constexpr int kCsidlWindows = 0x24;

// The Windows folder (what GetWindowsDirectoryW answers), without a trailing
// backslash: the shell's Windows folder, else the folder that holds the
// system folder; empty when neither is known.
Text WindowsFolder(const ScanContext& context, TextView system_folder);

}  // namespace hs
