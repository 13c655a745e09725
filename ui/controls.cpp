#include "ui/controls.h"

#include <commctrl.h>

#include "ui/screen_font.h"
#include "ui/ui_resources.h"

namespace hs::ui {

namespace {

constexpr COLORREF kNavBack = RGB(0x1d, 0x2b, 0x33);
constexpr COLORREF kNavHover = RGB(0x2b, 0x40, 0x4b);
constexpr COLORREF kNavCurrent = RGB(0x1f, 0x8a, 0x7a);
constexpr COLORREF kNavText = RGB(0xe8, 0xf0, 0xf0);
constexpr COLORREF kNavDisabledText = RGB(0x7a, 0x8a, 0x90);
constexpr UINT_PTR kHoverSubclassId = 1;

}  // namespace

void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = name;
  ::RegisterClassW(&wc);
}

void FillSolid(HDC dc, const RECT& r, COLORREF colour) {
  HBRUSH brush = ::CreateSolidBrush(colour);
  ::FillRect(dc, &r, brush);
  ::DeleteObject(brush);
}

void DrawWindowTitle(HWND hwnd, HDC dc, RECT r, int height, COLORREF colour, UINT format) {
  wchar_t text[256] = {};
  ::GetWindowTextW(hwnd, text, 256);
  HFONT font = CreateScreenFont(WindowLanguage(hwnd), height, FW_SEMIBOLD);
  HGDIOBJ old = ::SelectObject(dc, font);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, colour);
  ::DrawTextW(dc, text, -1, &r, format | DT_SINGLELINE | DT_LEFT | DT_END_ELLIPSIS | DT_NOPREFIX);
  ::SelectObject(dc, old);
  ::DeleteObject(font);
}

void ListView::AddColumn(int index, TextView header, int width) const {
  std::wstring text = Wide(header);
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  column.pszText = text.data();
  column.cx = width;
  column.iSubItem = index;
  ListView_InsertColumn(hwnd_, index, &column);
}

int ListView::AddRow(TextView text) const {
  std::wstring t = Wide(text);
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = Count();
  item.pszText = t.data();
  return ListView_InsertItem(hwnd_, &item);
}

void ListView::SetCell(int row, int column, TextView text) const {
  std::wstring t = Wide(text);
  ListView_SetItemText(hwnd_, row, column, t.data());
}

Text ListView::Cell(int row, int column) const {
  wchar_t buffer[1024] = {};
  ListView_GetItemText(hwnd_, row, column, buffer, 1024);
  return FromWide(buffer);
}

