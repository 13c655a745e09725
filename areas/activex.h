// CActiveX (area bit 0x0001): the COM registrations under HKEY_CLASSES_ROOT:
// classes (CLSID), application identifiers (AppID), type libraries (TypeLib)
// and interfaces (Interface).
//
// Reports servers, icons, bitmaps and type library files that are missing
// (types 0, 7, 10, 42), references to classes, application identifiers and
// type libraries that are not registered (2, 3, 5, 6, 11, 12), and keys that
// hold nothing (1, 4, 8, 9). A referenced key is registered when it opens or
// opening it is denied; on 64-bit Windows in either view.
//
// On 64-bit Windows the 64-bit view is scanned first, then the 32-bit view,
// whose problems carry the 32-bit flag and keys beginning
// "HKEY_CLASSES_ROOT\Wow6432Node\". A tree that both views share (the
// application identifiers and type libraries of Windows 7) is examined once,
// by the 64-bit pass, so one key is not reported under two names.
#pragma once

#include "areas/class_keys.h"

namespace hs {

class CActiveX final : public CClassesArea {
 public:
  explicit CActiveX(ScanManager& manager);

  // 64-bit Windows: ScanClasses64; elsewhere ScanClasses. 1 or 2 (cancelled).
  int Scan() override;
  bool PrepareScan() override;

  // The three passes; each sorts the list at its end. 1 or 2.
  int ScanClasses();    // 32-bit Windows, no view flag
  int ScanClasses64();  // 64-bit view, then ScanClasses32
  int ScanClasses32();  // 32-bit view

  // One entry of one pass (for tests): a class, a program-name entry under
  // AppID, a type library, an interface. False when cancelled.
  bool CheckClass(const ClassesPass& pass, const Text& clsid);
  bool CheckAppIdName(const ClassesPass& pass, const Text& name);
  bool CheckTypeLib(const ClassesPass& pass, const Text& libid);
  bool CheckInterface(const ClassesPass& pass, const Text& iid);
  ClassesPass PassFor(bool is64_view) const { return Pass(is64_view, true); }

 private:
  int RunPass(const ClassesPass& pass);
  bool ListTree(const ClassesPass& pass, TextView tree, std::vector<Text>* names);
  // On 64-bit Windows, whether the 32-bit view shows the same key as the
  // 64-bit view (a shared key, not a redirected one).
  bool SharedByViews(TextView tree);
  void CheckHandlers(const ClassesPass& pass, RegKey class_key, const Text& clsid, const Text& class_name);
  void CheckTypeLibPlatform(const ClassesPass& pass, RegKey version_key, const Text& lib_path, const Text& version,
                            const Text& locale, TextView platform, const Text& lib_name);
  void CheckHelpDir(const ClassesPass& pass, RegKey version_key, const Text& lib_path, const Text& libid,
                    const Text& version, const Text& lib_name);
};

}  // namespace hs
