#include "ui/result_popup_window.h"

#include <memory>
#include <optional>

#include "ui/controls.h"
#include "ui/screen_font.h"

namespace hs::ui {

namespace {

constexpr int kWidth = 330;
constexpr int kStripHeight = 28;
constexpr int kLineHeight = 20;
constexpr int kMargin = 12;
constexpr int kCloseBox = 18;
constexpr int kScreenGap = 8;
constexpr BYTE kOpacity = 240;
constexpr COLORREF kStrip = RGB(0x1d, 0x2b, 0x33);
constexpr COLORREF kStripText = RGB(0xff, 0xff, 0xff);
constexpr COLORREF kBody = RGB(0xf4, 0xf7, 0xf7);
constexpr COLORREF kBodyText = RGB(0x1d, 0x2b, 0x33);
constexpr COLORREF kLinkText = RGB(0x1f, 0x6f, 0xc4);
constexpr COLORREF kBorder = RGB(0x1f, 0x8a, 0x7a);

}  // namespace

struct ResultPopupWindow::State {
  State(PopupContent content, Log& log, std::function<void()> save) : model(std::move(content), log, std::move(save)) {}
  ~State() {
    for (HFONT f : {title_font, text_font, link_font})
      if (f) ::DeleteObject(f);
  }
  ResultPopup model;
  HWND owner = nullptr;
  const Language* language = nullptr;  // the owner's
  std::wstring title;
  std::optional<PopupAction> clicked;
  HFONT title_font = nullptr, text_font = nullptr, link_font = nullptr;

