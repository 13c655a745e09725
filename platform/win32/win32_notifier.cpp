#include "platform/win32/win32_notifier.h"

#include <windows.h>

namespace hs {

void Win32Notifier::Post(WindowTarget w, std::uint32_t m, std::uintptr_t wp, std::intptr_t lp) {
  if (w) PostMessageW(reinterpret_cast<HWND>(w), m, static_cast<WPARAM>(wp), static_cast<LPARAM>(lp));
}

void Win32Notifier::Send(WindowTarget w, std::uint32_t m, std::uintptr_t wp, std::intptr_t lp) {
  if (w) SendMessageW(reinterpret_cast<HWND>(w), m, static_cast<WPARAM>(wp), static_cast<LPARAM>(lp));
}

void Win32Notifier::ServeSent() {
  // Peeking delivers the pending sent messages; nothing is removed from the queue.
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

bool Win32Notifier::WindowExists(WindowTarget w) { return w && IsWindow(reinterpret_cast<HWND>(w)); }

}  // namespace hs
