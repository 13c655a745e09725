// CHVXDlg: the main window's screen flow, without Win32 or HTML. The window
// forwards commands, timer expiries, page clicks, scan reports and close
// requests; the model answers through the ports of app/screen_ports.h.
//
// Runs on the user-interface thread; not thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "app/command_line.h"
#include "app/screen_ports.h"
#include "app/settings.h"
#include "engine/problem.h"
#include "platform/clock.h"
#include "platform/log.h"
#include "platform/prompts.h"

namespace hs {

namespace dlg {
// Commands.
inline constexpr int kCmdHome = 242;
inline constexpr int kCmdRegistryOptimisation = 244;
inline constexpr int kCmdScanSettings = 253;
inline constexpr int kCmdStartScan = 1124;
inline constexpr int kCmdShowResults = 1134;
inline constexpr int kCmdRepair = 1154;
inline constexpr int kCmdUnattendedScanDone = 1174;  // posted in scan mode; the front end's
inline constexpr int kCmdRepairDone = 1184;
// WM_APP + 0x97: a second instance started for a scheduled scan.
inline constexpr int kCmdOfferScheduledScan = 0x8097;

// Timer 101: the progress screen's scan start, and the start-minimised step.
inline constexpr int kTimerStart = 101;
inline constexpr int kTimerUpdateCheck = 102;
inline constexpr int kTimerHomeLoaded = 103;
inline constexpr int kTimerCompactionResult = 104;
// Child screens; a timer of the same number brings each to the front.
inline constexpr int kScreenScanSettings = 105;
inline constexpr int kScreenProgress = 106;
inline constexpr int kScreenHome = 107;
inline constexpr int kScreenOptimisation = 108;
inline constexpr int kScreenResults = 109;
inline constexpr int kScreenAfterRepair = 111;
// The model's own timer: the results page's counts, before it is shown.
inline constexpr int kTimerResultCounts = 112;

// Pages, as OnPageClick names them; the after-repair page (no resource
// number of its own) goes by its screen number.
inline constexpr int kPageHome = 444;
inline constexpr int kPageScanSettings = 446;
inline constexpr int kPageProgress = 447;
inline constexpr int kPageResults = 448;
inline constexpr int kPageAfterRepair = kScreenAfterRepair;
inline constexpr int kPageOptimisation = kScreenOptimisation;
inline constexpr int kPageLoading = 455;

inline constexpr std::uint32_t kScreenDelayMs = 90;
inline constexpr std::uint32_t kAfterRepairDelayMs = 270;
inline constexpr std::uint32_t kStartDelayMs = 1;
inline constexpr std::uint32_t kResultCountsDelayMs = 27;
inline constexpr std::uint32_t kMinimiseDelayMs = 128;
// The view arms timer 103 this long after the home page has loaded.
inline constexpr std::uint32_t kHomeLoadedDelayMs = 2048;
inline constexpr std::uint32_t kUpdateCheckDelayMs = 2048;
inline constexpr std::uint32_t kReminderUpdateCheckDelayMs = 1062048;
inline constexpr std::uint32_t kCompactionResultDelayMs = 3072;
// Native screens' commands and the messages an elevated restart posts to them.
inline constexpr int kCmdBackupScreen = 214;
inline constexpr int kCmdSettingsScreen = 256;
inline constexpr int kBackupTakeFull = 260;
inline constexpr int kBackupRestorePartial = 245;
inline constexpr int kSettingsApplySchedule = 254;
// Repair clicks closer together than this are taken as one.
inline constexpr std::uint64_t kRepairClickGapMs = 3072;
}  // namespace dlg

enum class DialogMode { kInteractive, kScan, kUpdateCheck };

// What the start-up decided before the window existed.
struct DialogStart {
  StartupFlags flags;
  bool first_run = false;       // FirstRun is present
  bool auto_tutorial = false;   // StartAutoTutorial is 1
  bool splash_shown = false;
};

// The ports the model runs on; all must outlive it.
struct MainDialogEnv {
  MainWindowView& view;
  PageHost& home_page;
  PageHost& settings_page;
  PageHost& progress_page;
  PageHost& results_page;
  PageHost& loading_page;
  ScanDriver& scan;
  Prompts& prompts;
  SettingsStore& store;
  AppSettings& settings;
  Clock& clock;
  Log& log;
  StringLookup strings;  // localised text of a key
  DialogMode mode = DialogMode::kInteractive;
  // The pages without a resource number; none: their calls are skipped.
  PageHost* after_repair_page = nullptr;
  PageHost* optimisation_page = nullptr;
  // setlanguage's arguments: the language code, and for the results page
  // whether the font file segoeui.ttf is present.
  Text language_code = u"en";
  bool ui_font_present = false;
};

// The progress page's path text: a path over 120 units becomes its first
// 110, "<br>", and up to the next 107, then "..." when it has 168 or more.
Text ProgressPathText(TextView path);

class CHVXDlg {
 public:
  explicit CHVXDlg(MainDialogEnv env);
  CHVXDlg(const CHVXDlg&) = delete;
  CHVXDlg& operator=(const CHVXDlg&) = delete;

