#include "ui/problems_dialog.h"

#include <windowsx.h>

#include <algorithm>

#include "ui/screen_font.h"
#include "ui/ui_resources.h"

namespace hs::ui {

namespace {

void PumpMessages() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

}  // namespace

ProblemsDialog::ProblemsDialog(HINSTANCE instance, ProblemsViewEnv env)
    : instance_(instance), strings_(env.strings), model_([this, &env] {
        env.row_changed = [this](std::size_t row) { list_.SetChecked(static_cast<int>(row), model_.Ticked(row)); };
        env.row_removed = [this](std::size_t row) { list_.DeleteRow(static_cast<int>(row)); };
        env.pump = PumpMessages;
        return std::move(env);
      }()) {}

int ProblemsDialog::Run(HWND owner) {
  const INT_PTR r = ::DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_PROBLEMS), owner, &ProblemsDialog::Proc,
                                      reinterpret_cast<LPARAM>(this));
  return r > 0 ? static_cast<int>(r) : 0;
}

INT_PTR CALLBACK ProblemsDialog::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  try {
    if (msg == WM_INITDIALOG) {
      ::SetWindowLongPtrW(hwnd, DWLP_USER, lp);
      auto* self = reinterpret_cast<ProblemsDialog*>(lp);
      self->hwnd_ = hwnd;
      ApplyDialogFont(hwnd);
      self->OnInit();
      return TRUE;
    }
    auto* self = reinterpret_cast<ProblemsDialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    return self ? self->Handle(msg, wp, lp) : FALSE;
  } catch (...) {
    return FALSE;  // nothing leaves the dialog procedure
  }
}

void ProblemsDialog::OnInit() {
  ::SetWindowTextW(hwnd_, Wide(S(u"IDS_STR_REG_ERR_DETAILS")).c_str());
  list_.Attach(::GetDlgItem(hwnd_, IDC_PROBLEM_LIST));
  select_all_.Attach(::GetDlgItem(hwnd_, IDC_PROBLEM_SELECT_ALL));
  select_all_.SetText(S(u"IDS_SELECT_ALL"));
  ::SetDlgItemTextW(hwnd_, IDC_PROBLEM_EXPORT, Wide(S(u"IDS_BTN_EXPORT_LOG")).c_str());
  ::SetDlgItemTextW(hwnd_, IDCANCEL, Wide(S(u"IDS_BTN_CLOSE")).c_str());

  list_.SetExtendedStyle(pv::kListExStyle);
  list_.AddColumn(0, pv::kColumnHeader, pv::kColumnWidth);
  model_.Open();
  CProblemsView::FillScope fill(model_);
  list_.SetRedraw(false);
  for (std::size_t i = 0; i < model_.size(); ++i) {
    const int row = list_.AddRow(model_.RowText(i));
    if (row >= 0) list_.SetChecked(row, model_.Ticked(i));
  }
  list_.SetRedraw(true);
  if (model_.size() > 0) list_.Select(0);
  UpdateSelectAll();
}

void ProblemsDialog::UpdateSelectAll() {
  switch (model_.select_all()) {
    case SelectAllState::kChecked: select_all_.SetState(BST_CHECKED); break;
    case SelectAllState::kUnchecked: select_all_.SetState(BST_UNCHECKED); break;
    case SelectAllState::kIndeterminate: select_all_.SetState(BST_INDETERMINATE); break;
  }
}

INT_PTR ProblemsDialog::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case IDC_PROBLEM_SELECT_ALL:
          if (HIWORD(wp) == BN_CLICKED) {
            model_.OnSelectAllClicked();
            UpdateSelectAll();
          }
          return TRUE;
        case IDC_PROBLEM_EXPORT: model_.OnExportLog(); return TRUE;
        case IDCANCEL: TryClose(::GetKeyState(VK_ESCAPE) < 0); return TRUE;
        case IDOK: return TRUE;  // Enter does not close the list
        default: return FALSE;
      }
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lp);
      if (header->idFrom != IDC_PROBLEM_LIST) return FALSE;
      return OnNotify(*header, lp);
    }
    case WM_CONTEXTMENU:
      if (reinterpret_cast<HWND>(wp) == list_.hwnd()) {
        OnContextMenu(lp);
        return TRUE;
      }
      return FALSE;
    default: return FALSE;
  }
}

INT_PTR ProblemsDialog::OnNotify(const NMHDR& header, LPARAM lp) {
  switch (header.code) {
    case LVN_ITEMCHANGED: {
      const auto* change = reinterpret_cast<const NMLISTVIEW*>(lp);
      const bool box_changed = (change->uChanged & LVIF_STATE) != 0 &&
                               ((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK) != 0;
      if (!box_changed || model_.filling() || change->iItem < 0) return FALSE;
      const bool ticked = (change->uNewState & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
      model_.OnRowChecked(static_cast<std::size_t>(change->iItem), ticked);
      UpdateSelectAll();
      return FALSE;
    }
    case LVN_GETINFOTIPW: {
      auto* tip = reinterpret_cast<NMLVGETINFOTIPW*>(lp);
      if (tip->iItem < 0 || !tip->pszText || tip->cchTextMax <= 0) return FALSE;
      const std::wstring text = Wide(model_.RowTip(static_cast<std::size_t>(tip->iItem)));
      const std::size_t n = std::min(text.size(), static_cast<std::size_t>(tip->cchTextMax - 1));
      std::copy_n(text.begin(), n, tip->pszText);
      tip->pszText[n] = L'\0';
      return FALSE;
    }
    default: return FALSE;
  }
}

void ProblemsDialog::OnContextMenu(LPARAM lp) {
  POINT at{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
  int row = -1;
  if (at.x == -1 && at.y == -1) {  // from the keyboard: the selected row
    row = list_.Selected();
    RECT r{};
    if (row < 0 || !ListView_GetItemRect(list_.hwnd(), row, &r, LVIR_LABEL)) return;
    at = {r.left, r.bottom};
    ::ClientToScreen(list_.hwnd(), &at);
  } else {
    row = list_.RowAt(at);
  }
  if (row < 0) return;
  list_.Select(row);
  const std::vector<MenuItem> items = model_.ContextMenu(static_cast<std::size_t>(row));
  if (items.empty()) return;
  HMENU menu = ::CreatePopupMenu();
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i == 1 || i == 4 || i == 6) ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(items[i].command), Wide(items[i].text).c_str());
  }
  const int command = static_cast<int>(
      ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, hwnd_, nullptr));
  ::DestroyMenu(menu);
  if (command == 0) return;
  model_.OnMenuCommand(static_cast<std::size_t>(row), command);
  UpdateSelectAll();
  if (model_.close_requested()) TryClose(false);
}

void ProblemsDialog::TryClose(bool escape_down) {
  const std::optional<int> next = model_.Close(escape_down);
  if (next) ::EndDialog(hwnd_, *next);
}

}  // namespace hs::ui
