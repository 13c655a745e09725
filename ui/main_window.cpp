#include "ui/main_window.h"

#include <commctrl.h>

#include "app/defrag_flow.h"
#include "app/repair.h"
#include "app/scheduling.h"
#include "engine/scan_manager.h"
#include "engine/scan_log.h"
#include "platform/win32/win32_hives.h"
#include "platform/win32/win32_xml_writer.h"
#include "ui/problems_dialog.h"
#include "ui/screen_font.h"
#include "ui/ui_resources.h"
#include "hs_build_info.h"

namespace hs::ui {

namespace {

constexpr int kNavWidth = 220;
constexpr int kNavTop = 96;
constexpr int kNavButtonHeight = 46;
constexpr COLORREF kNavBack = RGB(0x1d, 0x2b, 0x33);
constexpr COLORREF kTitleText = RGB(0xff, 0xff, 0xff);
constexpr int kCmdAbout = 208;
constexpr int kCmdAboutToo = 103;
constexpr int kCmdCheckForUpdates = 104;
// The help menu's language list: command kCmdLanguage0 + the table's index.
constexpr int kCmdLanguage0 = 475;

std::wstring ProgramPath() {
  std::wstring path(32768, L'\0');
  const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(n);
  return path;
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, CHVXApp& app, AppScanDriver& driver, DialogMode mode)
    : instance_(instance), app_(app), driver_(driver), mode_(mode), key_viewer_(app.environment().wow64) {}

MainWindow::~MainWindow() {
  popup_.Close();
  tray_.Remove();
  pages_.clear();
  splash_.Destroy();
  if (hwnd_) ::DestroyWindow(hwnd_);
  if (font_) ::DeleteObject(font_);
  if (background_) ::DeleteObject(background_);
  if (icon_large_) ::DestroyIcon(icon_large_);
  if (icon_small_) ::DestroyIcon(icon_small_);
}

bool MainWindow::Create(bool splash) {
  icon_large_ = static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(IDI_HIVESWEEP), IMAGE_ICON,
                                                ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), 0));
  icon_small_ = static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(IDI_HIVESWEEP), IMAGE_ICON,
                                                ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0));
  if (splash && splash_.Create(instance_, icon_large_, app_.AppTitle()))
    SetWindowLanguage(splash_.hwnd(), LanguageRecord(app_.language_index()));
  RegisterPageWindowClass(instance_);
  hwnd_ = ::CreateDialogParamW(instance_, MAKEINTRESOURCEW(IDD_MAIN), nullptr, &MainWindow::DialogProc,
                               reinterpret_cast<LPARAM>(this));
  return hwnd_ != nullptr;
}

INT_PTR CALLBACK MainWindow::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  try {
    if (msg == WM_INITDIALOG) {
      ::SetWindowLongPtrW(hwnd, DWLP_USER, lp);
      auto* self = reinterpret_cast<MainWindow*>(lp);
      self->hwnd_ = hwnd;
      self->OnInit();
      return TRUE;
    }
    auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    return self ? self->Handle(msg, wp, lp) : FALSE;
  } catch (...) {
    return FALSE;  // nothing leaves the window procedure
  }
}