void ListView::Select(int row) const {
  ListView_SetItemState(hwnd_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  if (row < 0) return;
  ListView_SetItemState(hwnd_, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(hwnd_, row, FALSE);
}

int ListView::RowAt(POINT screen) const {
  LVHITTESTINFO hit{};
  hit.pt = screen;
  ::ScreenToClient(hwnd_, &hit.pt);
  return ListView_HitTest(hwnd_, &hit);
}

bool HoverButton::Create(HWND parent, int id, TextView text, const RECT& r, HFONT font) {
  hwnd_ = ::CreateWindowExW(0, WC_BUTTONW, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW,
                            r.left, r.top, r.right - r.left, r.bottom - r.top, parent,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
  if (!hwnd_) return false;
  SetFont(font);
  return ::SetWindowSubclass(hwnd_, &HoverButton::SubclassProc, kHoverSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

LRESULT CALLBACK HoverButton::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR self) {
  auto* button = reinterpret_cast<HoverButton*>(self);
  switch (msg) {
    case WM_MOUSEMOVE:
      if (!button->hover_) {
        button->hover_ = true;
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, hwnd, 0};
        ::TrackMouseEvent(&track);
        button->Invalidate();
      }
      break;
    case WM_MOUSELEAVE:
      button->hover_ = false;
      button->Invalidate();
      break;
    case WM_ERASEBKGND: return 1;
    case WM_NCDESTROY: ::RemoveWindowSubclass(hwnd, &HoverButton::SubclassProc, kHoverSubclassId); break;
    default: break;
  }
  return ::DefSubclassProc(hwnd, msg, wp, lp);
}

void HoverButton::Draw(const DRAWITEMSTRUCT& item) const {
  const bool disabled = (item.itemState & ODS_DISABLED) != 0;
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  COLORREF back = kNavBack;
  if (current_) back = kNavCurrent;
  else if (!disabled && (hover_ || pressed)) back = kNavHover;
  FillSolid(item.hDC, item.rcItem, back);
  if (current_) {
    RECT bar = item.rcItem;
    bar.right = bar.left + 4;
    FillSolid(item.hDC, bar, RGB(0xff, 0xff, 0xff));
  }
  wchar_t text[128] = {};
  ::GetWindowTextW(item.hwndItem, text, 128);
  RECT r = item.rcItem;
  r.left += 22;
  ::SetBkMode(item.hDC, TRANSPARENT);
  ::SetTextColor(item.hDC, disabled ? kNavDisabledText : kNavText);
  ::DrawTextW(item.hDC, text, -1, &r, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_END_ELLIPSIS | DT_NOPREFIX);
  if (item.itemState & ODS_FOCUS) {
    RECT f = item.rcItem;
    ::InflateRect(&f, -3, -3);
    ::DrawFocusRect(item.hDC, &f);
  }
}

bool TrayIcon::Add(HWND owner, UINT callback, HICON icon, TextView tip) {
  if (present_) return true;
  data_ = NOTIFYICONDATAW{};
  data_.cbSize = NOTIFYICONDATAW_V2_SIZE;
  data_.hWnd = owner;
  data_.uID = 1;
  data_.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
  data_.uCallbackMessage = callback;
  data_.hIcon = icon;
  const std::wstring t = Wide(tip.substr(0, 127));
  wcsncpy(data_.szTip, t.c_str(), 127);
  present_ = ::Shell_NotifyIconW(NIM_ADD, &data_) != FALSE;
  return present_;
}

void TrayIcon::Remove() {
  if (present_) ::Shell_NotifyIconW(NIM_DELETE, &data_);
  present_ = false;
}

LRESULT CALLBACK SplashWindow::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg != WM_PAINT) return ::DefWindowProcW(hwnd, msg, wp, lp);
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(hwnd, &ps);
  RECT r{};
  ::GetClientRect(hwnd, &r);
  FillSolid(dc, r, kNavBack);
  RECT band = r;
  band.top = band.bottom - 6;
  FillSolid(dc, band, kNavCurrent);
  if (HICON icon = reinterpret_cast<HICON>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA)))
    ::DrawIconEx(dc, 28, (r.bottom - 48) / 2, icon, 48, 48, 0, nullptr, DI_NORMAL);
  RECT text = r;
  text.left = 92;
  DrawWindowTitle(hwnd, dc, text, 26, kNavText, DT_VCENTER);
  ::EndPaint(hwnd, &ps);
  return 0;
}

bool SplashWindow::Create(HINSTANCE instance, HICON icon, TextView title) {
  static const wchar_t kClass[] = L"HiveSweepSplash";
  RegisterWindowClass(instance, kClass, &SplashWindow::Proc);
  const int w = 360, h = 120;
  const int x = (::GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (::GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  hwnd_ = ::CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kClass, Wide(title).c_str(), WS_POPUP, x, y, w, h,
                            nullptr, nullptr, instance, nullptr);
  if (!hwnd_) return false;
  ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(icon));
  ::ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
  ::UpdateWindow(hwnd_);
  return true;
}

namespace {

struct AboutTexts {
  std::wstring caption, title, version;
};

INT_PTR CALLBACK AboutProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: {
      const auto* texts = reinterpret_cast<const AboutTexts*>(lp);
      ApplyDialogFont(dlg);
      ::SetWindowTextW(dlg, texts->caption.c_str());
      ::SetDlgItemTextW(dlg, IDC_ABOUT_TITLE, texts->title.c_str());
      ::SetDlgItemTextW(dlg, IDC_ABOUT_VERSION, texts->version.c_str());
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) ::EndDialog(dlg, LOWORD(wp));
      return TRUE;
    default: return FALSE;
  }
}

}  // namespace

void ShowAboutBox(HINSTANCE instance, HWND owner, TextView caption, TextView title, TextView version) {
  AboutTexts texts{Wide(caption), Wide(title), Wide(version)};
  ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ABOUT), owner, &AboutProc, reinterpret_cast<LPARAM>(&texts));
}

Text SystemMessageText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  Text text = n ? Text(buffer, buffer + n) : Text();
  if (buffer) ::LocalFree(buffer);
  while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' ')) text.pop_back();
  if (text.empty()) {
    wchar_t hex[16];
    swprintf(hex, 16, L"0x%08lX", static_cast<unsigned long>(code));
    text = FromWide(hex);
  }
  return text;
}

}  // namespace hs::ui
