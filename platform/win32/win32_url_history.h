// UrlHistory over the system's URL history storage (COM). The calling
// thread must have initialised COM. See platform/url_history.h.
#pragma once

#include "platform/url_history.h"

namespace hs {

class Win32UrlHistory final : public UrlHistory {
 public:
  [[nodiscard]] WinError DeleteUrl(TextView url) override;
};

}  // namespace hs
