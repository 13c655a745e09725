// The main window of HiveSweep.exe: a fixed-size, centred dialog with the
// navigation buttons on the left and one HTML page per screen on the right,
// the system menu's About item, the notification-area icon and a splash
// window. It implements the model's window port (app/screen_ports.h) and
// forwards commands, timers, page clicks and the workers' messages to the
// model (CHVXDlg).
//
// User-interface thread only. The dialog procedure lets no exception out.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <memory>

#include "app/app_scan_driver.h"
#include "app/main_dialog.h"
#include "ui/browser_page.h"
#include "ui/controls.h"
#include "ui/native_screens.h"
#include "ui/page_table.h"
#include "ui/result_popup_window.h"
#include "ui/update_thread.h"
#include "platform/win32/win32_clipboard.h"
#include "platform/win32/win32_key_viewer.h"
#include "platform/win32/win32_shell_open.h"

namespace hs::ui {

// The notification-area icon's callback message.
inline constexpr UINT kMsgTrayIcon = WM_APP + 1;
// Asks the first instance to offer a scheduled scan (sent by a second one).
inline constexpr UINT kMsgOfferScheduledScanWindow = WM_APP + 0x97;
// The window's own timer: the home page has not loaded in time (no HTML
// engine), so the start-up goes on without it.
inline constexpr UINT_PTR kTimerHomeLoadWatch = 150;
inline constexpr UINT kHomeLoadWatchMs = 4000;
// The results page's "detailed view" click, as a window command: it lets
// the list be opened where no HTML engine shows the page.
inline constexpr int kCmdDetailedView = 1190;
// The native screens' numbers: backup (command 214) and settings (256).
inline constexpr int kScreenBackup = 110;
inline constexpr int kScreenSettings = 113;
// A message for a native screen (PostToScreen): wParam the screen's
// command, lParam the message.
inline constexpr UINT kMsgToScreen = WM_APP + 3;

class MainWindow final : public MainWindowView {
 public:
  MainWindow(HINSTANCE instance, CHVXApp& app, AppScanDriver& driver, DialogMode mode);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Creates the hidden dialog, its buttons and pages (the splash first when
  // asked). False when no window could be made.
  bool Create(bool splash);
  // The model, made once the pages exist; commands and timers before it
  // are dropped.
  void SetDialog(CHVXDlg* dialog) { dialog_ = dialog; }
  HWND hwnd() const { return hwnd_; }
  // Called when the pop-up of an unattended run is clicked: someone is there
  // to answer messages from now on.
  std::function<void()> user_present;
  bool splash_shown() const { return static_cast<bool>(splash_); }
  PageHost& Page(int page);
  // Runs the message loop until Quit; returns its exit code.
  int RunMessageLoop();

  // MainWindowView
  void Show() override;
  void Hide() override;
  void Minimise() override;
  void ShowTrayIcon(bool present) override;
  void SetTimer(int id, std::uint32_t ms) override;
  void KillTimer(int id) override;
  void EnableNavigation(bool enabled) override;
  void ShowScreen(int child) override;
  void PostCommand(int id) override;
  void ShowProblemList() override;
  void ShowScanAreaSettings() override;
  void ShowLoadingPage(bool shown) override;
  void PostToScreen(int screen_command, int id) override;
  void HideSplash() override { splash_.Destroy(); }
  [[nodiscard]] bool ShowPopup(const PopupContent& content) override;
  void EnterInteractive() override { mode_ = DialogMode::kInteractive; }
  void StartUpdateCheck() override;
  void ShowCompactionResult() override;
  void Quit() override;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  INT_PTR Handle(UINT msg, WPARAM wp, LPARAM lp);
  void OnInit();
  bool OnCommand(int id);
  void OnTimer(UINT_PTR id);
  void OnPageLoaded(int page, bool ok);
  void OnScanEnded();
  void OnRepairEnded(bool completed);
  void ShowAbout();
  void ShowHelpMenu();
  // A language of the help menu's list: the language change, from the menu.
  void ChooseLanguage(int index);
  bool CheckForUpdates(const UpdateFlags& flags);
  void OnPopupClick(PopupAction action);
  void OnPopupClosed();
  void AnimateToTray();
  void ShowBackupScreen();
  void ShowSettingsScreen(int page);
  void OnScreenMessage(int screen_command, int id);
  // Ends the process at once (an elevated or new-language copy takes over).
  void EndProcessNow();
  Text Str(TextView key) { return app_.strings().LookupString(key); }
  void Log(TextView line) { app_.log().LogLine(line); }

  HINSTANCE instance_;
  CHVXApp& app_;
  AppScanDriver& driver_;
  DialogMode mode_;
  CHVXDlg* dialog_ = nullptr;
  HWND hwnd_ = nullptr;
  HICON icon_large_ = nullptr;
  HICON icon_small_ = nullptr;
  HFONT font_ = nullptr;
  HBRUSH background_ = nullptr;
  SplashWindow splash_;
  TrayIcon tray_;
  std::array<HoverButton, kNavButtons.size()> nav_;
  std::vector<std::unique_ptr<BrowserPage>> pages_;
  BrowserPage missing_page_{0, {}};  // answers for a page that was never made
  Win32Clipboard clipboard_;
  Win32ShellOpen shell_open_;
  Win32KeyViewer key_viewer_;
  std::unique_ptr<UpdateThread> update_;
  std::unique_ptr<BackupScreen> backup_;
  std::unique_ptr<SettingsScreen> settings_;
  ResultPopupWindow popup_;
  // The update pop-up was clicked: its check runs, the process waits for it.
  bool update_after_popup_ = false;
  bool home_loaded_ = false;
  int exit_code_ = 0;
};

}  // namespace hs::ui
