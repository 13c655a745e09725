// System file protection of registry keys (SfcIsKeyProtected).
#pragma once

#include "platform/registry.h"

namespace hs {

class KeyProtection {
 public:
  virtual ~KeyProtection() = default;
  // True when the system protects root\subkey in the view of `sam`. False
  // when the facility is absent.
  virtual bool IsKeyProtected(RegKey root, TextView subkey, std::uint32_t sam) = 0;
};

}  // namespace hs
