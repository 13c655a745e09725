// WOW64 port: whether this 32-bit process runs on 64-bit Windows, and the
// per-thread file-system redirection switch.
#pragma once

namespace hs {

class Wow64 {
 public:
  virtual ~Wow64() = default;
  // True when the process runs under WOW64 (64-bit Windows).
  virtual bool IsWow64Process() = 0;
  // Switches file-system redirection off for the calling thread. `cookie`
  // receives what RevertFsRedirection needs. False when unavailable.
  [[nodiscard]] virtual bool DisableFsRedirection(void** cookie) = 0;
  [[nodiscard]] virtual bool RevertFsRedirection(void* cookie) = 0;
};

}  // namespace hs
