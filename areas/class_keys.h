// What the areas that walk HKEY_CLASSES_ROOT (COM registrations, file types)
// share: the registry view of one pass, opening a key for change with a
// read-only retry, the "key holds nothing" test, and whether a referenced
// class, type library or application identifier is registered.
//
// Runs on the scan worker thread only.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "areas/program_area.h"

namespace hs {

// One walk of HKEY_CLASSES_ROOT in one registry view.
struct ClassesPass {
  bool is64_view = true;     // the view of every open (no view bit on 32-bit Windows)
  bool both_views = false;   // referenced keys count when either view holds them
  bool entry32 = false;      // the 32-bit flag of its problems
  Text key_prefix;           // "HKEY_CLASSES_ROOT\" or "HKEY_CLASSES_ROOT\Wow6432Node\"
  Text progress_prefix;      // "" or "Wow6432Node\"
};

// The string limit of the values these areas read, in characters with the
// terminator: a longer value counts as unreadable.
inline constexpr std::size_t kMaxClassValueChars = 1024;

// Whether a text is written like a class identifier: begins with "{" or ends
// with "}".
bool LooksLikeGuid(TextView text);
inline bool BeginsWithBrace(TextView text) { return !text.empty() && text.front() == u'{'; }

class CClassesArea : public CProgramArea {
 public:
  using CProgramArea::CProgramArea;

 protected:
  // The passes of a scan: 32-bit Windows one without view flag; 64-bit
  // Windows the 64-bit view, then the 32-bit view (whose problem keys carry
  // `wow_prefix` when set).
  ClassesPass Pass(bool is64_view, bool wow_prefix) const;

  // Opens parent\subkey (parent a root or an open key) for read and change in
  // the pass's view; on access denied retries read-only. The error of the
  // last attempt.
  WinError OpenKey(KeyHolder* holder, RegKey parent, TextView subkey, const ClassesPass& pass) const;
  // Opens for reading only (listing).
  WinError OpenForReading(KeyHolder* holder, RegKey parent, TextView subkey, const ClassesPass& pass) const;
  // Reads a string value of an open key (see ReadValueText).
  ValueText ReadText(RegKey key, TextView name, Text* text) const;
  // The unnamed value as text; empty when absent, not a string or unreadable.
  Text DefaultText(RegKey key) const;
  // No subkeys, at most one value, and an unnamed value that is absent, not
  // a string or empty. Needs an open key; false when it cannot be queried.
  bool KeyIsEmpty(RegKey key) const;
  // No subkeys and no named values (the unnamed value is not looked at).
  bool NoSubkeysNorNamedValues(RegKey key) const;

  // Whether HKEY_CLASSES_ROOT\subkey is registered: it opens, or opening it
  // is denied; in a pass of 64-bit Windows in either view. Answers are kept
  // for the rest of the scan (ForgetRegistered starts over).
  bool Registered(TextView subkey, const ClassesPass& pass);
  // The same in the pass's own view only (file types, which both views share
  // on Windows 7 anyway).
  bool RegisteredInView(TextView subkey, const ClassesPass& pass);
  void ForgetRegistered() { registered_.clear(); }

  // The file reference test with the safe path list; an empty text is never
  // missing.
  bool FileMissing(TextView text) { return ReferenceMissing(text, true); }

 private:
  bool OpensInView(TextView subkey, bool is64_view) const;
  bool Lookup(TextView subkey, const ClassesPass& pass, bool either_view);

  std::unordered_map<Text, bool> registered_;
};

}  // namespace hs
