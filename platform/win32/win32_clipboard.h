// Win32 Clipboard: CF_UNICODETEXT through OpenClipboard. The clipboard is
// shared by every program; a busy one is tried again for a short while.
#pragma once

#include "platform/clipboard.h"

namespace hs {

class Win32Clipboard final : public Clipboard {
 public:
  [[nodiscard]] bool SetText(TextView text) override;
  [[nodiscard]] bool GetText(Text* text) override;
};

}  // namespace hs