void MainWindow::OnInit() {
  ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_large_));
  ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_small_));
  Text title = app_.AppTitle();
  if (title.empty()) {
    wchar_t fallback[64] = {};
    ::LoadStringW(instance_, IDS_UI_FALLBACK_TITLE, fallback, 64);
    title = FromWide(fallback);
  }
  ::SetWindowTextW(hwnd_, Wide(title).c_str());
  if (HMENU menu = ::GetSystemMenu(hwnd_, FALSE)) {
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, Wide(Str(u"IDS_ABOUTBOX")).c_str());
  }
  background_ = ::CreateSolidBrush(kNavBack);
  SetWindowLanguage(hwnd_, LanguageRecord(app_.language_index()));
  font_ = CreateScreenFont(WindowLanguage(hwnd_), 15, FW_NORMAL);
  for (std::size_t i = 0; i < kNavButtons.size(); ++i) {
    const int top = kNavTop + static_cast<int>(i) * kNavButtonHeight;
    const RECT r{0, top, kNavWidth, top + kNavButtonHeight};
    (void)nav_[i].Create(hwnd_, kNavButtons[i].command, Str(kNavButtons[i].text_key), r, font_);
  }
  RECT client{};
  ::GetClientRect(hwnd_, &client);
  const RECT area{kNavWidth, 0, client.right, client.bottom};
  const std::wstring program = ProgramPath();
  const Text module(program.begin(), program.end());
  BrowserPage::Events events;
  events.loaded = [this](int page, bool ok) { OnPageLoaded(page, ok); };
  events.clicked = [this](int page, TextView id) {
    if (dialog_) dialog_->OnPageClick(page, id);
  };
  for (const HtmlScreen& s : kHtmlScreens) {
    // Listed before it loads: a page can report its load while it is made.
    pages_.push_back(std::make_unique<BrowserPage>(s.page, events));
    BrowserPage& page = *pages_.back();
    const int nav = NavIndexOfScreen(s.screen);
    const Text heading = nav >= 0 ? Str(kNavButtons[static_cast<std::size_t>(nav)].text_key) : title;
    if (!page.Create(hwnd_, area, ResourceUrl(module, s.resource), heading)) {
      Log(u"Page " + ToText(s.page) + u" : " + LogSafe(page.LastError()));
      if (s.page == dlg::kPageHome) OnPageLoaded(s.page, false);
    }
  }
  ScreenContext ctx{instance_, hwnd_, &app_, [this] { EndProcessNow(); }};
  backup_ = std::make_unique<BackupScreen>(ctx);
  if (!backup_->Create(hwnd_, area, Str(u"IDS_BTN_BACKUP_REG"))) Log(u"The backup screen could not be made");
  settings_ = std::make_unique<SettingsScreen>(ctx);
  if (!settings_->Create(hwnd_, area, Str(u"IDS_BTN_SETTINGS"))) Log(u"The settings screen could not be made");
  if (!home_loaded_) ::SetTimer(hwnd_, kTimerHomeLoadWatch, kHomeLoadWatchMs, nullptr);
}

PageHost& MainWindow::Page(int page) {
  for (auto& p : pages_)
    if (p->page() == page) return *p;
  return missing_page_;
}

int MainWindow::RunMessageLoop() {
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (hwnd_ && ::IsDialogMessageW(hwnd_, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return exit_code_;
}

INT_PTR MainWindow::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND: return OnCommand(LOWORD(wp)) ? TRUE : FALSE;
    case WM_TIMER: OnTimer(wp); return TRUE;
    case WM_SYSCOMMAND:
      if ((wp & 0xFFF0) == IDM_ABOUTBOX) {
        ShowAbout();
        return TRUE;
      }
      if ((wp & 0xFFF0) == SC_CLOSE) {
        if (!dialog_) return TRUE;
        // The title bar's close: to the tray when the settings say so.
        if (app_.settings().GoToSystemTrayOnClose == 1) dialog_->OnCancel(false);
        else dialog_->OnSysClose();
        return TRUE;
      }
      return FALSE;
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      for (const HoverButton& b : nav_) {
        if (b.hwnd() != item->hwndItem) continue;
        b.Draw(*item);
        return TRUE;
      }
      return FALSE;
    }
    case WM_CTLCOLORDLG: return reinterpret_cast<INT_PTR>(background_);
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(hwnd_, &ps);
      if (icon_large_) ::DrawIconEx(dc, 20, 28, icon_large_, 32, 32, 0, nullptr, DI_NORMAL);
      DrawWindowTitle(hwnd_, dc, RECT{62, 24, kNavWidth - 8, 64}, 21, kTitleText, DT_VCENTER);
      ::EndPaint(hwnd_, &ps);
      return TRUE;
    }
    case kMsgToScreen: OnScreenMessage(static_cast<int>(wp), static_cast<int>(lp)); return TRUE;
    case kMsgTrayIcon:
      if ((lp == WM_LBUTTONUP || lp == WM_LBUTTONDBLCLK) && dialog_) dialog_->OnTrayRestore();
      return TRUE;
    case kMsgOfferScheduledScanWindow:
      if (dialog_) (void)dialog_->OnCommand(dlg::kCmdOfferScheduledScan);
      return TRUE;
    case kMsgUpdateCheckDone:
      // The installer replaces this program: end at once.
      if (static_cast<UpdateOutcome>(wp) == UpdateOutcome::kInstallerStarted) {
        Quit();
      } else if (update_after_popup_) {
        update_after_popup_ = false;
        if (!dialog_ && !::IsWindowVisible(hwnd_)) Quit();  // the unattended update check is over
      }
      return TRUE;
    case kMsgPopupClick: OnPopupClick(static_cast<PopupAction>(wp)); return TRUE;
    case kMsgPopupClosed: OnPopupClosed(); return TRUE;
    case kMsgAreaEnd: driver_.OnAreaEnded(static_cast<std::uint32_t>(wp)); return TRUE;
    case kMsgProgressItem:
      if (dialog_) {
        const int group = driver_.CurrentGroup();
        dialog_->OnScanProgress(app_.scan_manager().ProgressText(), group, driver_.FoundInGroup(group));
      }
      return TRUE;
    case kMsgScanFinished:
    case kMsgScanCancelled: OnScanEnded(); return TRUE;
    case kMsgRepairCompleted:
    case kMsgRepairStopped: OnRepairEnded(msg == kMsgRepairCompleted); return TRUE;
    case WM_QUERYENDSESSION:
      (void)app_.settings_store().SaveSettings(app_.settings());
      return FALSE;
    default: return FALSE;
  }
}

