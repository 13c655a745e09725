#include "platform/portable/portable_wow64.h"

#include <cstdint>

namespace hs {

namespace {
thread_local bool t_disabled = false;
}

bool PortableWow64::DisableFsRedirection(void** cookie) {
  if (!windows64_) return false;
  *cookie = reinterpret_cast<void*>(static_cast<std::uintptr_t>(t_disabled ? 1 : 0));
  t_disabled = true;
  return true;
}

bool PortableWow64::RevertFsRedirection(void* cookie) {
  if (!windows64_) return false;
  t_disabled = reinterpret_cast<std::uintptr_t>(cookie) != 0;
  return true;
}

bool PortableWow64::RedirectionDisabled() { return t_disabled; }

}  // namespace hs
