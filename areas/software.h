// CSoftware (area bit 0x0100): the uninstall registrations, the Add/Remove
// Programs cache, the installer's folder list and the installer's tree below
// HKEY_CLASSES_ROOT\Installer.
//
// Reports entry type 35 (an incomplete uninstall entry; a cache entry
// without its uninstall entry), 36 (an uninstall entry without uninstaller or
// whose uninstaller is missing; a missing installer folder) and 42 (another
// file named by an uninstall entry or in the installer tree that is missing).
#pragma once

#include "areas/program_area.h"

namespace hs {

class CSoftware : public CProgramArea {
 public:
  explicit CSoftware(ScanManager& manager);

  // The uninstall pass in each view, ScanArpCache, ScanInstallerFolders,
  // ScanInstallerTree(HKEY_CLASSES_ROOT, "Installer", 64-bit Windows), then
  // the sort. 1 when done, 2 when cancelled (unsorted).
  int Scan() override;
  bool PrepareScan() override;

  // Cache entries whose uninstall entry is gone, in each view. 1 or 2.
  virtual int ScanArpCache();
  // Folders of the installer's folder list that are missing, in each view.
  // 1 or 2.
  virtual int ScanInstallerFolders();
  // Depth-first walk of root\path (at most kMaxInstallerTreeDepth levels
  // below it) testing value names that look like absolute paths and string
  // data as file references. 1 when done or when root\path cannot be
  // opened, 2 when cancelled.
  virtual int ScanInstallerTree(RegKey root, TextView path, bool is64_view);

  static constexpr int kMaxInstallerTreeDepth = 512;

 private:
  int ScanUninstall(bool is64_view);
  void CheckUninstallEntry(const Text& name, bool is64_view);
  // A missing uninstall reference; a bare name is looked for in the system
  // folder as well.
  bool UninstallReferenceMissing(TextView text);
  int WalkInstallerTree(RegKey root, const Text& path, bool is64_view, int depth);
  void CheckInstallerValues(RegKey root, RegKey key, const Text& path, bool is64_view);
};

}  // namespace hs
