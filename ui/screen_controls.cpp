#include "ui/screen_controls.h"

namespace hs::ui {

HWND MakeChild(HWND parent, const wchar_t* cls, TextView text, DWORD style, const RECT& r, int id, HFONT font,
               DWORD ex_style) {
  HWND w = ::CreateWindowExW(ex_style, cls, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                             r.right - r.left, r.bottom - r.top, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
  if (w && font) ::SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return w;
}

Text Edit::GetText() const {
  std::wstring buffer(static_cast<std::size_t>(::GetWindowTextLengthW(hwnd_)) + 1, L'\0');
  const int n = ::GetWindowTextW(hwnd_, buffer.data(), static_cast<int>(buffer.size()));
  return Text(buffer.begin(), buffer.begin() + (n > 0 ? n : 0));
}

void ComboBox::SetItems(const std::vector<Text>& items) const {
  ::SendMessageW(hwnd_, CB_RESETCONTENT, 0, 0);
  for (const Text& item : items)
    ::SendMessageW(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
}

bool ListView::Create(HWND parent, int id, const RECT& r, HFONT font, DWORD style) {
  hwnd_ = MakeChild(parent, WC_LISTVIEWW, u"", style | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP, r, id,
                    font, WS_EX_CLIENTEDGE);
  if (hwnd_) ListView_SetExtendedListViewStyle(hwnd_, LVS_EX_FULLROWSELECT);
  return hwnd_ != nullptr;
}

void ListView::SetColumnHeader(int index, TextView header) const {
  std::wstring text = Wide(header);
  LVCOLUMNW c{};
  c.mask = LVCF_TEXT;
  c.pszText = text.data();
  ::SendMessageW(hwnd_, LVM_SETCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&c));
}

void ListView::SetRows(const std::vector<std::vector<Text>>& rows) const {
  ::SendMessageW(hwnd_, LVM_DELETEALLITEMS, 0, 0);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    for (std::size_t col = 0; col < rows[i].size(); ++col) {
      std::wstring text = Wide(rows[i][col]);
      LVITEMW item{};
      item.mask = LVIF_TEXT;
      item.iItem = static_cast<int>(i);
      item.iSubItem = static_cast<int>(col);
      item.pszText = text.data();
      ::SendMessageW(hwnd_, col == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, col == 0 ? 0 : i,
                     reinterpret_cast<LPARAM>(&item));
    }
  }
}

SYSTEMTIME DateTimePicker::Get() const {
  SYSTEMTIME t{};
  if (::SendMessageW(hwnd_, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&t)) != GDT_VALID) ::GetLocalTime(&t);
  return t;
}

}  // namespace hs::ui
