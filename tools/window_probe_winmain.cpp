// hs_window_probe: looks at HiveSweep.exe's main window from outside, for
// the Wine window checks.
//   hs_window_probe OUT TITLE shown [about]  wait up to 60 s for the visible
//       window; write its child buttons to OUT; with `about`, open the About
//       box through the system menu and wait for it. Exit 0 when all showed.
//   hs_window_probe OUT TITLE hidden SECONDS  watch the window for SECONDS;
//       exit 1 if it ever becomes visible.
//   hs_window_probe OUT TITLE command ID  post command ID to the visible
//       window, then write every control of it and of a dialog it opened.
//   hs_window_probe OUT TITLE click ID  click the visible control ID (a
//       button of a screen or of an open dialog), then write them as above.
//   hs_window_probe OUT TITLE sysclose  ask the open dialog's system menu
//       to close it, then write the controls as above.
//   hs_window_probe OUT TITLE clickclose ID  click control ID; as soon as a
//       dialog opens, ask its system menu to close it; write "survived
//       close" when it is still there 300 ms later, then the controls.
//   hs_window_probe OUT TITLE settext ID TEXT  set the text of control ID,
//       then write them as above.
//   hs_window_probe OUT TITLE list  write them as above.
//   hs_window_probe OUT TITLE answer ID SECONDS  wait up to SECONDS for a
//       dialog of the visible window (a message box), write its controls,
//       click its control ID.
//   hs_window_probe OUT TITLE popup SECONDS [close|click]  wait up to
//       SECONDS for the result pop-up; write "popup X Y W H ex=STYLES
//       text=TEXT"; then click its close box or its link area and wait for
//       it to go ("popup gone").
//   Control lines: "ctl CLASS ID visible=V enabled=E items=N fits=F text=TEXT";
//   F is 1 when a button's or static's text fits its control in the
//   control's font, 0 when it is cut, -1 when not measured.
//   a dialog's controls follow "dialog TITLE"; the last line is "end CODE".
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

// The unowned dialog of that title (its own dialogs may carry it too).
HWND MainWindow(const wchar_t* title) {
  HWND w = nullptr;
  while ((w = FindWindowExW(nullptr, w, L"#32770", title)) != nullptr)
    if (!GetWindow(w, GW_OWNER)) return w;
  return nullptr;
}

// Whether the text of a Button or Static fits the control's client area in
// its font: on one line beside a check box, inside a push button's frame or
// a group box's corners; wrapped to the width for a word-wrapping static or
// a multi-line button. -1 for other controls, owner-drawn ones, empty texts
// and statics that end their text with an ellipsis on purpose.
int TextFits(HWND child, const wchar_t* cls, const wchar_t* text) {
  if (!*text) return -1;
  const LONG style = GetWindowLongW(child, GWL_STYLE);
  bool wrap = false;
  int pad = 0;
  if (_wcsicmp(cls, L"Static") == 0) {
    const LONG type = style & SS_TYPEMASK;
    if (style & (SS_ENDELLIPSIS | SS_PATHELLIPSIS | SS_WORDELLIPSIS)) return -1;
    if (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT) wrap = true;
    else if (type != SS_LEFTNOWORDWRAP && type != SS_SIMPLE) return -1;
  } else if (_wcsicmp(cls, L"Button") == 0) {
    const LONG type = style & BS_TYPEMASK;
    if (type == BS_OWNERDRAW) return -1;
    wrap = (style & BS_MULTILINE) != 0;
    if (type == BS_GROUPBOX) pad = 20;
    else if ((style & BS_PUSHLIKE) || type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) pad = 8;
    else pad = GetSystemMetrics(SM_CXMENUCHECK) + 6;
  } else {
    return -1;
  }
  RECT client{};
  GetClientRect(child, &client);
  HDC dc = GetDC(child);
  if (!dc) return -1;
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)));
  const int width = client.right - pad;
  RECT r{0, 0, width, 0};
  DrawTextW(dc, text, -1, &r, DT_CALCRECT | (wrap ? DT_WORDBREAK : DT_SINGLELINE));
  SelectObject(dc, old);
  ReleaseDC(child, dc);
  if (r.right > width) return 0;
  // A group box's caption sits on its frame; other texts need their height.
  return (style & BS_TYPEMASK) == BS_GROUPBOX && _wcsicmp(cls, L"Button") == 0 ? 1 : r.bottom <= client.bottom + 1;
}

BOOL CALLBACK ListControl(HWND child, LPARAM) {
  wchar_t cls[64] = {}, text[512] = {};
  GetClassNameW(child, cls, 64);
  GetWindowTextW(child, text, 512);
  const int fits = TextFits(child, cls, text);
  for (wchar_t* c = text; *c; ++c)
    if (*c == L'\r' || *c == L'\n') *c = L' ';
  LRESULT items = -1;
  if (_wcsicmp(cls, L"SysListView32") == 0) items = SendMessageW(child, 0x1004 /* LVM_GETITEMCOUNT */, 0, 0);
  if (_wcsicmp(cls, L"ComboBox") == 0) items = SendMessageW(child, CB_GETCOUNT, 0, 0);
  fwprintf(g_out, L"ctl %ls %d visible=%d enabled=%d items=%ld fits=%d text=%ls\n", cls, GetDlgCtrlID(child),
           IsWindowVisible(child) ? 1 : 0, IsWindowEnabled(child) ? 1 : 0, static_cast<long>(items), fits, text);
  return TRUE;
}

