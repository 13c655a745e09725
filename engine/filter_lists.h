// What the engine asks of the lists that filter problems. The safe lists and
// the user lists live above the engine (areas/safe_lists.h,
// areas/user_lists.h) and implement these; the application hands them to the
// engine through ScanContext. Threads and matching rules are those of the
// implementations.
#pragma once

#include "platform/text.h"

namespace hs {

// The built-in safe lists: a key path or a (lower-case) file path that
// contains an entry is never reported.
class SafeListCheck {
 public:
  virtual bool IsSafeKey(TextView key_path) const = 0;
  virtual bool IsSafePath(TextView path) const = 0;

 protected:
  SafeListCheck() = default;
  SafeListCheck(const SafeListCheck&) = default;
  SafeListCheck& operator=(const SafeListCheck&) = default;
  ~SafeListCheck() = default;
};

// A user list of key paths (the exclusions, the temporary ignore list).
class KeyPathList {
 public:
  // True when the candidate contains an entry, without regard to case.
  virtual bool Matches(TextView candidate) const = 0;
  // True when an entry equals `key` without regard to case (whole text).
  virtual bool EqualsAnyEntryNoCase(TextView key) const = 0;
  // Appends as given (no duplicate check).
  virtual void Add(TextView entry) = 0;

 protected:
  KeyPathList() = default;
  KeyPathList(const KeyPathList&) = default;
  KeyPathList& operator=(const KeyPathList&) = default;
  ~KeyPathList() = default;
};

}  // namespace hs
