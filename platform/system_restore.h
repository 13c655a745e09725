// System restore port: one restore point, made as the start and the end of a
// system change (an application install) with a description.
//
// Win32SystemRestore (platform/win32) calls SRSetRestorePointW of
// "srclient.dll" where the system has System Restore. PortableSystemRestore
// (platform/portable_system_restore.h) keeps a whole-registry export of the
// machine in a folder of its own. Safe from any thread; never throws.
#pragma once

#include "platform/text.h"

namespace hs {

class SystemRestore {
 public:
  virtual ~SystemRestore() = default;
  // False when the system has no restore points or making one failed.
  [[nodiscard]] virtual bool CreatePoint(TextView description) = 0;
};

// The longest description System Restore keeps (characters).
inline constexpr std::size_t kMaxRestorePointDescription = 63;

}  // namespace hs
