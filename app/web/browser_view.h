// The main window for pages shown in a desktop browser: screens switch the
// page the bridge tells the browser to show; timers and posted commands run
// on the model loop. Window chrome (show, hide, tray, splash) has no
// counterpart in a browser tab and is only logged.
#pragma once

#include <functional>

#include "app/main_dialog.h"
#include "app/web/model_loop.h"
#include "app/web/page_bridge.h"

namespace hs {

class BrowserView final : public MainWindowView {
 public:
  // `quit` ends the host (called on the model loop).
  BrowserView(ModelLoop& loop, PageBridge& bridge, Log& log, std::function<void()> quit)
      : loop_(loop), bridge_(bridge), log_(log), quit_(std::move(quit)) {}
  // The model this view reports to; set before the loop runs.
  void Attach(CHVXDlg* dlg) { dlg_ = dlg; }
  void SetOpenDetails(std::function<void()> open_details) { open_details_ = std::move(open_details); }

  void Show() override { log_.LogLine(u"Browser window: show"); }
  void Hide() override { log_.LogLine(u"Browser window: hide"); }
  void Minimise() override { log_.LogLine(u"Browser window: minimise"); }
  void ShowTrayIcon(bool) override {}
  void SetTimer(int id, std::uint32_t ms) override;
  void KillTimer(int id) override { loop_.KillTimer(id); }
  void EnableNavigation(bool enabled) override { bridge_.SetNavigationEnabled(enabled); }
  void ShowScreen(int child) override;
  void PostCommand(int id) override;
  // The detailed list is a page of its own (details.html), opened by
  // `open_details`; without that the list shows in the results page,
  // filled while the list-loading page covers it.
  void ShowProblemList() override;
  void ShowScanAreaSettings() override { log_.LogLine(u"Browser window: no settings screen"); }
  void ShowLoadingPage(bool shown) override;
  void PostToScreen(int, int) override {}
  void HideSplash() override {}
  bool ShowPopup(const PopupContent&) override {
    log_.LogLine(u"Browser window: no pop-up");
    return false;
  }
  void EnterInteractive() override {}
  void StartUpdateCheck() override {}
  void ShowCompactionResult() override {}
  void Quit() override { quit_(); }

 private:
  ModelLoop& loop_;
  PageBridge& bridge_;
  Log& log_;
  std::function<void()> quit_;
  CHVXDlg* dlg_ = nullptr;
  std::function<void()> open_details_;
};

}  // namespace hs
