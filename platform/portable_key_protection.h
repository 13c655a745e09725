// Key protection of a configured machine: the listed key paths (root name,
// backslash, subkey; compared without regard to case) are protected.
#pragma once

#include <vector>

#include "platform/key_protection.h"

namespace hs {

class PortableKeyProtection final : public KeyProtection {
 public:
  PortableKeyProtection() = default;
  explicit PortableKeyProtection(std::vector<Text> protected_keys) : keys_(std::move(protected_keys)) {}
  bool IsKeyProtected(RegKey root, TextView subkey, std::uint32_t sam) override;

 private:
  std::vector<Text> keys_;
};

}  // namespace hs