  RECT CloseBox(HWND hwnd) const {
    RECT r{};
    ::GetClientRect(hwnd, &r);
    const int top = (kStripHeight - kCloseBox) / 2;
    return RECT{r.right - top - kCloseBox, top, r.right - top, top + kCloseBox};
  }
  RECT LinkArea(HWND hwnd) const {
    RECT r{};
    ::GetClientRect(hwnd, &r);
    r.top = kStripHeight;
    return r;
  }
};

bool ResultPopupWindow::Open(HINSTANCE instance, HWND owner, TextView title, PopupContent content, Log& log,
                             std::function<void()> save_results) {
  if (open_.load()) return false;
  Join();
  auto state = std::make_unique<State>(std::move(content), log, std::move(save_results));
  state->owner = owner;
  state->language = &WindowLanguage(owner);
  state->title = Wide(title);
  open_ = true;
  try {
    State* raw = state.release();
    thread_ = std::thread([this, instance, raw] { Run(instance, raw); });
  } catch (...) {
    open_ = false;
    return false;
  }
  return true;
}

void ResultPopupWindow::Run(HINSTANCE instance, State* raw) {
  std::unique_ptr<State> state(raw);
  try {
    RegisterWindowClass(instance, kPopupWindowClass, &ResultPopupWindow::Proc);
    state->title_font = CreateScreenFont(*state->language, 15, FW_SEMIBOLD);
    state->text_font = CreateScreenFont(*state->language, 15, FW_NORMAL);
    state->link_font = CreateScreenFont(*state->language, 15, FW_NORMAL, true);
    const PopupContent& c = state->model.content();
    // The lines at the top, the link below them; the probe reads them all
    // from the window text.
    std::wstring text;
    for (const Text& line : c.lines) text += (text.empty() ? L"" : L" ") + Wide(line);
    if (!c.link.empty()) text += L" " + Wide(c.link);
    const int rows = static_cast<int>(c.lines.size()) + (c.link.empty() ? 0 : 1);
    const int height = kStripHeight + kMargin + rows * kLineHeight + (c.link.empty() ? 0 : 6) + kMargin;
    // Above the notification area: the work area's bottom-right corner.
    RECT work{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int x = work.right - kWidth - kScreenGap, y = work.bottom - height - kScreenGap;
    HWND hwnd = ::CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kPopupWindowClass, text.c_str(),
                                  WS_POPUP, x, y, kWidth, height, nullptr, nullptr, instance, state.get());
    if (!hwnd) {
      // Nothing shows: the owner hears of the close all the same.
      (void)state->model.Close();
      ::PostMessageW(state->owner, kMsgPopupClosed, 0, 0);
      open_ = false;
      return;
    }
    hwnd_ = hwnd;
    ::SetLayeredWindowAttributes(hwnd, 0, kOpacity, LWA_ALPHA);
    ::ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    ::UpdateWindow(hwnd);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  } catch (...) {
    // Nothing leaves the thread; a pop-up cut short still counts as closed.
    if (!state->model.closed()) {
      (void)state->model.Close();
      ::PostMessageW(state->owner, kMsgPopupClosed, 0, 0);
    }
  }
  hwnd_ = nullptr;
  open_ = false;
}

LRESULT CALLBACK ResultPopupWindow::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  try {
    if (msg == WM_NCCREATE) {
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
      return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
    auto* s = reinterpret_cast<State*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!s) return ::DefWindowProcW(hwnd, msg, wp, lp);
    switch (msg) {
      case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd, &ps);
        RECT r{};
        ::GetClientRect(hwnd, &r);
        FillSolid(dc, r, kBorder);
        RECT body{1, 1, r.right - 1, r.bottom - 1};
        FillSolid(dc, body, kBody);
        FillSolid(dc, RECT{1, 1, r.right - 1, kStripHeight}, kStrip);
        ::SetBkMode(dc, TRANSPARENT);
        HGDIOBJ old = ::SelectObject(dc, s->title_font);
        ::SetTextColor(dc, kStripText);
        RECT title{kMargin, 0, r.right - kCloseBox - 2 * kMargin, kStripHeight};
        ::DrawTextW(dc, s->title.c_str(), -1, &title, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
        // The close box: a cross.
        const RECT box = s->CloseBox(hwnd);
        HPEN pen = ::CreatePen(PS_SOLID, 2, kStripText);
        HGDIOBJ old_pen = ::SelectObject(dc, pen);
        ::MoveToEx(dc, box.left + 4, box.top + 4, nullptr);
        ::LineTo(dc, box.right - 4, box.bottom - 4);
        ::MoveToEx(dc, box.right - 4, box.top + 4, nullptr);
        ::LineTo(dc, box.left + 4, box.bottom - 4);
        ::SelectObject(dc, old_pen);
        ::DeleteObject(pen);
        const PopupContent& c = s->model.content();
        int top = kStripHeight + kMargin;
        ::SelectObject(dc, s->text_font);
        // A message without a link line is the link itself.
        ::SetTextColor(dc, c.link.empty() ? kLinkText : kBodyText);
        if (c.link.empty()) ::SelectObject(dc, s->link_font);
        for (const Text& line : c.lines) {
          RECT lr{kMargin, top, r.right - kMargin, top + kLineHeight};
          ::DrawTextW(dc, Wide(line).c_str(), -1, &lr, DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
          top += kLineHeight;
        }
        if (!c.link.empty()) {
          ::SelectObject(dc, s->link_font);
          ::SetTextColor(dc, kLinkText);
          RECT lr{kMargin, top + 6, r.right - kMargin, top + 6 + kLineHeight};
          ::DrawTextW(dc, Wide(c.link).c_str(), -1, &lr, DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
        }
        ::SelectObject(dc, old);
        ::EndPaint(hwnd, &ps);
        return 0;
      }
      case WM_SETCURSOR: {
        POINT p{};
        ::GetCursorPos(&p);
        ::ScreenToClient(hwnd, &p);
        const RECT link = s->LinkArea(hwnd);
        const RECT box = s->CloseBox(hwnd);
        if (::PtInRect(&link, p) || ::PtInRect(&box, p)) {
          ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
          return TRUE;
        }
        break;
      }
      case WM_LBUTTONUP: {
        const POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        const RECT box = s->CloseBox(hwnd);
        const RECT link = s->LinkArea(hwnd);
        if (::PtInRect(&box, p)) {
          ::DestroyWindow(hwnd);
        } else if (::PtInRect(&link, p)) {
          // The click has done its work: the pop-up goes too.
          s->clicked = s->model.OnClick();
          if (s->clicked) ::DestroyWindow(hwnd);
        }
        return 0;
      }
      case WM_CLOSE: ::DestroyWindow(hwnd); return 0;
      case WM_DESTROY:
        // Saved before the owner hears of the click, so it never meets the
        // results while they are written.
        (void)s->model.Close();
        if (s->clicked) ::PostMessageW(s->owner, kMsgPopupClick, static_cast<WPARAM>(*s->clicked), 0);
        ::PostMessageW(s->owner, kMsgPopupClosed, 0, 0);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        ::PostQuitMessage(0);  // ends only this thread's loop
        return 0;
      default: break;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
  } catch (...) {
    return 0;  // nothing leaves the window procedure
  }
}

void ResultPopupWindow::Close() {
  // Until its window exists a close would go unheard: asked again meanwhile.
  while (open_.load() && thread_.joinable()) {
    if (HWND hwnd = hwnd_.load()) ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
    ::Sleep(20);
  }
  Join();
}

void ResultPopupWindow::Join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

}  // namespace hs::ui
