// hs_window_probe: looks at HiveSweep.exe's main window from outside, for
// the Wine window checks.
//   hs_window_probe OUT TITLE shown [about]  wait up to 60 s for the visible
//       window; write its child buttons to OUT; with `about`, open the About
//       box through the system menu and wait for it. Exit 0 when all showed.
//   hs_window_probe OUT TITLE hidden SECONDS  watch the window for SECONDS;
//       exit 1 if it ever becomes visible.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "ui/ui_resources.h"

namespace {

FILE* g_out = nullptr;

BOOL CALLBACK ListChild(HWND child, LPARAM) {
  wchar_t cls[64] = {}, text[256] = {};
  GetClassNameW(child, cls, 64);
  GetWindowTextW(child, text, 256);
  if (_wcsicmp(cls, L"Button") == 0)
    fwprintf(g_out, L"button %d %ls enabled=%d\n", GetDlgCtrlID(child), text, IsWindowEnabled(child) ? 1 : 0);
  return TRUE;
}

struct OwnedSearch {
  HWND owner;
  HWND found;
};

BOOL CALLBACK FindOwned(HWND w, LPARAM lp) {
  auto* s = reinterpret_cast<OwnedSearch*>(lp);
  if (GetWindow(w, GW_OWNER) == s->owner && IsWindowVisible(w)) {
    s->found = w;
    return FALSE;
  }
  return TRUE;
}

HWND MainWindow(const wchar_t* title) { return FindWindowW(L"#32770", title); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return 2;
  g_out = _wfopen(argv[1], L"w, ccs=UTF-8");
  if (!g_out) return 2;
  const wchar_t* title = argv[2];
  const std::wstring mode = argv[3];
  int code = 1;
  if (mode == L"hidden") {
    const int seconds = argc > 4 ? _wtoi(argv[4]) : 10;
    code = 0;
    bool seen = false;
    for (int i = 0; i < seconds * 10; ++i, Sleep(100)) {
      HWND w = MainWindow(title);
      seen = seen || w != nullptr;
      if (w && IsWindowVisible(w)) {
        fwprintf(g_out, L"visible\n");
        code = 1;
        break;
      }
    }
    fwprintf(g_out, seen ? L"window seen hidden\n" : L"no window\n");
  } else if (mode == L"shown") {
    HWND w = nullptr;
    for (int i = 0; i < 600 && !(w && IsWindowVisible(w)); ++i, Sleep(100)) w = MainWindow(title);
    if (w && IsWindowVisible(w)) {
      RECT r{};
      GetWindowRect(w, &r);
      fwprintf(g_out, L"window %ldx%ld\n", r.right - r.left, r.bottom - r.top);
      EnumChildWindows(w, &ListChild, 0);
      code = 0;
      if (argc > 4 && std::wstring(argv[4]) == L"about") {
        PostMessageW(w, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        OwnedSearch s{w, nullptr};
        for (int i = 0; i < 100 && !s.found; ++i, Sleep(100)) EnumWindows(&FindOwned, reinterpret_cast<LPARAM>(&s));
        if (s.found) {
          wchar_t text[256] = {};
          GetWindowTextW(s.found, text, 256);
          fwprintf(g_out, L"about %ls\n", text);
        } else {
          code = 1;
        }
      }
    }
  }
  fclose(g_out);
  return code;
}
