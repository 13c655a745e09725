// CProgramArea: what the three areas that check the registrations of
// installed programs (application paths, installed software, shared files)
// share: one way of judging a file reference, the registry views a pass
// runs in, and strict reads of string values.
//
// Runs on the scan worker thread only, like every area.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/category.h"
#include "engine/registry_helpers.h"
#include "engine/work_pacer.h"

namespace hs {

// How reading one string value of an open key ended.
enum class ValueText {
  kMissing,     // the value does not exist
  kText,        // read; the text may be empty
  kUnreadable,  // exists, but is not REG_SZ / REG_EXPAND_SZ, is longer than
                // the caller's limit, or the query failed otherwise
};

// Reads a REG_SZ or REG_EXPAND_SZ value (unexpanded) of an open key. The text
// is cut at its first NUL and trimmed; data of more than `max_chars` UTF-16
// units (terminator included, as a buffer of that size would hold) is
// unreadable, never cut short. *text is empty unless kText.
ValueText ReadValueText(Registry& registry, RegKey key, TextView name, std::size_t max_chars, Text* text);

// Joins a folder and a name with exactly one backslash.
Text JoinWithBackslash(TextView folder, TextView name);

// True for "X:..." , "\\server\..." and "\..." texts: a path that does not
// depend on a folder it is looked for in.
bool IsRootedPath(TextView path);

class CProgramArea : public CCategory {
 public:
  using CCategory::CCategory;

 protected:
  const RegEnv& env() const;
  bool windows64() const;
  // The views one pass runs in: on 64-bit Windows the 32-bit view and then
  // the 64-bit view (false, true); elsewhere one pass without a view flag,
  // given as true (the masks then carry no view bit and no problem is
  // marked 32-bit).
  std::vector<bool> PassViews() const;
  std::uint32_t ReadMask(bool is64_view) const;
  std::uint32_t ReadWriteMask(bool is64_view) const;
  // The 32-bit flag of a problem found in a view.
  bool Entry32(bool is64_view) const { return windows64() && !is64_view; }

  // The file reference test of these areas, applied the same way in every
  // step: the text is cleaned into a bare path (CleanPathReference: quotes,
  // arguments and resource indexes removed, variables expanded), and that
  // path goes through the full file reference test with only the step's
  // choice of the safe path list set. The full test rather than the drive
  // walk alone (FileReferenceExists), because the drive walk answers
  // "undecided" for every folder and bare program name and knows nothing of
  // the other view's folders: taking "undecided" as missing would report
  // every "MsiExec.exe /X{...}" uninstaller, and taking it as present would
  // never report a missing folder. The full test finds bare names on the
  // search path, in the system folders and in App Paths, swaps System32 /
  // SysWOW64 and Program Files / Program Files (x86) on 64-bit Windows,
  // leaves network paths, removable media and protected files alone, and
  // answers "valid" once the scan is cancelled, so nothing is reported
  // after the user stops. An empty path is never missing.
  bool ReferenceMissing(TextView text, bool use_safe_path_list);
  // The same for a path the area built itself (already clean).
  bool PathMissing(TextView path, bool use_safe_path_list);

  // AddProblem with an empty alternate key, then the details in order.
  // Returns the problem's index, or -1 when AddProblem dropped it.
  int Report(int entry_type, TextView key, TextView value_name, TextView value_data, bool entry32,
             const std::vector<Text>& details);
  // A localised text (empty when unknown).
  Text String(TextView key) const;
  // Between entries: gives way to the machine once per slice of work.
  void Pause() { pacer_.Step(); }

 private:
  WorkPacer pacer_;
};

}  // namespace hs
