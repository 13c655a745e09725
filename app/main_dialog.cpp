#include "app/main_dialog.h"

#include <algorithm>
#include <array>

#include "app/page_texts.h"
#include "engine/area_table.h"

namespace hs {

namespace {

bool IsOneOf(TextView id, std::initializer_list<TextView> ids) {
  return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// The results page's repair buttons: each base id alone or with a
// Left/Middle/Right suffix, and two text links.
bool IsRepairElement(TextView id) {
  if (IsOneOf(id, {u"string170", u"string171"})) return true;
  for (TextView base : {u"btnStartClean1", u"btnStartClean11", u"btnStartClean12", u"btnStartCleanNew"}) {
    if (id.substr(0, base.size()) != base) continue;
    if (IsOneOf(id.substr(base.size()), {u"", u"Left", u"Middle", u"Right"})) return true;
  }
  return false;
}

}  // namespace

Text ProgressPathText(TextView path) {
  if (path.size() <= 120) return Text(path);
  Text out = Text(path.substr(0, 110)) + u"<br>" + Text(path.substr(110, 107));
  if (path.size() >= 168) out += u"...";
  return out;
}

CHVXDlg::CHVXDlg(MainDialogEnv env) : env_(std::move(env)) {}

void CHVXDlg::Open(const DialogStart& start) {
  start_ = start;
  const StartupFlags& f = start.flags;
  env_.log.LogLine(u"OnInitDialog");
  if (env_.settings.StartMinimized != 0 && !f.after_compaction) {
    minimise_pending_ = true;
    env_.view.SetTimer(dlg::kTimerStart, dlg::kMinimiseDelayMs);
  }
  env_.log.LogLine(u"Child Dialog Created");
  for (TextView screen : {u"m_dlgHome", u"m_dlgScanSettings", u"m_dlgScanProgress", u"m_dlgResults",
                          u"m_dlgAfterRepair", u"m_dlgOptimize", u"m_dlgBackup", u"m_dlgSettings"})
    env_.log.LogLine(Text(screen) + u" Created");
  if (f.vista_scan && env_.scan.ProblemCount() > 0) env_.view.PostCommand(dlg::kCmdRepair);
  if (f.vista_full_backup) {
    env_.view.PostCommand(dlg::kCmdBackupScreen);
    env_.view.PostToScreen(dlg::kCmdBackupScreen, dlg::kBackupTakeFull);
  }
  if (f.vista_full_backup_restore) env_.view.PostCommand(dlg::kCmdBackupScreen);
  if (f.vista_partial_backup_restore) {
    env_.view.PostCommand(dlg::kCmdBackupScreen);
    env_.view.PostToScreen(dlg::kCmdBackupScreen, dlg::kBackupRestorePartial);
  }
  if (f.vista_schedule) {
    env_.view.PostCommand(dlg::kCmdSettingsScreen);
    env_.view.PostToScreen(dlg::kCmdSettingsScreen, dlg::kSettingsApplySchedule);
  }
  if (f.after_compaction) {
    env_.view.SetTimer(dlg::kTimerCompactionResult, dlg::kCompactionResultDelayMs);
  } else if (env_.mode == DialogMode::kScan) {
    RequestScan();
  }
  env_.log.LogLine(u"Init Dlg Finished");
}

void CHVXDlg::HomePageLoaded() {
  // An elevated restart opened a native screen for its action: the user
  // stays there rather than being taken home when the home page arrives.
  const StartupFlags& f = start_.flags;
  const bool restart_screen = f.vista_full_backup || f.vista_full_backup_restore || f.vista_partial_backup_restore ||
                              f.vista_schedule;
  if (!restart_screen) ShowChild(dlg::kScreenHome);
  if (start_.splash_shown && !ShowSuppressed()) {
    env_.view.HideSplash();
    start_.splash_shown = false;
    env_.log.LogLine(u"Hide the splash");
  }
  if (start_.flags.default_task) {
    may_show_ = false;
    RunReminder();
    return;
  }
  may_show_ = true;
  FirstDisplay();
}

void CHVXDlg::FirstDisplay() {
  if (env_.settings.StartMinimized != 0) {
    if (!ShowSuppressed()) {
      env_.view.Minimise();
      shown_ = true;
    }
  } else {
    ShowWindow();
  }
  if (start_.first_run) {
    const bool late = start_.flags.reminder && !start_.auto_tutorial;
    env_.view.SetTimer(dlg::kTimerUpdateCheck, late ? dlg::kReminderUpdateCheckDelayMs : dlg::kUpdateCheckDelayMs);
  }
  if (start_.flags.reminder) RequestScan();
}

bool CHVXDlg::ShowSuppressed() const {
  return env_.mode == DialogMode::kScan || env_.mode == DialogMode::kUpdateCheck || !may_show_;
}

void CHVXDlg::ShowWindow() {
  if (ShowSuppressed()) return;
  env_.view.Show();
  shown_ = true;
}

void CHVXDlg::ScheduleScreen(int screen, std::uint32_t ms) { env_.view.SetTimer(screen, ms); }

void CHVXDlg::ShowChild(int screen) {
  env_.view.ShowScreen(screen);
  if (screen == dlg::kScreenHome) Call(env_.home_page, u"OnWelcomeNext", HomePageArgs());
  if (screen == dlg::kScreenScanSettings) Call(env_.settings_page, u"OnWelcomeNext", ScanSettingsPageArgs());
}

void CHVXDlg::Call(PageHost& page, TextView function, const std::vector<Text>& args) {
  if (!page.CallScript(function, args))
    env_.log.LogLine(u"CallScript " + Text(function) + u" failed : " + LogSafe(page.LastError()));
}

void CHVXDlg::Prompt(TextView key, PromptIcon icon) {
  (void)env_.prompts.Ask(env_.strings(key), PromptButtons::kOk, icon);
}

bool CHVXDlg::OnCommand(int id) {
  switch (id) {
    case dlg::kCmdHome: ScheduleScreen(dlg::kScreenHome, dlg::kScreenDelayMs); return true;
    case dlg::kCmdScanSettings: ScheduleScreen(dlg::kScreenScanSettings, dlg::kScreenDelayMs); return true;
    case dlg::kCmdRegistryOptimisation: ScheduleScreen(dlg::kScreenOptimisation, dlg::kScreenDelayMs); return true;
    case dlg::kCmdStartScan: RequestScan(); return true;
    case dlg::kCmdShowResults: ShowResultsOrNone(); return true;
    case dlg::kCmdRepair:
      if (repairing_) return true;
      if (env_.scan.StartRepair()) {
        repairing_ = true;
      } else {
        env_.log.LogLine(u"OnbtnStartClean : the repair could not start");
      }
      return true;
    case dlg::kCmdUnattendedScanDone: UnattendedScanDone(); return true;
    case dlg::kCmdOfferScheduledScan: OnScheduledScanOffer(); return true;
    case dlg::kCmdRepairDone:
      repairing_ = false;
      scan_after_repair_ = true;
      ScheduleScreen(dlg::kScreenAfterRepair, dlg::kAfterRepairDelayMs);
      return true;
    default: return false;
  }
}

void CHVXDlg::OnTimer(int id) {
  env_.log.LogLine(u"Got the OnTimer Message " + ToText(id) + u" ");
  const bool screen = id >= dlg::kScreenScanSettings && id <= dlg::kScreenAfterRepair;
  if (!screen && id != dlg::kTimerStart && id != dlg::kTimerUpdateCheck && id != dlg::kTimerHomeLoaded &&
      id != dlg::kTimerCompactionResult && id != dlg::kTimerResultCounts)
    return;
  env_.view.KillTimer(id);  // every timer of the model fires once
  if (screen) {
    ShowChild(id);
    return;
  }
  switch (id) {
    case dlg::kTimerStart:
      if (minimise_pending_) {
        minimise_pending_ = false;
        env_.view.Minimise();
      }
      if (scan_start_pending_) {
        scan_start_pending_ = false;
        StartScanNow();
      }
      break;
    case dlg::kTimerHomeLoaded: HomePageLoaded(); break;
    case dlg::kTimerUpdateCheck: env_.view.StartUpdateCheck(); break;
    case dlg::kTimerCompactionResult:
      env_.view.ShowCompactionResult();
      if (env_.scan.ProblemCount() > 0) OnCommand(dlg::kCmdShowResults);
      break;
    case dlg::kTimerResultCounts:
      SendResultCounts();
      ScheduleScreen(dlg::kScreenResults, dlg::kScreenDelayMs);
      break;
    default: break;
  }
}

void CHVXDlg::SendResultCounts() {
  std::vector<Text> counts;
  for (int n : env_.scan.AreaProblemCounts()) counts.push_back(ToText(n));
  counts.resize(kAreaCount, u"0");
  Call(env_.results_page, u"UpdateResultsPage", counts);
}

PageHost* CHVXDlg::HostOf(int page) {
  switch (page) {
    case dlg::kPageHome: return &env_.home_page;
    case dlg::kPageScanSettings: return &env_.settings_page;
    case dlg::kPageProgress: return &env_.progress_page;
    case dlg::kPageResults: return &env_.results_page;
    case dlg::kPageLoading: return &env_.loading_page;
    case dlg::kPageAfterRepair: return env_.after_repair_page;
    case dlg::kPageOptimisation: return env_.optimisation_page;
    default: return nullptr;
  }
}

void CHVXDlg::OnPageLoaded(int page) {
  PageHost* host = HostOf(page);
  const PageTexts* texts = FindPageTexts(page);
  if (!host || !texts) return;
  std::vector<Text> language{env_.language_code};
  if (page == dlg::kPageResults) language.push_back(env_.ui_font_present ? u"1" : u"0");
  Call(*host, u"setlanguage", language);
  std::vector<Text> args;
  for (const char16_t* key : texts->keys) args.push_back(env_.strings(key));
  Call(*host, texts->load_function, args);
  // A page loaded afresh shows the figures it would otherwise lack.
  if (page == dlg::kPageHome) Call(*host, u"OnWelcomeNext", HomePageArgs());
  if (page == dlg::kPageScanSettings) Call(*host, u"OnWelcomeNext", ScanSettingsPageArgs());
  if (page == dlg::kPageResults) SendResultCounts();
}

void CHVXDlg::RequestScan() {
  // A repair works on the results a scan would replace.
  if (scanning_ || scan_start_pending_ || repairing_ || env_.scan.IsRunning()) return;
  env_.view.ShowScreen(dlg::kScreenProgress);
  scan_start_pending_ = true;
  env_.view.SetTimer(dlg::kTimerStart, dlg::kStartDelayMs);
}

void CHVXDlg::StartScanNow() {
  const std::uint32_t selection = ReadSelectedCategories(env_.store);
  std::array<bool, 4> on{};
  std::uint32_t mask = 0;
  int areas = 0;
  for (std::size_t g = 0; g < on.size(); ++g) {
    on[g] = (selection & kGroupMasks[g]) != 0;
    if (!on[g]) continue;
    mask |= kGroupMasks[g];
    areas += kGroupCounts[g];
  }
  if (mask == 0 && env_.mode == DialogMode::kScan) {
    // Nobody would see the message: the pop-up says why nothing ran.
    env_.log.LogLine(u"No scan area is selected; the scheduled scan does not run");
    ShowPopup(ScanResultPopup(0, true, env_.strings));
    return;
  }
  if (mask == 0) {
    Prompt(u"IDS_NO_SELECTED", PromptIcon::kInformation);
    ShowChild(dlg::kScreenScanSettings);
    env_.view.ShowScanAreaSettings();
    return;
  }
  std::vector<Text> flags;
  for (bool b : on) flags.push_back(b ? u"1" : u"0");
  Call(env_.progress_page, u"setcheckboxstatus", flags);
  scanning_ = true;
  stop_requested_ = false;
  progress_group_ = 1;
  env_.view.EnableNavigation(false);
  Call(env_.progress_page, u"setvarsforscan", {});
  if (!env_.scan.Start(mask, areas)) {
    env_.log.LogLine(u"StartScan : the scan could not start");
    scanning_ = false;
    env_.view.EnableNavigation(true);
    ShowChild(dlg::kScreenScanSettings);
    return;
  }
  env_.log.LogLine(u"Scan of the selected areas started: " + ToText(areas) + u" areas");
  Call(env_.progress_page, u"SetScanProgressBar", {u"1"});
}

void CHVXDlg::OnScanProgress(TextView path, int group, int found_in_group) {
  if (!scanning_ || stop_requested_) return;
  if (group != progress_group_) {
    progress_group_ = group;
    Call(env_.progress_page, u"SetScanProgressBar", {ToText(group)});
  }
  Call(env_.progress_page, u"updatePath", {ProgressPathText(path), ToText(group), ToText(found_in_group)});
}

void CHVXDlg::OnStopScan() {
  if (!scanning_ || stop_requested_) return;
  const PromptAnswer answer =
      env_.prompts.Ask(env_.strings(u"IDS_STOP_SCAN_DES"), PromptButtons::kYesNoDefaultNo, PromptIcon::kQuestion);
  if (answer != PromptAnswer::kYes) return;
  stop_requested_ = true;
  env_.scan.Stop();
}

void CHVXDlg::OnScanEnded() {
  if (!scanning_) return;
  scanning_ = false;
  env_.log.LogLine(u"Scan of the selected areas ended: " + ToText(env_.scan.ProblemCount()) + u" problems");
  Call(env_.progress_page, u"SetScanProgressBar", {ToText(progress_group_)});
  env_.view.EnableNavigation(true);
  OnCommand(dlg::kCmdShowResults);
}

void CHVXDlg::ShowResultsOrNone() {
  env_.settings.StrLastScanResults = env_.scan.ProblemCount();
  const bool after_repair = scan_after_repair_;
  scan_after_repair_ = false;
  const bool interactive = env_.mode == DialogMode::kInteractive;
  if (env_.mode == DialogMode::kScan) env_.view.PostCommand(dlg::kCmdUnattendedScanDone);
  if (!interactive) return;
  if (env_.scan.ProblemCount() > 0) {
    PrepareResults();
    return;
  }
  OnCommand(after_repair ? dlg::kCmdHome : dlg::kCmdScanSettings);
  Prompt(u"IDS_NO_ERRORS_FOUND", PromptIcon::kInformation);
}

void CHVXDlg::PrepareResults() { env_.view.SetTimer(dlg::kTimerResultCounts, dlg::kResultCountsDelayMs); }

void CHVXDlg::FillResultList(const std::function<bool()>& cancelled) {
  Call(env_.loading_page, u"settexts",
       {env_.strings(u"string162"), env_.strings(u"string163"), env_.strings(u"string164")});
  env_.view.ShowLoadingPage(true);
  bool stopped = false;
  Text entry, reason;
  for (int area = 0; area < kAreaCount && !stopped; ++area) {
    for (int i = 0; env_.scan.ResultRow(area, i, &entry, &reason); ++i) {
      if (cancelled()) {
        stopped = true;
        break;
      }
      Call(env_.results_page, u"AddListRow", {ToText(area), entry, reason});
    }
  }
  Call(env_.results_page, u"SaveResultList", {});
  env_.view.ShowLoadingPage(false);
  if (stopped) OnCommand(dlg::kCmdShowResults);
}

void CHVXDlg::OnRepairClick() {
  const std::uint64_t now = env_.clock.TickMs();
  if (last_repair_click_ && now - *last_repair_click_ < dlg::kRepairClickGapMs) {
    env_.log.LogLine(u"OnbtnStartClean : clicked with in 3072 return S_OK without clean");
    return;
  }
  last_repair_click_ = now;
  if (repairing_) {
    env_.log.LogLine(u"OnbtnStartClean : Cleaning already going on");
    return;
  }
  env_.log.LogLine(u"Clicked on Fix Errors");
  if (env_.scan.SelectedCount() <= 0) {
    Prompt(u"IDS_NO_ERRORS_SELECTED", PromptIcon::kInformation);
    env_.view.ShowProblemList();
    return;
  }
  OnCommand(dlg::kCmdRepair);
}

void CHVXDlg::OnPageClick(int page, TextView id) {
  switch (page) {
    case dlg::kPageHome:
      if (IsOneOf(id, {u"btnBottomStartscan", u"btnBottomStartscan1"})) {
        RequestScan();
      } else if (IsOneOf(id, {u"idFixErrors", u"string103"})) {
        if (env_.scan.ProblemCount() > 0) {
          OnCommand(dlg::kCmdShowResults);
        } else {
          RequestScan();
        }
      }
      break;
    case dlg::kPageScanSettings:
      if (IsOneOf(id, {u"btnBottomStartscan1", u"btnBottomStartscan2", u"btnBottomStartscanLeft",
                       u"btnBottomStartscanMiddle", u"btnBottomStartscanRight", u"string17", u"idViewErrors"})) {
        RequestScan();
      } else if (IsOneOf(id, {u"idcat1", u"idcat2", u"idcat3", u"idcat4", u"string24", u"string26", u"string28",
                              u"string30"})) {
        env_.view.ShowScanAreaSettings();
      }
      break;
    case dlg::kPageProgress:
      if (IsOneOf(id, {u"btnBottomStopscan", u"btnBottomStopscan2", u"btnBottomStopscanLeft",
                       u"btnBottomStopscanMiddle", u"btnBottomStopscanRight"}))
        OnStopScan();
      break;
    case dlg::kPageResults:
      if (IsRepairElement(id)) {
        OnRepairClick();
      } else if (IsOneOf(id, {u"btnbottomDetailedView", u"string109"})) {
        env_.view.ShowProblemList();
      } else if (IsOneOf(id, {u"idBackToResults", u"idBackToResults1", u"string159"})) {
        PrepareResults();
      }
      break;
    case dlg::kPageAfterRepair:
      if (id == u"idBtnScanAgain") RequestScan();
      break;
    default: break;
  }
}

void CHVXDlg::OnCancel(bool escape_down) {
  if (escape_down) return;
  if (env_.settings.GoToSystemTrayOnClose == 1) {
    hidden_in_tray_ = true;
    shown_ = false;
    env_.view.Hide();
    env_.view.ShowTrayIcon(true);
    return;
  }
  env_.log.LogLine(u"PostQuitMessage : ShowExitDialog");
  env_.view.Quit();
}

void CHVXDlg::OnSysClose() {
  if (scanning_ || repairing_ || env_.scan.IsRunning()) return;
  if (const WinError e = env_.store.SaveSettings(env_.settings); e != err::kSuccess)
    env_.log.LogLine(u"SaveSettings failed : " + ToText(static_cast<std::int64_t>(e)));
  env_.log.LogLine(u"PostQuitMessage : SC_CLOSE");
  env_.view.Quit();
}

void CHVXDlg::OnTrayRestore() {
  hidden_in_tray_ = false;
  env_.view.ShowTrayIcon(false);
  ShowWindow();
}

void CHVXDlg::OnScheduledScanOffer() {
  env_.log.LogLine(u"A second instance asked for a scheduled scan");
  // The question's own message loop may bring another offer: one question.
  if (offer_asked_) return;
  offer_asked_ = true;
  const PromptAnswer answer =
      env_.prompts.Ask(env_.strings(u"IDS_SCHEDULE_RUNNING"), PromptButtons::kYesNo, PromptIcon::kQuestion);
  offer_asked_ = false;
  if (answer != PromptAnswer::kYes) return;
  if (scanning_ || scan_start_pending_ || repairing_ || env_.scan.IsRunning()) {
    env_.log.LogLine(u"The scheduled scan is not started: a scan or repair runs");
    return;
  }
  if (hidden_in_tray_) OnTrayRestore();
  RequestScan();
}

void CHVXDlg::UnattendedScanDone() {
  if (const WinError e = env_.store.SaveSettings(env_.settings); e != err::kSuccess)
    env_.log.LogLine(u"SaveSettings failed : " + ToText(static_cast<std::int64_t>(e)));
  ShowPopup(ScanResultPopup(env_.scan.ProblemCount(), false, env_.strings));
}

void CHVXDlg::RunReminder() {
  const int days = env_.store.DaysSinceLastScan(env_.clock);
  if (const auto content = ReminderPopup(env_.scan.ProblemCount(), days, env_.strings)) {
    ShowPopup(*content);
    return;
  }
  env_.log.LogLine(u"PostQuitMessage : Chota Dibba Work");
  env_.view.Quit();
}

void CHVXDlg::ShowPopup(const PopupContent& content) {
  if (env_.view.ShowPopup(content)) return;
  // A hidden run without its pop-up has nothing left to do.
  env_.log.LogLine(u"The pop-up could not be shown");
  if (!shown_) env_.view.Quit();
}

void CHVXDlg::OnPopupClick(PopupAction action) {
  if (action == PopupAction::kStartUpdate) return;
  env_.mode = DialogMode::kInteractive;
  env_.view.EnterInteractive();
  may_show_ = true;
  if (hidden_in_tray_) OnTrayRestore();
  ShowWindow();
  switch (action) {
    case PopupAction::kShowResults:
      if (env_.scan.ProblemCount() > 0) PrepareResults();
      else ShowChild(dlg::kScreenHome);
      break;
    case PopupAction::kStartScan: RequestScan(); break;
    default: ShowChild(dlg::kScreenHome); break;
  }
}

void CHVXDlg::OnPopupClosed() {
  if (shown_) return;
  env_.view.Quit();
}

Text CHVXDlg::DayText(int days) {
  if (days < 0) return env_.strings(u"IDS_NOSCAN");
  if (days == 0) return env_.strings(u"IDS_TODAY");
  if (days == 1) return env_.strings(u"IDS_YESTERDAY");
  return FormatNumbers(env_.strings(u"IDS_DAYSAGO"), {days});
}

std::vector<Text> CHVXDlg::HomePageArgs() {
  const int count = env_.scan.ProblemCount();
  const int days = env_.store.DaysSinceLastScan(env_.clock);
  const Text count_text =
      count == 1 ? env_.strings(u"IDS_ERRORCOUNT") : FormatNumbers(env_.strings(u"IDS_ERRORCOUNTS"), {count});
  return {ToText(count), env_.settings.StrLastScan, ToText(days), DayText(days), count_text};
}

std::vector<Text> CHVXDlg::ScanSettingsPageArgs() {
  std::vector<Text> args = HomePageArgs();
  // Localised texts are trimmed, so the blank after the prefix is added here.
  args[3] = env_.strings(u"IDS_SCANNED") + u" " + args[3];
  return args;
}

}  // namespace hs
