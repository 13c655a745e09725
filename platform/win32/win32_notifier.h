// Notifier over PostMessageW / SendMessageW to HWNDs.
#pragma once

#include "platform/notifier.h"

namespace hs {

class Win32Notifier final : public Notifier {
 public:
  void Post(WindowTarget window, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) override;
  void Send(WindowTarget window, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) override;
  bool WindowExists(WindowTarget window) override;
  void ServeSent() override;
};

}  // namespace hs
