// System facts the engine asks about: the Windows major version, whether the
// user is an administrator, and the system folders. Values do not change
// while the process runs; callers may cache them.
#pragma once

#include "platform/text.h"

namespace hs {

class SystemInfo {
 public:
  virtual ~SystemInfo() = default;
  // Major version of Windows (5 for XP, 6 for Vista and 7).
  virtual int MajorVersion() = 0;
  // Membership of the local Administrators group (an access check of the
  // process token against a descriptor granting that group access).
  virtual bool IsAdministrator() = 0;
  // The system folder (GetSystemDirectoryW), without a trailing backslash.
  virtual Text SystemDirectory() = 0;
  // The 32-bit system folder of 64-bit Windows; empty on 32-bit Windows.
  virtual Text SystemWow64Directory() = 0;
};

}  // namespace hs
