// Ports of the main window's model (app/main_dialog.h): the browser pages it
// calls scripts on, the window it drives, and the scan and repair worker.
// Called on the user-interface thread; no member throws.
#pragma once

#include <cstdint>
#include <vector>

#include "app/result_popup.h"
#include "platform/text.h"

namespace hs {

// One HTML page hosted in the browser control.
class PageHost {
 public:
  virtual ~PageHost() = default;
  // Calls a script function of the loaded page with text arguments. False
  // when the call failed; LastError then says why.
  [[nodiscard]] virtual bool CallScript(TextView function, const std::vector<Text>& args) = 0;
  virtual Text LastError() const = 0;
};

// The fixed-size main window.
class MainWindowView {
 public:
  virtual ~MainWindowView() = default;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual void Minimise() = 0;
  virtual void ShowTrayIcon(bool present) = 0;
  // A window timer; its expiries come back through CHVXDlg::OnTimer until
  // it is killed.
  virtual void SetTimer(int id, std::uint32_t ms) = 0;
  virtual void KillTimer(int id) = 0;
  // The navigation buttons (home, scan, optimise, backup, settings).
  virtual void EnableNavigation(bool enabled) = 0;
  // Brings the child screen with this number (105-111) to the front.
  virtual void ShowScreen(int child) = 0;
  // Posts a command to the window; it arrives through CHVXDlg::OnCommand.
  virtual void PostCommand(int id) = 0;
  // Opens the detailed problem list.
  virtual void ShowProblemList() = 0;
  // Opens the settings dialog on its scan-areas page.
  virtual void ShowScanAreaSettings() = 0;
  // Shows or closes the list-loading page over the results.
  virtual void ShowLoadingPage(bool shown) = 0;
  // Posts `id` to the native screen that `screen_command` shows (214 backup,
  // 256 settings).
  virtual void PostToScreen(int screen_command, int id) = 0;
  virtual void HideSplash() = 0;
  // The pop-up of an unattended run (scheduled scan's result, the default
  // task's reminder), on its own thread; false when it could not be shown.
  // Its click and its close come back through CHVXDlg::OnPopupClick and
  // OnPopupClosed.
  [[nodiscard]] virtual bool ShowPopup(const PopupContent& content) = 0;
  // An unattended run becomes an ordinary one (its pop-up was clicked): the
  // window may show from now on.
  virtual void EnterInteractive() = 0;
  // Start-up steps owned elsewhere: the automatic update check, the
  // compaction result.
  virtual void StartUpdateCheck() = 0;
  virtual void ShowCompactionResult() = 0;
  // Ends the message loop; the process exits.
  virtual void Quit() = 0;
};

// The scan and repair worker. Its completion arrives through
// CHVXDlg::OnScanEnded (scan) and command 1184 (repair).
class ScanDriver {
 public:
  virtual ~ScanDriver() = default;
  // Starts a scan of the areas of `mask`; `area_count` sizes the progress.
  // False when it could not start.
  [[nodiscard]] virtual bool Start(std::uint32_t mask, int area_count) = 0;
  virtual void Stop() = 0;
  virtual bool IsRunning() const = 0;
  // Problems the current results hold, and those ticked for repair.
  virtual int ProblemCount() const = 0;
  virtual int SelectedCount() const = 0;
  // Problems of each scan area, in scan-area order (kAreaCount entries).
  virtual std::vector<int> AreaProblemCounts() const = 0;
  // Row `index` of area `area`: the problem's displayed key or entry and its
  // reason. False past the area's last problem.
  virtual bool ResultRow(int area, int index, Text* entry, Text* reason) const = 0;
  // Starts repairing the ticked problems; false when it could not start.
  [[nodiscard]] virtual bool StartRepair() = 0;
};

}  // namespace hs
