// SystemRestore over SRSetRestorePointW of srclient.dll, looked up at run
// time. See platform/system_restore.h.
#pragma once

#include "platform/system_restore.h"

namespace hs {

class Win32SystemRestore final : public SystemRestore {
 public:
  [[nodiscard]] bool CreatePoint(TextView description) override;
};

// Whether a Windows version has System Restore: 4.90 and later 4.x, 5.x
// except 5.0, and everything after 5.
bool SystemRestoreVersion(unsigned major, unsigned minor);

}  // namespace hs