bool MainWindow::OnCommand(int id) {
  switch (id) {
    case IDOK: return true;  // Enter does not close the window
    case IDCANCEL:
      if (dialog_) dialog_->OnCancel(::GetKeyState(VK_ESCAPE) < 0);
      return true;
    case kCmdAbout:
    case kCmdAboutToo: ShowAbout(); return true;
    case kCmdHelpMenu: ShowHelpMenu(); return true;
    case kCmdCheckForUpdates: CheckForUpdates({}); return true;
    case kCmdDetailedView:
      if (dialog_) dialog_->OnPageClick(dlg::kPageResults, u"btnbottomDetailedView");
      return true;
    default: break;
  }
  if (id >= kCmdLanguage0 && id < kCmdLanguage0 + kLanguageCount) {
    ChooseLanguage(id - kCmdLanguage0);
    return true;
  }
  if (!dialog_) return false;
  if (dialog_->OnCommand(id)) return true;
  if (id == dlg::kCmdBackupScreen) {
    ShowBackupScreen();
    return true;
  }
  if (id == dlg::kCmdSettingsScreen) {
    ShowSettingsScreen(-1);
    return true;
  }
  return false;
}

void MainWindow::OnTimer(UINT_PTR id) {
  if (id == kTimerHomeLoadWatch) {
    ::KillTimer(hwnd_, id);
    if (!home_loaded_) {
      Log(u"The home page did not load: " + LogSafe(Page(dlg::kPageHome).LastError()));
      OnPageLoaded(dlg::kPageHome, false);
    }
    return;
  }
  if (!dialog_) return;
  dialog_->OnTimer(static_cast<int>(id));
  // A scheduled scan that could not start ends the process (nobody sees it).
  if (id == static_cast<UINT_PTR>(dlg::kTimerStart) && mode_ == DialogMode::kScan && !dialog_->scanning() &&
      !driver_.IsRunning() && !popup_.open()) {
    Log(u"The scheduled scan did not start");
    Quit();
  }
}

void MainWindow::OnPageLoaded(int page, bool ok) {
  // A loaded page gets its language and texts from the model.
  if (ok && dialog_) dialog_->OnPageLoaded(page);
  if (page != dlg::kPageHome || home_loaded_) return;
  // A page that failed to load leaves a usable window: the start-up goes on.
  home_loaded_ = true;
  ::KillTimer(hwnd_, kTimerHomeLoadWatch);
  if (!ok) Log(u"The home page failed to load: " + LogSafe(Page(dlg::kPageHome).LastError()));
  SetTimer(dlg::kTimerHomeLoaded, dlg::kHomeLoadedDelayMs);
}

