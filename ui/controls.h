// Thin classes over the window's controls: each holds one HWND and wraps
// the system's calls in one-liners. No framework; the owner routes messages.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "platform/text.h"

namespace hs::ui {

inline std::wstring Wide(TextView t) { return std::wstring(t.begin(), t.end()); }
inline Text FromWide(const wchar_t* s) { return s ? Text(s, s + wcslen(s)) : Text(); }

// Any window: show, enable, text, position.
class Control {
 public:
  HWND hwnd() const { return hwnd_; }
  void Attach(HWND hwnd) { hwnd_ = hwnd; }
  explicit operator bool() const { return hwnd_ != nullptr; }
  void Show(bool shown) const { ::ShowWindow(hwnd_, shown ? SW_SHOW : SW_HIDE); }
  bool Visible() const { return ::IsWindowVisible(hwnd_) != FALSE; }
  void Enable(bool enabled) const { ::EnableWindow(hwnd_, enabled ? TRUE : FALSE); }
  bool Enabled() const { return ::IsWindowEnabled(hwnd_) != FALSE; }
  void SetText(TextView text) const { ::SetWindowTextW(hwnd_, Wide(text).c_str()); }
  void Move(const RECT& r) const { ::MoveWindow(hwnd_, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE); }
  void Invalidate() const { ::InvalidateRect(hwnd_, nullptr, TRUE); }
  void SetFont(HFONT font) const { ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE); }
  RECT ClientRect() const {
    RECT r{};
    ::GetClientRect(hwnd_, &r);
    return r;
  }
  void Destroy() {
    if (hwnd_) ::DestroyWindow(hwnd_);
    hwnd_ = nullptr;
  }

 protected:
  HWND hwnd_ = nullptr;
};

// A report-view list control.
class ListView : public Control {
 public:
  // A single-selection report list with full-row selection (ui/screen_controls.cpp).
  bool Create(HWND parent, int id, const RECT& r, HFONT font, DWORD style = 0);
  void SetColumnHeader(int index, TextView header) const;
  // Replaces the rows: one text per column each.
  void SetRows(const std::vector<std::vector<Text>>& rows) const;
  void SetExtendedStyle(DWORD style) const { ListView_SetExtendedListViewStyle(hwnd_, style); }
  void AddColumn(int index, TextView header, int width) const;
  // Appends a row with the text of column 0; its index, or -1.
  int AddRow(TextView text) const;
  void SetCell(int row, int column, TextView text) const;
  Text Cell(int row, int column) const;
  void DeleteRow(int row) const { ListView_DeleteItem(hwnd_, row); }
  void Clear() const { ListView_DeleteAllItems(hwnd_); }
  int Count() const { return ListView_GetItemCount(hwnd_); }
  bool Checked(int row) const { return ListView_GetCheckState(hwnd_, row) != FALSE; }
  void SetChecked(int row, bool on) const { ListView_SetCheckState(hwnd_, row, on ? TRUE : FALSE); }
  // The first selected row, or -1.
  int Selected() const { return ListView_GetNextItem(hwnd_, -1, LVNI_SELECTED); }
  // -1 clears the selection.
  void Select(int row) const;
  // The row under a point in screen coordinates, or -1.
  int RowAt(POINT screen) const;
  void SetRedraw(bool on) const { ::SendMessageW(hwnd_, WM_SETREDRAW, on ? TRUE : FALSE, 0); }
};

// A check box; BS_3STATE boxes also show BST_INDETERMINATE.
class CheckBox : public Control {
 public:
  void SetState(int state) const { ::SendMessageW(hwnd_, BM_SETCHECK, static_cast<WPARAM>(state), 0); }
  int State() const { return static_cast<int>(::SendMessageW(hwnd_, BM_GETCHECK, 0, 0)); }
  bool Checked() const { return State() == BST_CHECKED; }
};

// An owner-drawn push button that lights up under the mouse and can be
// marked as the current one. The parent forwards WM_DRAWITEM to Draw.
class HoverButton : public Control {
 public:
  bool Create(HWND parent, int id, TextView text, const RECT& r, HFONT font);
  void SetCurrent(bool current) {
    current_ = current;
    Invalidate();
  }
  bool hover() const { return hover_; }
  void Draw(const DRAWITEMSTRUCT& item) const;

 private:
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR self);
  bool hover_ = false;
  bool current_ = false;
};

// The notification-area icon.
class TrayIcon {
 public:
  // `callback` arrives at `owner` for mouse actions on the icon.
  bool Add(HWND owner, UINT callback, HICON icon, TextView tip);
  void Remove();
  bool present() const { return present_; }

 private:
  NOTIFYICONDATAW data_{};
  bool present_ = false;
};

// A borderless window with the program's icon and title, centred, shown
// while start-up runs.
class SplashWindow : public Control {
 public:
  bool Create(HINSTANCE instance, HICON icon, TextView title);

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
};

// Registers a window class with an arrow cursor; registering it again fails
// harmlessly.
void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc);

// Draws a window's own text in the semibold screen font of its language,
// `height` pixels in English.
void DrawWindowTitle(HWND hwnd, HDC dc, RECT r, int height, COLORREF colour, UINT format);
void FillSolid(HDC dc, const RECT& r, COLORREF colour);

// The About box (IDD_ABOUT), modal over `owner`.
void ShowAboutBox(HINSTANCE instance, HWND owner, TextView caption, TextView title, TextView version);

// The system's text of an error code or HRESULT, without the trailing line break.
Text SystemMessageText(DWORD code);

}  // namespace hs::ui
