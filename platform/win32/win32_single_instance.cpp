#include "platform/win32/win32_single_instance.h"

#include <windows.h>

#include <string>

namespace hs {

Win32SingleInstance::~Win32SingleInstance() {
  if (mutex_) CloseHandle(mutex_);
}

bool Win32SingleInstance::AnotherInstanceRuns(TextView name) {
  std::wstring n(name.begin(), name.end());
  HANDLE m = CreateMutexW(nullptr, TRUE, n.c_str());
  DWORD e = GetLastError();
  bool another = !m || e == ERROR_ALREADY_EXISTS || e == ERROR_ACCESS_DENIED;
  if (m) {
    // Ownership is given up at once; the open handle marks the instance.
    if (e != ERROR_ALREADY_EXISTS) ReleaseMutex(m);
    if (mutex_) CloseHandle(mutex_);
    mutex_ = m;
  }
  return another;
}

WindowTarget Win32SingleInstance::FindFirstInstance(TextView title) {
  std::wstring t(title.begin(), title.end());
  return reinterpret_cast<WindowTarget>(FindWindowW(L"#32770", t.c_str()));
}

void Win32SingleInstance::OfferScheduledScan(WindowTarget window) {
  PostMessageW(reinterpret_cast<HWND>(window), kMsgOfferScheduledScan, 0, 0);
}

void Win32SingleInstance::BringToFront(WindowTarget window) {
  HWND w = reinterpret_cast<HWND>(window);
  ShowWindow(w, SW_SHOWNORMAL);
  SetForegroundWindow(GetLastActivePopup(w));
}

}  // namespace hs
