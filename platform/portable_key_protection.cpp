#include "platform/portable_key_protection.h"

#include "platform/reg_text.h"

namespace hs {

bool PortableKeyProtection::IsKeyProtected(RegKey root, TextView subkey, std::uint32_t) {
  if (keys_.empty()) return false;
  Text path = Text(RegRootName(root)) + u"\\" + Text(subkey);
  for (const auto& k : keys_)
    if (EqualsNoCase(k, path)) return true;
  return false;
}

}  // namespace hs
