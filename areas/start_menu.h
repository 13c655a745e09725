// CStartMenu (area bit 0x0400): the Start menu's remembered folder order
// (MenuOrder keys of the current user) and the shortcut files of the user's
// and the common Programs folder.
//
// Reports entry type 39 (a menu order key for a folder that exists in
// neither Programs folder), 38 (a menu order key without values) and 40 (a
// Start menu shortcut whose target is missing; key fields empty, details:
// the shortcut's name, its path, the target, the first folder below
// "\Programs\" or "<Root folder>"). While neither Programs folder is known
// the menu order is not judged.
//
// Shortcuts are read through the ShellLinks port; the scan holds its
// thread guard (COM) on the scan worker while it reads them.
#pragma once

#include "areas/shell_area.h"

namespace hs {

inline constexpr TextView kMenuOrderKey =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs";
inline constexpr TextView kMenuOrderKey2 =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu2\\Programs";

class CStartMenu final : public CShellArea {
 public:
  explicit CStartMenu(ScanManager& manager);

  // ScanMenuOrder on the first menu order key and, on Windows above major
  // version 5, the second; then ScanShortcutFolder on the user's and the
  // common Programs folder; sorts. 1 when done, 2 when cancelled.
  int Scan() override;
  bool PrepareScan() override;

  // The menu order below `key` (under HKEY_CURRENT_USER) whose folders lie
  // at `relative` below the Programs folders ("" for their top). 1 or 2.
  int ScanMenuOrder(TextView key, TextView relative);
  // The shortcuts in `folder` and its subfolders. 1 or 2.
  int ScanShortcutFolder(TextView folder);

 private:
  Text user_programs_;
  Text common_programs_;
};

// The first folder below "\Programs\" in a shortcut's path, or
// "<Root folder>" when the shortcut lies directly in a Programs folder or
// the path holds no "\Programs\".
Text StartMenuGroup(TextView link_path);

}  // namespace hs
