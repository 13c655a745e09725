// KeyProtection over SfcIsKeyProtected of "sfc.dll", looked up once; absent
// on systems without it (then nothing is protected).
#pragma once

#include "platform/key_protection.h"

namespace hs {

class Win32KeyProtection final : public KeyProtection {
 public:
  bool IsKeyProtected(RegKey root, TextView subkey, std::uint32_t sam) override;
};

}  // namespace hs
