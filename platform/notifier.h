// Worker-to-window notifications. Workers never touch windows directly: they
// post (asynchronous) or send (synchronous) numbered messages to a window
// target through this port. Message numbers are Windows message numbers
// (WM_USER = 0x400 upward). Safe to call from any thread.
#pragma once

#include <cstdint>

namespace hs {

// A window: an HWND in the Win32 adapter, an opaque number elsewhere; 0 is none.
using WindowTarget = std::uintptr_t;

inline constexpr std::uint32_t kWmUser = 0x400;

class Notifier {
 public:
  virtual ~Notifier() = default;
  virtual void Post(WindowTarget window, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) = 0;
  virtual void Send(WindowTarget window, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) = 0;
  virtual bool WindowExists(WindowTarget window) = 0;
  // Handles the messages other threads have sent (Send) to windows of the
  // calling thread and are waiting on. A thread that waits for a worker calls
  // it while it waits, so a worker's Send to that thread cannot hang.
  virtual void ServeSent() {}
};

}  // namespace hs
