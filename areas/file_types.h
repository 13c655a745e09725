// CFileTypes (area bit 0x0004): the file associations under
// HKEY_CLASSES_ROOT: extension keys (".txt"), which name a file type, and
// file type keys (every other name), with their class identifier, verbs,
// icon and context menu handlers.
//
// Reports extensions naming a type that is not registered (15), keys that
// hold nothing (16, and 1 below an extension's empty "shell" key), missing
// icon files (17), icon keys without an icon (18), unregistered classes
// (19), handler keys without a class (20), verb commands whose program is
// missing or empty (21) and verbs without a usable command (22).
//
// Problem keys begin "HKEY_CLASSES_ROOT\" in every pass; on 64-bit Windows
// the 64-bit view is scanned first, then the 32-bit view (problems carry the
// 32-bit flag). The views share the file types, so a key and entry type the
// 64-bit pass already reported is not reported again.
#pragma once

#include "areas/class_keys.h"

namespace hs {

// How problems name an extension: ".txt" -> ".TXT file (*.txt)".
Text ExtensionDetail(const Text& extension);

class CFileTypes final : public CClassesArea {
 public:
  explicit CFileTypes(ScanManager& manager);

  // 64-bit Windows: ScanTypes64; elsewhere ScanTypes. 1 or 2 (cancelled).
  int Scan() override;
  bool PrepareScan() override;

  int ScanTypes();    // 32-bit Windows, no view flag
  int ScanTypes64();  // 64-bit view, then ScanTypes32
  int ScanTypes32();  // 32-bit view

  // One name of HKEY_CLASSES_ROOT in one pass (for tests).
  void CheckName(const ClassesPass& pass, const Text& name);
  ClassesPass PassFor(bool is64_view) const { return Pass(is64_view, false); }

 private:
  int RunPass(const ClassesPass& pass);
  void CheckClassSubkey(const ClassesPass& pass, RegKey type_key, const Text& name, const Text& desc);
  void CheckVerbs(const ClassesPass& pass, RegKey type_key, const Text& name, const Text& desc, bool extension);
  void CheckVerb(const ClassesPass& pass, RegKey shell_key, const Text& name, const Text& verb, const Text& desc);
  void CheckDefaultIcon(const ClassesPass& pass, RegKey type_key, const Text& name, const Text& desc);
  void CheckHandlers(const ClassesPass& pass, RegKey type_key, const Text& name, const Text& desc);
  // Report, unless the area already holds this key with this entry type.
  void Add(int entry_type, const Text& key, const Text& value_data, const ClassesPass& pass,
           const std::vector<Text>& details);
  // Removes the problems from `from` on whose key and entry type an earlier
  // problem already has.
  void DropRepeats(std::size_t from);
};

}  // namespace hs