HWND OwnedDialog(HWND owner) {
  OwnedSearch s{owner, nullptr};
  EnumWindows(&FindOwned, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

void ListAll(HWND w) {
  EnumChildWindows(w, &ListControl, 0);
  if (HWND d = OwnedDialog(w)) {
    wchar_t text[256] = {};
    GetWindowTextW(d, text, 256);
    fwprintf(g_out, L"dialog %ls\n", text);
    EnumChildWindows(d, &ListControl, 0);
  }
}

struct ControlSearch {
  int id;
  HWND found;
};

BOOL CALLBACK FindControl(HWND child, LPARAM lp) {
  auto* s = reinterpret_cast<ControlSearch*>(lp);
  if (GetDlgCtrlID(child) == s->id && IsWindowVisible(child)) {
    s->found = child;
    return FALSE;
  }
  return TRUE;
}

HWND VisibleControl(HWND w, int id) {
  ControlSearch s{id, nullptr};
  if (HWND d = OwnedDialog(w)) EnumChildWindows(d, &FindControl, reinterpret_cast<LPARAM>(&s));
  if (!s.found) EnumChildWindows(w, &FindControl, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

}  // namespace

// The pop-up's close box lies 5 pixels in from its top-right corner, 18
// pixels square (ui/result_popup_window.cpp); its link area below 28 pixels.
int Popup(int seconds, const std::wstring& action) {
  HWND p = nullptr;
  for (int i = 0; i < seconds * 10 && !(p && IsWindowVisible(p)); ++i, Sleep(100))
    p = FindWindowW(L"HiveSweepPopup", nullptr);
  if (!p || !IsWindowVisible(p)) {
    fwprintf(g_out, L"no popup\n");
    return 1;
  }
  RECT r{};
  GetWindowRect(p, &r);
  wchar_t text[1024] = {};
  GetWindowTextW(p, text, 1024);
  fwprintf(g_out, L"popup %ld %ld %ld %ld ex=%lx text=%ls\n", r.left, r.top, r.right - r.left, r.bottom - r.top,
           static_cast<unsigned long>(GetWindowLongW(p, GWL_EXSTYLE)), text);
  fflush(g_out);
  if (action.empty()) return 0;
  RECT c{};
  GetClientRect(p, &c);
  const POINT at = action == L"close" ? POINT{c.right - 14, 14} : POINT{30, c.bottom - 12};
  PostMessageW(p, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
  PostMessageW(p, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
  for (int i = 0; i < 100 && IsWindow(p); ++i) Sleep(100);
  fwprintf(g_out, IsWindow(p) ? L"popup stayed\n" : L"popup gone\n");
  return IsWindow(p) ? 1 : 0;
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return 2;
  g_out = _wfopen(argv[1], L"w, ccs=UTF-8");
  if (!g_out) return 2;
  const wchar_t* title = argv[2];
  const std::wstring mode = argv[3];
  int code = 1;
  if (mode == L"popup") {
    code = Popup(argc > 4 ? _wtoi(argv[4]) : 60, argc > 5 ? argv[5] : L"");
  } else if (mode == L"answer") {
    const int id = argc > 4 ? _wtoi(argv[4]) : IDYES;
    const int seconds = argc > 5 ? _wtoi(argv[5]) : 60;
    HWND d = nullptr;
    HWND w = nullptr;
    for (int i = 0; i < seconds * 10 && !d; ++i, Sleep(100)) {
      w = MainWindow(title);
      if (w) d = OwnedDialog(w);
    }
    if (d) {
      ListAll(w);
      HWND c = GetDlgItem(d, id);
      if (c) {
        PostMessageW(c, BM_CLICK, 0, 0);
        code = 0;
      }
    }
    fwprintf(g_out, L"end %d\n", code);
  } else if (mode == L"hidden") {
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
  } else if (mode == L"command" || mode == L"click" || mode == L"sysclose" || mode == L"settext" ||
             mode == L"list" || mode == L"clickclose") {
    HWND w = MainWindow(title);
    for (int i = 0; i < 600 && !(w && IsWindowVisible(w)); ++i, Sleep(100)) w = MainWindow(title);
    const int id = argc > 4 ? _wtoi(argv[4]) : 0;
    if (w && IsWindowVisible(w)) {
      code = 0;
      if (mode == L"command") {
        PostMessageW(w, WM_COMMAND, static_cast<WPARAM>(id), 0);
      } else if (mode == L"click") {
        HWND c = VisibleControl(w, id);
        if (c) PostMessageW(c, BM_CLICK, 0, 0);
        else code = 1;
      } else if (mode == L"settext") {
        HWND c = VisibleControl(w, id);
        if (c && argc > 5) SendMessageW(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[5]));
        else code = 1;
      } else if (mode == L"clickclose") {
        HWND c = VisibleControl(w, id);
        if (c) PostMessageW(c, BM_CLICK, 0, 0);
        HWND d = nullptr;
        for (int i = 0; c && i < 250 && !d; ++i, Sleep(20)) d = OwnedDialog(w);
        if (d) {
          PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0);
          PostMessageW(d, WM_CLOSE, 0, 0);
          Sleep(300);
          if (IsWindow(d) && IsWindowVisible(d)) fwprintf(g_out, L"survived close\n");
        } else {
          code = 1;
        }
      } else if (mode == L"list") {
        // only the listing
      } else if (HWND d = OwnedDialog(w)) {
        PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0);
      } else {
        code = 1;
      }
      Sleep(1000);
      ListAll(w);
    }
    fwprintf(g_out, L"end %d\n", code);
  }
  fclose(g_out);
  return code;
}
