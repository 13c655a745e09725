// Portable WOW64 port: 64-bit Windows or not by configuration; the
// redirection switch is a per-thread flag that the portable file system
// consults.
#pragma once

#include "platform/wow64.h"

namespace hs {

class PortableWow64 final : public Wow64 {
 public:
  explicit PortableWow64(bool windows64) : windows64_(windows64) {}
  bool IsWow64Process() override { return windows64_; }
  [[nodiscard]] bool DisableFsRedirection(void** cookie) override;
  [[nodiscard]] bool RevertFsRedirection(void* cookie) override;
  // Whether the calling thread has redirection switched off.
  static bool RedirectionDisabled();

 private:
  bool windows64_;
};

}  // namespace hs
