// CShortcuts (area bit 0x0080): shortcut files on the desktops and in the
// user's profile folders.
//
// Reports entry type 34: a shortcut whose target on a fixed drive is
// missing (key fields empty; details: the shortcut's name, its path, the
// target). Shortcuts whose paths are longer than kMaxShortcutPathChars are
// not read; targets that are help centre links, network paths, shell
// classes or installer-advertised are not judged.
//
// Shortcuts are read through the ShellLinks port; the scan holds its
// thread guard (COM) on the scan worker while it reads them.
#pragma once

#include <vector>

#include "areas/shell_area.h"

namespace hs {

inline constexpr std::size_t kMaxShortcutPathChars = 225;
// The folders searched, in this order: desktop, local application data,
// application data, recent items, common desktop.
inline constexpr int kShortcutFolderCsidls[] = {0x00, 0x1c, 0x1a, 0x08, 0x19};

class CShortcuts final : public CShellArea {
 public:
  explicit CShortcuts(ScanManager& manager);

  // CollectShortcutFolders, then every shortcut in them; sorts. 1 when
  // done, 2 when cancelled.
  int Scan() override;
  // Not used by the scan; answers false.
  bool PrepareScan() override;

  // The special folders above as the shell resolves them, each lower-cased
  // with a trailing backslash, in the order above. A folder that encloses
  // another listed folder is emptied (only the enclosed one is searched), a
  // folder listed twice is kept once (the later one is emptied), and a
  // folder the shell does not resolve is empty.
  std::vector<Text> CollectShortcutFolders();
};

}  // namespace hs
