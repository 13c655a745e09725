#include "platform/win32/win32_clipboard.h"

#include <windows.h>

#include <cstring>

namespace hs {
namespace {

// Another program may hold the clipboard for a moment.
constexpr int kOpenAttempts = 10;
constexpr DWORD kOpenRetryMs = 20;

bool OpenWithRetry() {
  for (int i = 0; i < kOpenAttempts; ++i) {
    if (::OpenClipboard(nullptr)) return true;
    ::Sleep(kOpenRetryMs);
  }
  return false;
}

}  // namespace

bool Win32Clipboard::SetText(TextView text) {
  const SIZE_T bytes = (text.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (!memory) return false;
  void* p = ::GlobalLock(memory);
  if (!p) {
    ::GlobalFree(memory);
    return false;
  }
  std::memcpy(p, text.data(), text.size() * sizeof(wchar_t));
  static_cast<wchar_t*>(p)[text.size()] = L'\0';
  ::GlobalUnlock(memory);
  if (!OpenWithRetry()) {
    ::GlobalFree(memory);
    return false;
  }
  bool ok = ::EmptyClipboard() && ::SetClipboardData(CF_UNICODETEXT, memory);
  if (!ok) ::GlobalFree(memory);  // the clipboard owns it only on success
  ::CloseClipboard();
  return ok;
}

bool Win32Clipboard::GetText(Text* text) {
  if (!OpenWithRetry()) return false;
  bool ok = false;
  if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* p = static_cast<const wchar_t*>(::GlobalLock(data))) {
      const SIZE_T units = ::GlobalSize(data) / sizeof(wchar_t);
      SIZE_T n = 0;
      while (n < units && p[n] != L'\0') ++n;
      text->assign(p, p + n);
      ::GlobalUnlock(data);
      ok = true;
    }
  }
  ::CloseClipboard();
  return ok;
}

}  // namespace hs
