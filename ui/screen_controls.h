// Thin classes over the standard controls of the native screens (backup,
// settings): each holds one HWND and wraps the system's calls in
// one-liners. The owner routes their notifications.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "ui/controls.h"

namespace hs::ui {

// Makes a child control of `cls` with `style` (WS_CHILD | WS_VISIBLE added)
// and the font; null when the system refused.
HWND MakeChild(HWND parent, const wchar_t* cls, TextView text, DWORD style, const RECT& r, int id, HFONT font,
               DWORD ex_style = 0);

// A push button, check box, radio button or group box.
class Button : public Control {
 public:
  bool Create(HWND parent, int id, TextView text, const RECT& r, HFONT font, DWORD style = BS_PUSHBUTTON) {
    hwnd_ = MakeChild(parent, WC_BUTTONW, text, style | WS_TABSTOP, r, id, font);
    return hwnd_ != nullptr;
  }
  bool Checked() const { return ::SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED; }
  void SetCheck(bool on) const { ::SendMessageW(hwnd_, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0); }
  // BST_UNCHECKED, BST_CHECKED or BST_INDETERMINATE (a three-state box).
  void SetCheckState(WPARAM state) const { ::SendMessageW(hwnd_, BM_SETCHECK, state, 0); }
};

class GroupBox : public Control {
 public:
  bool Create(HWND parent, TextView text, const RECT& r, HFONT font) {
    hwnd_ = MakeChild(parent, WC_BUTTONW, text, BS_GROUPBOX, r, -1, font);
    return hwnd_ != nullptr;
  }
};

// Static text; wraps at its width unless `style` says otherwise.
class Label : public Control {
 public:
  bool Create(HWND parent, TextView text, const RECT& r, HFONT font, DWORD style = SS_LEFT, int id = -1) {
    hwnd_ = MakeChild(parent, WC_STATICW, text, style | SS_NOPREFIX, r, id, font);
    return hwnd_ != nullptr;
  }
};

class Edit : public Control {
 public:
  bool Create(HWND parent, int id, const RECT& r, HFONT font, DWORD style = ES_AUTOHSCROLL) {
    hwnd_ = MakeChild(parent, WC_EDITW, u"", style | WS_TABSTOP, r, id, font, WS_EX_CLIENTEDGE);
    return hwnd_ != nullptr;
  }
  Text GetText() const;
};

// A drop-down list (no typing).
class ComboBox : public Control {
 public:
  bool Create(HWND parent, int id, const RECT& r, HFONT font) {
    hwnd_ = MakeChild(parent, WC_COMBOBOXW, u"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, r, id, font);
    return hwnd_ != nullptr;
  }
  void SetItems(const std::vector<Text>& items) const;
  int Selected() const { return static_cast<int>(::SendMessageW(hwnd_, CB_GETCURSEL, 0, 0)); }
  void Select(int index) const { ::SendMessageW(hwnd_, CB_SETCURSEL, static_cast<WPARAM>(index), 0); }
};

// A date or time picker (DTS_TIMEFORMAT for the time).
class DateTimePicker : public Control {
 public:
  bool Create(HWND parent, int id, const RECT& r, HFONT font, DWORD style) {
    hwnd_ = MakeChild(parent, DATETIMEPICK_CLASSW, u"", style | WS_TABSTOP, r, id, font);
    return hwnd_ != nullptr;
  }
  SYSTEMTIME Get() const;
  void Set(const SYSTEMTIME& t) const { ::SendMessageW(hwnd_, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&t)); }
};

}  // namespace hs::ui