void MainWindow::OnScanEnded() {
  if (mode_ == DialogMode::kScan) (void)app_.FinishUnattendedScan();
  else app_.FinishScan();
  if (dialog_) dialog_->OnScanEnded();
}

void MainWindow::OnRepairEnded(bool completed) {
  // The run would post the results screen when problems remain; the window
  // always goes on to the after-repair screen, which names them, so the
  // model sees the end of its repair.
  ScanManager& manager = app_.scan_manager();
  const WindowTarget main = manager.main_window();
  manager.set_main_window(0);
  app_.FinishRepair(completed);
  manager.set_main_window(main);
  PostCommand(dlg::kCmdRepairDone);
}

void MainWindow::ShowAbout() {
  wchar_t format[64] = {};
  ::LoadStringW(instance_, IDS_UI_VERSION_FORMAT, format, 64);
  wchar_t version[128] = {};
  swprintf(version, 128, format[0] ? format : L"%ls", L"" HS_VERSION_TEXT);
  Text caption = Str(u"IDS_ABOUTBOX");
  while (!caption.empty() && caption.back() == u'.') caption.pop_back();
  ShowAboutBox(instance_, hwnd_, caption, app_.AppTitle(), FromWide(version));
}

void MainWindow::ShowHelpMenu() {
  HMENU menu = ::CreatePopupMenu();
  if (!menu) return;
  // The languages by their display names, in table order; the current one ticked.
  if (HMENU languages = ::CreatePopupMenu()) {
    for (int i = 0; i < kLanguageCount; ++i) {
      const UINT flags = MF_STRING | (i == app_.language_index() ? MF_CHECKED : 0);
      ::AppendMenuW(languages, flags, kCmdLanguage0 + i, reinterpret_cast<const wchar_t*>(LanguageRecord(i).display_name));
    }
    ::AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(languages), Wide(Str(u"IDS_SEL_LANG")).c_str());
  }
  ::AppendMenuW(menu, MF_STRING, kCmdCheckForUpdates, Wide(Str(u"IDS_CHK_FOR_UPDATES")).c_str());
  ::AppendMenuW(menu, MF_STRING, kCmdAbout, Wide(Str(u"IDS_ABOUTBOX")).c_str());
  RECT r{};
  ::GetWindowRect(nav_.back().hwnd(), &r);
  ::TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN, r.right, r.top, 0, hwnd_, nullptr);
  ::DestroyMenu(menu);
}

void MainWindow::ChooseLanguage(int index) {
  AppEnvironment& env = app_.environment();
  if (!env.launcher || !env.prompts) return;
  Prompts& prompts = *env.prompts;
  const LanguageChangeUi ui{
      [&prompts](TextView text) { (void)prompts.Ask(text, PromptButtons::kOk, PromptIcon::kInformation); },
      [&prompts](TextView text) {
        return prompts.Ask(text, PromptButtons::kYesNo, PromptIcon::kQuestion) == PromptAnswer::kYes;
      }};
  if (ChangeLanguage(index, LanguageChangeSource::kMenu, env.registry, app_.strings(), *env.launcher, app_.log(), ui) ==
      LanguageChangeResult::kRestarting)
    EndProcessNow();
}