  // After the window exists: the start-minimised timer, the posts of an
  // elevated restart, the hidden scan of mode `scan`, the compaction
  // result's timer. The window shows later, when the home page has loaded
  // (timer 103, armed by the view).
  void Open(const DialogStart& start = {});
  // Clear: the window stays hidden whatever asks to show it.
  void SetMayShow(bool may_show) { may_show_ = may_show; }

  // False for a command the model does not handle.
  bool OnCommand(int id);
  void OnTimer(int id);
  void OnPageClick(int page, TextView element_id);
  // A page has finished loading: setlanguage, then its texts in the order
  // of app/page_texts.h; then the figures of home, scan settings and results.
  void OnPageLoaded(int page);

  // From the scan worker (relayed to this thread).
  void OnScanProgress(TextView path, int group, int found_in_group);
  void OnScanEnded();

  void OnStopScan();
  // The whole problem list into the results page, area by area, while the
  // list-loading page shows; `cancelled` is asked before each row (the view
  // pumps its messages there). A cancelled load shows the results again.
  void FillResultList(const std::function<bool()>& cancelled);
  void OnRepairClick();
  // Close button; `escape_down`: it came from the Escape key, which is ignored.
  void OnCancel(bool escape_down);
  // System menu Close.
  void OnSysClose();
  // Tray icon double-click.
  void OnTrayRestore();

  // A second instance's scheduled scan (command 0x8097): asks
  // IDS_SCHEDULE_RUNNING; on Yes, unless a scan or repair runs, the window
  // comes back from the tray and a scan of the ticked areas starts.
  void OnScheduledScanOffer();
  // The pop-up's link was clicked: the unattended run becomes an ordinary
  // one and the window shows the screen the action names. kStartUpdate is
  // the update check's business and is ignored here.
  void OnPopupClick(PopupAction action);
  // The pop-up has closed: a window that never showed ends the program.
  void OnPopupClosed();

  // Arguments of OnWelcomeNext for the home and scan-settings pages.
  std::vector<Text> HomePageArgs();
  std::vector<Text> ScanSettingsPageArgs();

  bool scanning() const { return scanning_; }
  bool repairing() const { return repairing_; }
  bool hidden_in_tray() const { return hidden_in_tray_; }

 private:
  bool ShowSuppressed() const;
  void ShowWindow();
  void ScheduleScreen(int screen, std::uint32_t ms);
  void ShowChild(int screen);
  void Call(PageHost& page, TextView function, const std::vector<Text>& args);
  PageHost* HostOf(int page);
  void SendResultCounts();
  void RequestScan();
  void StartScanNow();
  void ShowResultsOrNone();
  void PrepareResults();
  Text DayText(int days);
  void Prompt(TextView key, PromptIcon icon);
  void HomePageLoaded();
  void FirstDisplay();
  void RunReminder();
  void UnattendedScanDone();
  void ShowPopup(const PopupContent& content);

  MainDialogEnv env_;
  bool may_show_ = true;
  bool hidden_in_tray_ = false;
  bool shown_ = false;  // the window was shown and not hidden since
  bool offer_asked_ = false;  // IDS_SCHEDULE_RUNNING is on the screen
  bool minimise_pending_ = false;
  bool scan_start_pending_ = false;
  bool scanning_ = false;
  bool stop_requested_ = false;
  bool repairing_ = false;
  bool scan_after_repair_ = false;
  int progress_group_ = 0;
  DialogStart start_;
  std::optional<std::uint64_t> last_repair_click_;
};

}  // namespace hs
