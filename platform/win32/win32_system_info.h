// SystemInfo from the running Windows.
#pragma once

#include "platform/system_info.h"

namespace hs {

class Win32SystemInfo final : public SystemInfo {
 public:
  int MajorVersion() override;
  bool IsAdministrator() override;
  Text SystemDirectory() override;
  Text SystemWow64Directory() override;
};

}  // namespace hs