void MainWindow::Show() {
  if (mode_ != DialogMode::kInteractive) return;  // unattended runs stay hidden
  if (!::IsWindowVisible(hwnd_)) Log(u"Main window shown");
  ::ShowWindow(hwnd_, ::IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
  ::BringWindowToTop(hwnd_);
  ::SetForegroundWindow(hwnd_);
}

void MainWindow::AnimateToTray() {
  BOOL animate = FALSE;
  ANIMATIONINFO info{sizeof(info), 0};
  if (::SystemParametersInfoW(SPI_GETANIMATION, sizeof(info), &info, 0)) animate = info.iMinAnimate;
  HWND tray = ::FindWindowW(L"Shell_TrayWnd", nullptr);
  HWND area = tray ? ::FindWindowExW(tray, nullptr, L"TrayNotifyWnd", nullptr) : nullptr;
  if (!animate || !area) return;
  RECT from{}, to{};
  ::GetWindowRect(hwnd_, &from);
  ::GetWindowRect(area, &to);
  ::DrawAnimatedRects(hwnd_, IDANI_CAPTION, &from, &to);
}

void MainWindow::Hide() {
  if (::IsWindowVisible(hwnd_)) AnimateToTray();
  ::ShowWindow(hwnd_, SW_HIDE);
}

void MainWindow::Minimise() {
  if (mode_ != DialogMode::kInteractive) return;
  ::ShowWindow(hwnd_, SW_MINIMIZE);
}

void MainWindow::ShowTrayIcon(bool present) {
  if (present) (void)tray_.Add(hwnd_, kMsgTrayIcon, icon_small_, app_.AppTitle());
  else tray_.Remove();
}

void MainWindow::SetTimer(int id, std::uint32_t ms) { ::SetTimer(hwnd_, static_cast<UINT_PTR>(id), ms, nullptr); }

void MainWindow::KillTimer(int id) { ::KillTimer(hwnd_, static_cast<UINT_PTR>(id)); }

void MainWindow::EnableNavigation(bool enabled) {
  for (std::size_t i = 0; i + 1 < nav_.size(); ++i) nav_[i].Enable(enabled);  // Help stays
}

void MainWindow::ShowScreen(int child) {
  const std::optional<HtmlScreen> screen = HtmlScreenOf(child);
  for (auto& p : pages_) p->Show(screen && p->page() == screen->page);
  if (backup_) backup_->Show(child == kScreenBackup);
  if (settings_) settings_->Show(child == kScreenSettings);
  const int current = child == kScreenBackup     ? 3
                      : child == kScreenSettings ? 4
                                                 : NavIndexOfScreen(child);
  for (std::size_t i = 0; i < nav_.size(); ++i) nav_[i].SetCurrent(static_cast<int>(i) == current);
}

void MainWindow::PostCommand(int id) { ::PostMessageW(hwnd_, WM_COMMAND, static_cast<WPARAM>(id), 0); }

void MainWindow::ShowLoadingPage(bool shown) {
  for (auto& p : pages_) {
    if (p->page() != kPageListLoading) continue;
    p->Show(shown);
    if (shown) ::SetWindowPos(p->hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  }
}

void MainWindow::ShowProblemList() {
  if (mode_ != DialogMode::kInteractive || driver_.IsRunning()) return;
  AppEnvironment& env = app_.environment();
  if (!env.prompts) return;
  const StringLookup strings = [this](TextView key) { return Str(key); };
  ProblemsViewEnv view{app_.scan_manager(), app_.exclusions(), RegEnv{env.registry, env.wow64.IsWow64Process()},
                       env.system, *env.prompts, clipboard_, shell_open_, key_viewer_, app_.log(), strings};
  view.exclusions_changed = [this, &env] {
    if (app_.exclusions().Save(env.fs, app_.data_folder(), app_.log()) != err::kSuccess)
      Log(u"The exclusion list could not be saved");
  };
  view.export_log = [this, strings] {
    Win32XmlWriterFactory xml;
    const ScanLogInfo info{FromUtf8(HS_VERSION_TEXT), app_.settings().StrLastScan, app_.settings().StrLastScanResults};
    (void)ExportScanLog(app_.scan_manager(), info, strings, app_.data_folder(), xml, shell_open_,
                        [this](std::string_view line) { Log(FromUtf8(line)); });
  };
  ProblemsDialog dialog(instance_, std::move(view));
  if (const int next = dialog.Run(hwnd_)) PostCommand(next);
}

void MainWindow::ShowScanAreaSettings() {
  if (mode_ == DialogMode::kScan) return;  // the scheduled scan ends at its start timer
  ShowSettingsScreen(SettingsScreen::kScanAreas);
}

void MainWindow::ShowBackupScreen() {
  if (!backup_ || !*backup_) return;
  ShowScreen(kScreenBackup);
  backup_->Showing();
}

void MainWindow::ShowSettingsScreen(int page) {
  if (!settings_ || !*settings_) return;
  settings_->Reset();
  if (page >= 0) settings_->ShowPage(static_cast<SettingsScreen::Page>(page));
  ShowScreen(kScreenSettings);
}

void MainWindow::PostToScreen(int screen_command, int id) {
  // Posted: it arrives after the command that shows its screen.
  ::PostMessageW(hwnd_, kMsgToScreen, static_cast<WPARAM>(screen_command), static_cast<LPARAM>(id));
}

void MainWindow::OnScreenMessage(int screen_command, int id) {
  if (screen_command == dlg::kCmdBackupScreen && backup_ && *backup_) backup_->OnScreenMessage(id);
  else if (screen_command == dlg::kCmdSettingsScreen && settings_ && *settings_) settings_->OnScreenMessage(id);
  else Log(u"Message " + ToText(id) + u" for screen " + ToText(screen_command) + u" is not handled here");
}

void MainWindow::EndProcessNow() {
  // What the exit would save: the settings, the user lists, the string cache.
  app_.ExitInstance();
  tray_.Remove();
  ::ExitProcess(0);
}

bool MainWindow::ShowPopup(const PopupContent& content) {
  return popup_.Open(instance_, hwnd_, app_.AppTitle(), content, app_.log(), [this] {
    if (app_.SaveResults() != err::kSuccess) Log(u"The results could not be saved");
  });
}

void MainWindow::OnPopupClick(PopupAction action) {
  if (user_present) user_present();
  if (action == PopupAction::kStartUpdate) {
    // The user accepted the update: the check runs again and installs.
    update_after_popup_ = CheckForUpdates({.unattended = true, .install_confirmed = true});
    return;
  }
  if (dialog_) dialog_->OnPopupClick(action);
}

void MainWindow::OnPopupClosed() {
  popup_.Join();
  if (dialog_) {
    dialog_->OnPopupClosed();
  } else if (!update_after_popup_ && !::IsWindowVisible(hwnd_)) {
    Quit();  // a hidden window with no pop-up left has nothing to do
  }
}

void MainWindow::StartUpdateCheck() { CheckForUpdates({.automatic = true}); }

bool MainWindow::CheckForUpdates(const UpdateFlags& flags) {
  AppEnvironment& env = app_.environment();
  if (!env.prompts) return false;
  if (!update_) update_ = std::make_unique<UpdateThread>(app_, *env.prompts, hwnd_);
  if (update_->Start(flags)) return true;
  Log(u"An update check runs already");
  return false;
}

// The start after a compaction: its results read back, the summary into the
// settings, the markers cleared. The summary has no screen yet: it is logged.
void MainWindow::ShowCompactionResult() {
  AppEnvironment& env = app_.environment();
  if (!env.prompts) return;
  const bool windows64 = env.wow64.IsWow64Process();
  Win32Hives hives(env.registry, windows64);
  const std::unique_ptr<Scheduling> scheduling = MakeAppScheduling(app_, *env.prompts, FromWide(ProgramPath().c_str()));
  std::unique_ptr<SchedulerLogonTasks> tasks;
  if (scheduling) tasks = std::make_unique<SchedulerLogonTasks>(*scheduling);
  DefragEnv denv{hives, env.registry, env.fs, app_.data_folder(), env.clock, app_.log(), *env.prompts, env.restore,
                 [this](TextView key) { return Str(key); }, env.system.MajorVersion(), windows64,
                 app_.settings_store(), app_.settings(),
                 StartEntryContext{env.system.MajorVersion(), FromWide(ProgramPath().c_str()), app_.AppTitle(), tasks.get()}};
  const AfterOptimization after = StartedAfterOptimization(denv);
  Log(FormatNumbers(u"Compaction results %d: %d hives, %d bytes before, %d bytes gained",
                    {after.results, static_cast<std::int64_t>(after.summary.hives),
                     static_cast<std::int64_t>(after.summary.total_before),
                     static_cast<std::int64_t>(after.summary.total_gained)}));
}

void MainWindow::Quit() {
  tray_.Remove();
  ::PostQuitMessage(exit_code_);
}

}  // namespace hs::ui
