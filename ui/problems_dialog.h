// The detailed problem list's window: a modal dialog (IDD_PROBLEMS) that
// draws CProblemsView (app/problems_view.h) in a check-box list and passes
// the user's clicks, context-menu choices and Close on to it.
//
// User-interface thread only; the dialog procedure lets no exception out.
#pragma once

#include <windows.h>

#include "app/problems_view.h"
#include "ui/controls.h"

namespace hs::ui {

class ProblemsDialog {
 public:
  // The view's callbacks are the dialog's own; those of `env` are replaced,
  // except exclusions_changed and export_log.
  ProblemsDialog(HINSTANCE instance, ProblemsViewEnv env);
  ProblemsDialog(const ProblemsDialog&) = delete;
  ProblemsDialog& operator=(const ProblemsDialog&) = delete;

  // Shows the list modally over `owner`. The main window's next command
  // (242 or 1134), or 0 when the dialog could not be shown.
  int Run(HWND owner);

 private:
  static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  INT_PTR Handle(UINT msg, WPARAM wp, LPARAM lp);
  void OnInit();
  INT_PTR OnNotify(const NMHDR& header, LPARAM lp);
  void OnContextMenu(LPARAM lp);
  void UpdateSelectAll();
  void TryClose(bool escape_down);
  Text S(TextView key) const { return strings_(key); }

  HINSTANCE instance_;
  StringLookup strings_;
  CProblemsView model_;
  HWND hwnd_ = nullptr;
  ListView list_;
  CheckBox select_all_;
};

}  // namespace hs::ui
