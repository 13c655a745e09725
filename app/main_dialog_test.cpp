#include "app/main_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <utility>

#include "app/page_texts.h"
#include "platform/store/registry_store.h"
#include "testing/manual_clock.h"
#include "testing/memory_log.h"

namespace hs {
namespace {

using Events = std::vector<std::string>;

std::string U8(TextView t) { return ToUtf8(t); }

// Window and pages write what they were asked into one event list.
class FakeView final : public MainWindowView {
 public:
  explicit FakeView(Events& e) : e_(e) {}
  void Show() override { visible = true; Note("show"); }
  void Hide() override { visible = false; Note("hide"); }
  void Minimise() override { Note("minimise"); }
  void ShowTrayIcon(bool on) override { Note(on ? "tray on" : "tray off"); }
  void SetTimer(int id, std::uint32_t ms) override { Note("timer " + std::to_string(id) + " " + std::to_string(ms)); }
  void KillTimer(int id) override { Note("kill " + std::to_string(id)); }
  void EnableNavigation(bool on) override { Note(on ? "nav on" : "nav off"); }
  void ShowScreen(int child) override { Note("screen " + std::to_string(child)); }
  void PostCommand(int id) override { Note("post " + std::to_string(id)); }
  void ShowProblemList() override { Note("problem list"); }
  void ShowScanAreaSettings() override { Note("scan areas"); }
  void ShowLoadingPage(bool on) override { Note(on ? "loading on" : "loading off"); }
  void PostToScreen(int screen, int id) override { Note("post " + std::to_string(screen) + ":" + std::to_string(id)); }
  void HideSplash() override { Note("splash off"); }
  bool ShowPopup(const PopupContent& c) override {
    std::string s = "popup";
    for (const Text& line : c.lines) s += " " + U8(line);
    Note(s + (c.link.empty() ? "" : " / " + U8(c.link)));
    return popup_ok;
  }
  void EnterInteractive() override { Note("interactive"); }
  void StartUpdateCheck() override { Note("update check"); }
  void ShowCompactionResult() override { Note("compaction result"); }
  void Quit() override { Note("quit"); }
  bool visible = false;
  bool popup_ok = true;

 private:
  void Note(std::string s) { e_.push_back(std::move(s)); }
  Events& e_;
};

class FakePage final : public PageHost {
 public:
  FakePage(Events& e, std::string name) : e_(e), name_(std::move(name)) {}
  bool CallScript(TextView fn, const std::vector<Text>& args) override {
    std::string s = name_ + " " + U8(fn) + "(";
    for (std::size_t i = 0; i < args.size(); ++i) s += (i ? "," : "") + U8(args[i]);
    e_.push_back(s + ")");
    return !fail;
  }
  Text LastError() const override { return u"page not loaded"; }
  bool fail = false;

 private:
  Events& e_;
  std::string name_;
};

class FakeScan final : public ScanDriver {
 public:
  bool Start(std::uint32_t mask, int areas) override {
    starts.emplace_back(mask, areas);
    running = true;
    return true;
  }
  void Stop() override { ++stops; }
  bool IsRunning() const override { return running; }
  int ProblemCount() const override { return problems; }
  int SelectedCount() const override { return selected; }
  bool StartRepair() override { return ++repairs > 0; }
  std::vector<int> AreaProblemCounts() const override {
    std::vector<int> counts;
    for (const auto& area : rows) counts.push_back(static_cast<int>(area.size()));
    return counts;
  }
  bool ResultRow(int area, int index, Text* entry, Text* reason) const override {
    if (area >= static_cast<int>(rows.size()) || index >= static_cast<int>(rows[area].size())) return false;
    *entry = rows[area][index];
    *reason = u"gone";
    return true;
  }
  std::vector<std::vector<Text>> rows;  // per area, the entries of its problems
  std::vector<std::pair<std::uint32_t, int>> starts;
  bool running = false;
  int stops = 0, problems = 0, selected = 0, repairs = 0;
};

class FakePrompts final : public Prompts {
 public:
  PromptAnswer Ask(TextView text, PromptButtons buttons, PromptIcon) override {
    shown.push_back(U8(text));
    if (while_shown) std::exchange(while_shown, nullptr)();
    last_buttons = buttons;
    return buttons == PromptButtons::kOk ? PromptAnswer::kOk : answer;
  }
  Events shown;  // texts are their keys
  std::function<void()> while_shown;  // runs once, inside the next Ask
  PromptButtons last_buttons = PromptButtons::kOk;
  PromptAnswer answer = PromptAnswer::kYes;
};

class MainDialogTest : public ::testing::Test {
 protected:
  explicit MainDialogTest(DialogMode mode = DialogMode::kInteractive)
      : dlg({view, home, settings_page, progress, results, loading, scan, prompts, store, settings, clock, log, Lookup,
             mode}) {}

  static Text Lookup(TextView key) {
    static const std::map<Text, Text> texts = {{u"IDS_DAYSAGO", u"%d days ago"},
                                               {u"IDS_ERRORCOUNT", u"1 problem"},
                                               {u"IDS_ERRORCOUNTS", u"%d problems"},
                                               {u"IDS_SCANNED", u"Last scan:"},
                                               {u"IDS_ERR_FOUND", u"%d waiting"},
                                               {u"IDS_NOT_SCANNED", u"%d days unscanned"}};
    const auto it = texts.find(Text(key));
    return it == texts.end() ? Text(key) : it->second;
  }
  void Select(std::uint32_t mask) { ASSERT_EQ(0, store.WriteProfileInt(u"Settings", u"SelectedCategories", mask)); }
  void LastScanDaysAgo(int days) {
    ASSERT_EQ(0, store.WriteScanTime(CalendarTime(CalendarSeconds(clock.LocalTime()) - days * 86400 - 60)));
  }
  // A scan started and running on the progress screen.
  void StartScan() {
    dlg.OnCommand(dlg::kCmdStartScan);
    dlg.OnTimer(dlg::kTimerStart);
    ASSERT_TRUE(dlg.scanning());
  }
  void EndScan(int problems) {
    scan.running = false;
    scan.problems = problems;
    dlg.OnScanEnded();
  }
  bool Has(const std::string& e) const { return std::find(events.begin(), events.end(), e) != events.end(); }
  std::size_t LogCount(TextView line) const {
    const auto lines = log.Lines();
    return std::count(lines.begin(), lines.end(), Text(line));
  }

  Events events;
  FakeView view{events};
  FakePage home{events, "home"}, settings_page{events, "settings"}, progress{events, "progress"};
  FakePage results{events, "results"}, loading{events, "loading"};
  FakeScan scan;
  FakePrompts prompts;
  RegistryStore registry;
  MemoryLog log;
  SettingsStore store{registry, log};
  AppSettings settings;
  ManualClock clock{DateTime{2026, 3, 10, 12, 0, 0}};
  CHVXDlg dlg;
};

TEST_F(MainDialogTest, ScreenCommandsArmTimersThatShowScreensWithTheirPageArguments) {
  EXPECT_TRUE(dlg.OnCommand(dlg::kCmdHome));
  EXPECT_TRUE(dlg.OnCommand(dlg::kCmdRegistryOptimisation));
  EXPECT_EQ((Events{"timer 107 90", "timer 108 90"}), events);
  events.clear();
  dlg.OnTimer(107);
  EXPECT_EQ((Events{"kill 107", "screen 107", "home OnWelcomeNext(0,,-1,IDS_NOSCAN,0 problems)"}), events);
  EXPECT_EQ(Text(u"Got the OnTimer Message 107 "), log.Lines().at(0));

  settings.StrLastScan = u"Mon. March 09, 2026. 11:00 AM";
  const std::vector<std::pair<int, std::string>> days = {{0, "Today"}, {1, "Yesterday"}, {5, "5 days ago"}};
  for (const auto& [n, text] : days) {
    LastScanDaysAgo(n);
    scan.problems = n == 1 ? 1 : 7;
    const auto home_args = dlg.HomePageArgs();
    const auto settings_args = dlg.ScanSettingsPageArgs();
    EXPECT_EQ(std::to_string(n), U8(home_args[2]));
    EXPECT_EQ(n == 0 ? "IDS_TODAY" : n == 1 ? "IDS_YESTERDAY" : text, U8(home_args[3]));
    EXPECT_EQ("Last scan: " + U8(home_args[3]), U8(settings_args[3]));
    EXPECT_EQ(n == 1 ? "1 problem" : "7 problems", U8(home_args[4]));
    EXPECT_EQ(settings.StrLastScan, home_args[1]);
  }
}

TEST_F(MainDialogTest, ScanStartsTheGroupsTouchedByTheSelection) {
  Select(0x0001 | 0x0020);  // one area of group 2, one of group 3
  dlg.OnCommand(dlg::kCmdStartScan);
  EXPECT_EQ((Events{"screen 106", "timer 101 1"}), events);
  events.clear();
  dlg.OnTimer(dlg::kTimerStart);
  EXPECT_EQ((Events{"kill 101", "progress setcheckboxstatus(0,1,1,0)", "nav off", "progress setvarsforscan()",
                    "progress SetScanProgressBar(1)"}),
            events);
  ASSERT_EQ(1u, scan.starts.size());
  EXPECT_EQ(0x0005u | 0x22A0u, scan.starts[0].first);
  EXPECT_EQ(6, scan.starts[0].second);

  events.clear();
  dlg.OnCommand(dlg::kCmdStartScan);
  EXPECT_TRUE(events.empty()) << "a running scan is not started again";

  Select(0);
  EndScan(0);
  events.clear();
  dlg.OnCommand(dlg::kCmdStartScan);
  dlg.OnTimer(dlg::kTimerStart);
  EXPECT_EQ(1u, scan.starts.size());
  EXPECT_FALSE(dlg.scanning());
  EXPECT_EQ("IDS_NO_SELECTED", prompts.shown.back());
  EXPECT_TRUE(Has("scan areas"));
}

TEST(ProgressPathText, BreaksLongPathsAfter110Units) {
  const auto path = [](std::size_t n) {
    Text t;
    for (std::size_t i = 0; i < n; ++i) t.push_back(static_cast<char16_t>(u'a' + i % 26));
    return t;
  };
  EXPECT_EQ(path(120), ProgressPathText(path(120)));
  for (std::size_t n : {121u, 130u, 167u, 168u, 200u, 217u, 300u}) {
    const Text p = path(n);
    const Text tail = p.substr(110, 107) + (n >= 168 ? u"..." : u"");
    EXPECT_EQ(p.substr(0, 110) + u"<br>" + tail, ProgressPathText(p)) << n;
  }
  EXPECT_EQ(110u + 4u + 107u + 3u, ProgressPathText(path(300)).size());
}

TEST_F(MainDialogTest, ProgressReportsAndStopping) {
  StartScan();
  events.clear();
  dlg.OnScanProgress(u"HKCU\\a", 1, 2);
  dlg.OnScanProgress(u"HKCU\\b", 2, 0);
  dlg.OnScanProgress(u"HKCU\\c", 2, 3);
  EXPECT_EQ((Events{"progress updatePath(HKCU\\a,1,2)", "progress SetScanProgressBar(2)",
                    "progress updatePath(HKCU\\b,2,0)", "progress updatePath(HKCU\\c,2,3)"}),
            events);

  prompts.answer = PromptAnswer::kNo;
  dlg.OnPageClick(dlg::kPageProgress, u"btnBottomStopscanMiddle");
  EXPECT_EQ("IDS_STOP_SCAN_DES", prompts.shown.back());
  EXPECT_EQ(PromptButtons::kYesNoDefaultNo, prompts.last_buttons);
  EXPECT_EQ(0, scan.stops);
  prompts.answer = PromptAnswer::kYes;
  dlg.OnPageClick(dlg::kPageProgress, u"btnBottomStopscan");
  EXPECT_EQ(1, scan.stops);
  events.clear();
  dlg.OnScanProgress(u"HKCU\\d", 3, 1);
  EXPECT_TRUE(events.empty()) << "reports after a stop are ignored";
}

TEST_F(MainDialogTest, ScanEndShowsResultsOrReturnsWithAMessage) {
  StartScan();
  dlg.OnScanProgress(u"x", 4, 1);
  events.clear();
  EndScan(3);
  EXPECT_EQ((Events{"progress SetScanProgressBar(4)", "nav on", "timer 112 27"}), events);
  EXPECT_TRUE(prompts.shown.empty());
  EXPECT_EQ(3, settings.StrLastScanResults);

  StartScan();
  events.clear();
  EndScan(0);
  EXPECT_TRUE(Has("timer 105 90")) << "no problems: back to the scan settings";
  EXPECT_EQ("IDS_NO_ERRORS_FOUND", prompts.shown.back());

  scan.selected = 1;
  scan.problems = 1;
  dlg.OnRepairClick();
  EXPECT_EQ(1, scan.repairs);
  dlg.OnCommand(dlg::kCmdRepairDone);
  EXPECT_FALSE(dlg.repairing());
  EXPECT_TRUE(Has("timer 111 270"));
  dlg.OnPageClick(dlg::kPageAfterRepair, u"idBtnScanAgain");
  dlg.OnTimer(dlg::kTimerStart);
  events.clear();
  EndScan(0);
  EXPECT_TRUE(Has("timer 107 90")) << "a scan after a repair ends on the home screen";
  StartScan();
  events.clear();
  EndScan(0);
  EXPECT_TRUE(Has("timer 105 90")) << "the repair flag is cleared by the scan that followed it";
}

class ScanModeTest : public MainDialogTest {
 protected:
  ScanModeTest() : MainDialogTest(DialogMode::kScan) {}
};

TEST_F(ScanModeTest, WindowNeverShowsAndTheEndIsPosted) {
  dlg.Open();
  dlg.OnTimer(dlg::kTimerStart);
  ASSERT_TRUE(dlg.scanning()) << "mode scan starts its scan at initialisation";
  dlg.OnTimer(dlg::kTimerHomeLoaded);
  EndScan(2);
  EXPECT_TRUE(Has("post 1174"));
  EXPECT_FALSE(Has("timer 109 90"));
  dlg.OnTrayRestore();
  for (int t = 105; t <= 111; ++t) dlg.OnTimer(t);
  EXPECT_FALSE(view.visible);
  EXPECT_FALSE(Has("show"));
  EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(MainDialogTest, StartUpShowsTheWindowOnceTheHomePageHasLoaded) {
  settings.StartMinimized = 1;
  DialogStart start;
  start.first_run = true;
  dlg.Open(start);
  EXPECT_EQ((Events{"timer 101 128"}), events);
  EXPECT_EQ(1u, LogCount(u"OnInitDialog"));
  EXPECT_EQ(1u, LogCount(u"m_dlgHome Created"));
  EXPECT_EQ(1u, LogCount(u"Init Dlg Finished"));
  dlg.OnTimer(dlg::kTimerStart);
  EXPECT_TRUE(Has("minimise"));
  EXPECT_TRUE(scan.starts.empty()) << "the start-minimised expiry starts no scan";
  events.clear();
  dlg.OnTimer(dlg::kTimerHomeLoaded);
  EXPECT_EQ((Events{"kill 103", "screen 107", "home OnWelcomeNext(0,,-1,IDS_NOSCAN,0 problems)", "minimise",
                    "timer 102 2048"}),
            events);
  EXPECT_FALSE(view.visible);
  dlg.OnTimer(dlg::kTimerUpdateCheck);
  EXPECT_TRUE(Has("update check"));
  dlg.OnTrayRestore();
  EXPECT_TRUE(view.visible);
}

TEST_F(MainDialogTest, StartUpModesAndElevatedRestarts) {
  {  // default: the splash goes, the reminder decides (nothing to remind of
     // here: the run ends), the window stays hidden.
    DialogStart start;
    start.flags.default_task = true;
    start.splash_shown = true;
    dlg.Open(start);
    dlg.OnTimer(dlg::kTimerHomeLoaded);
    EXPECT_TRUE(Has("splash off"));
    EXPECT_TRUE(Has("quit"));
    EXPECT_EQ(1u, LogCount(u"Hide the splash"));
    dlg.OnTrayRestore();
    EXPECT_FALSE(view.visible);
  }
  {  // rem on a first run: the update check waits long, a scan starts now.
    events.clear();
    DialogStart start;
    start.flags.reminder = true;
    start.first_run = true;
    dlg.Open(start);
    dlg.OnTimer(dlg::kTimerHomeLoaded);
    EXPECT_TRUE(view.visible);
    EXPECT_TRUE(Has("timer 102 1062048"));
    EXPECT_TRUE(Has("timer 101 1")) << "the reminder's scan";
  }
  {  // Elevated restarts post to the screens that finish the job.
    events.clear();
    scan.problems = 2;
    settings.StartMinimized = 1;
    DialogStart start;
    start.flags.vista_scan = start.flags.vista_full_backup = start.flags.vista_schedule = true;
    start.flags.after_compaction = true;
    dlg.Open(start);
    EXPECT_EQ((Events{"post 1154", "post 214", "post 214:260", "post 256", "post 256:254", "timer 104 3072"}), events)
        << "no start-minimised timer after a compaction";
    events.clear();
    dlg.OnTimer(dlg::kTimerCompactionResult);
    EXPECT_EQ((Events{"kill 104", "compaction result", "timer 112 27"}), events);
  }
  for (bool restart : {false, true}) {  // the home page's arrival leaves a restart's screen in front
    SCOPED_TRACE(restart);
    events.clear();
    DialogStart start;
    start.flags.vista_full_backup = restart;
    dlg.Open(start);
    dlg.OnTimer(dlg::kTimerHomeLoaded);
    EXPECT_EQ(!restart, Has("screen 107"));
  }
}

TEST_F(MainDialogTest, RepairClicksWithinTheGapAreOneRepair) {
  dlg.OnRepairClick();  // the first click, at tick 0, counts
  EXPECT_EQ("IDS_NO_ERRORS_SELECTED", prompts.shown.back());
  EXPECT_TRUE(Has("problem list"));
  clock.AdvanceMs(3072);
  scan.selected = 2;
  dlg.OnPageClick(dlg::kPageResults, u"btnStartCleanNewRight");
  clock.AdvanceMs(1000);
  dlg.OnPageClick(dlg::kPageResults, u"string171");
  EXPECT_EQ(1, scan.repairs);
  EXPECT_EQ(1u, LogCount(u"OnbtnStartClean : clicked with in 3072 return S_OK without clean"));
  clock.AdvanceMs(2072);
  dlg.OnRepairClick();
  EXPECT_EQ(1u, LogCount(u"OnbtnStartClean : Cleaning already going on"));
  EXPECT_EQ(2u, LogCount(u"Clicked on Fix Errors"));
  EXPECT_EQ(1, scan.repairs);

  // Every repair element of the results page, and nothing else.
  for (const char16_t* id : {u"btnStartClean1", u"btnStartClean11Left", u"btnStartClean12Middle", u"string170"}) {
    clock.AdvanceMs(5000);
    dlg.OnPageClick(dlg::kPageResults, id);
  }
  clock.AdvanceMs(5000);
  dlg.OnPageClick(dlg::kPageResults, u"btnStartClean1Top");
  dlg.OnPageClick(dlg::kPageHome, u"string170");
  EXPECT_EQ(5u, LogCount(u"OnbtnStartClean : Cleaning already going on"));
}

TEST_F(MainDialogTest, HomeFixErrorsScansOrShowsResults) {
  dlg.OnPageClick(dlg::kPageHome, u"idFixErrors");
  EXPECT_EQ((Events{"screen 106", "timer 101 1"}), events);
  dlg.OnTimer(dlg::kTimerStart);
  EndScan(4);
  events.clear();
  dlg.OnPageClick(dlg::kPageHome, u"string103");
  EXPECT_EQ((Events{"timer 112 27"}), events);
}

TEST_F(MainDialogTest, ResultsPageGetsItsCountsThenTheListOnDemand) {
  scan.rows = {{u"HKLM\\a", u"HKLM\\b"}, {}, {u"C:\\x.dll"}};
  scan.problems = 3;
  dlg.OnCommand(dlg::kCmdShowResults);
  events.clear();
  dlg.OnTimer(dlg::kTimerResultCounts);
  EXPECT_EQ((Events{"kill 112", "results UpdateResultsPage(2,0,1,0,0,0,0,0,0,0,0,0,0,0)", "timer 109 90"}), events);

  events.clear();
  dlg.FillResultList([] { return false; });
  EXPECT_EQ((Events{"loading settexts(string162,string163,string164)", "loading on",
                    "results AddListRow(0,HKLM\\a,gone)", "results AddListRow(0,HKLM\\b,gone)",
                    "results AddListRow(2,C:\\x.dll,gone)", "results SaveResultList()", "loading off"}),
            events);

  // Cancelled after the first row: the list is closed and the results shown again.
  events.clear();
  int asked = 0;
  dlg.FillResultList([&] { return ++asked > 1; });
  EXPECT_EQ((Events{"loading settexts(string162,string163,string164)", "loading on",
                    "results AddListRow(0,HKLM\\a,gone)", "results SaveResultList()", "loading off", "timer 112 27"}),
            events);

  events.clear();
  dlg.OnPageClick(dlg::kPageResults, u"btnbottomDetailedView");
  dlg.OnPageClick(dlg::kPageResults, u"idBackToResults1");
  EXPECT_EQ((Events{"problem list", "timer 112 27"}), events);
}

TEST_F(MainDialogTest, ClosingGoesToTheTrayOrQuitsWhenIdle) {
  settings.GoToSystemTrayOnClose = 1;
  dlg.OnCancel(true);
  EXPECT_TRUE(events.empty()) << "Escape does not close";
  dlg.OnCancel(false);
  EXPECT_EQ((Events{"hide", "tray on"}), events);
  EXPECT_TRUE(dlg.hidden_in_tray());
  dlg.OnTrayRestore();
  EXPECT_FALSE(dlg.hidden_in_tray());
  EXPECT_TRUE(view.visible);

  settings.GoToSystemTrayOnClose = 0;
  dlg.OnCancel(false);
  EXPECT_EQ(1u, LogCount(u"PostQuitMessage : ShowExitDialog"));
  EXPECT_EQ("quit", events.back());

  events.clear();
  StartScan();
  dlg.OnSysClose();
  EXPECT_FALSE(Has("quit")) << "no close during a scan";
  EndScan(0);
  settings.NumTimesHSWRunned = 42;
  dlg.OnSysClose();
  EXPECT_EQ("quit", events.back());
  EXPECT_EQ(1u, LogCount(u"PostQuitMessage : SC_CLOSE"));
  AppSettings saved;
  ASSERT_EQ(0, store.LoadSettings(&saved));
  EXPECT_EQ(42u, saved.NumTimesHSWRunned);
}

TEST_F(MainDialogTest, FailedPageCallIsLogged) {
  home.fail = true;
  dlg.OnTimer(107);
  EXPECT_EQ(1u, LogCount(u"CallScript OnWelcomeNext failed : page not loaded"));
}

}  // namespace
}  // namespace hs

namespace hs {
namespace {

// The key lookup of MainDialogTest returns unknown keys as they are, so a
// LoadStrings call lists the page's keys.
std::string KeyCall(const std::string& page, const char* fn, std::span<const char16_t* const> keys) {
  std::string s = page + " " + fn + "(";
  for (std::size_t i = 0; i < keys.size(); ++i) s += (i ? "," : "") + ToUtf8(Text(keys[i]));
  return s + ")";
}

TEST_F(MainDialogTest, LoadedPagesGetLanguageAndTheirTextsInPageOrder) {
  dlg.OnPageLoaded(dlg::kPageHome);
  EXPECT_EQ((Events{"home setlanguage(en)", KeyCall("home", "LoadStrings", FindPageTexts(dlg::kPageHome)->keys),
                    "home OnWelcomeNext(0,,-1,IDS_NOSCAN,0 problems)"}),
            events);

  // The results page: the font flag, LoadStringsDiv, then the counts it would lack.
  events.clear();
  scan.rows = {{u"a", u"b"}, {}, {u"c"}};
  dlg.OnPageLoaded(dlg::kPageResults);
  ASSERT_EQ(3u, events.size());
  EXPECT_EQ("results setlanguage(en,0)", events[0]);
  EXPECT_EQ(KeyCall("results", "LoadStringsDiv", FindPageTexts(dlg::kPageResults)->keys), events[1]);
  EXPECT_EQ("results UpdateResultsPage(2,0,1,0,0,0,0,0,0,0,0,0,0,0)", events[2]);

  // Pages without a host are skipped; an unknown page is ignored.
  events.clear();
  dlg.OnPageLoaded(dlg::kPageAfterRepair);
  dlg.OnPageLoaded(999);
  EXPECT_TRUE(events.empty());
}

class PageHostsTest : public MainDialogTest {
 protected:
  PageHostsTest() : dlg2(Env()) {}
  MainDialogEnv Env() {
    MainDialogEnv env{view, home, settings_page, progress, results, loading, scan, prompts, store, settings, clock,
                      log, Lookup};
    env.after_repair_page = &after;
    env.optimisation_page = &optimisation;
    env.language_code = u"de";
    env.ui_font_present = true;
    return env;
  }
  FakePage after{events, "after"}, optimisation{events, "optimisation"};
  CHVXDlg dlg2;
};

TEST_F(PageHostsTest, AfterRepairAndOptimisationPagesGetTheirTexts) {
  dlg2.OnPageLoaded(dlg::kPageAfterRepair);
  EXPECT_EQ((Events{"after setlanguage(de)",
                    "after LoadStrings(STR_IDS_CONGS,STR_IDS_RECOMMN,STR_IDS_LIST,STR_IDS_KEEP_REG_CLN,"
                    "STR_IDS_ACDLG_FAST_SPEED,STR_IDS_ACDLG_UNCLUT_REG,STR_IDS_ACDLG_FEWER_ERR,STR_IDS_ACDLG_SAFE,"
                    "IDS_SEL_ERR_REMAINING,IDS_SCAN_AGAIN)"}),
            events);
  events.clear();
  dlg2.OnPageLoaded(dlg::kPageOptimisation);
  dlg2.OnPageLoaded(dlg::kPageResults);
  EXPECT_EQ("optimisation setlanguage(de)", events.at(0));
  EXPECT_EQ("results setlanguage(de,1)", events.at(2));
}

TEST_F(MainDialogTest, ScanSettingsGroupLinksOpenTheAreaSettings) {
  for (const char16_t* id : {u"idcat1", u"idcat4", u"string24", u"string30"})
    dlg.OnPageClick(dlg::kPageScanSettings, id);
  EXPECT_EQ(Events(4, "scan areas"), events);
  events.clear();
  dlg.OnPageClick(dlg::kPageScanSettings, u"string25");  // a description, not a link
  EXPECT_TRUE(events.empty());
}

TEST_F(MainDialogTest, AScheduledScanOfferAsksFirstAndScansOnlyOnYesWhenIdle) {
  settings.GoToSystemTrayOnClose = 1;
  dlg.OnCancel(false);  // closed to the tray
  ASSERT_TRUE(dlg.hidden_in_tray());
  Select(0x5);
  prompts.answer = PromptAnswer::kNo;
  EXPECT_TRUE(dlg.OnCommand(dlg::kCmdOfferScheduledScan));
  EXPECT_EQ((Events{"IDS_SCHEDULE_RUNNING"}), prompts.shown);
  EXPECT_EQ(PromptButtons::kYesNo, prompts.last_buttons);
  EXPECT_TRUE(dlg.hidden_in_tray()) << "No leaves the window in the tray";
  EXPECT_FALSE(Has("timer 101 1"));

  prompts.answer = PromptAnswer::kYes;
  events.clear();
  prompts.shown.clear();
  // A second offer while the question shows asks nothing more.
  prompts.while_shown = [this] { dlg.OnCommand(dlg::kCmdOfferScheduledScan); };
  dlg.OnCommand(dlg::kCmdOfferScheduledScan);
  EXPECT_EQ((Events{"IDS_SCHEDULE_RUNNING"}), prompts.shown);
  EXPECT_FALSE(dlg.hidden_in_tray());
  EXPECT_TRUE(view.visible);
  EXPECT_TRUE(Has("tray off"));
  dlg.OnTimer(dlg::kTimerStart);
  ASSERT_EQ(1u, scan.starts.size()) << "Yes scans the ticked areas";
  EXPECT_EQ(0x5u, scan.starts[0].first);

  // While that scan runs, another offer is asked but starts nothing.
  prompts.shown.clear();
  dlg.OnCommand(dlg::kCmdOfferScheduledScan);
  dlg.OnTimer(dlg::kTimerStart);
  EXPECT_EQ((Events{"IDS_SCHEDULE_RUNNING"}), prompts.shown);
  EXPECT_EQ(1u, scan.starts.size());
  EndScan(0);
  // Nor during a repair, which also keeps a window in the tray there.
  ASSERT_TRUE(dlg.OnCommand(dlg::kCmdRepair));
  ASSERT_TRUE(dlg.repairing());
  dlg.OnCancel(false);
  dlg.OnCommand(dlg::kCmdOfferScheduledScan);
  dlg.OnTimer(dlg::kTimerStart);
  EXPECT_EQ(1u, scan.starts.size());
  EXPECT_TRUE(dlg.hidden_in_tray());
}

TEST_F(ScanModeTest, TheEndSavesTheCountAndShowsTheResultPopup) {
  Select(0xFFFF);
  dlg.Open();
  dlg.OnTimer(dlg::kTimerStart);
  ASSERT_TRUE(dlg.scanning());
  EndScan(3);
  EXPECT_EQ(3, settings.StrLastScanResults);
  events.clear();
  ASSERT_TRUE(dlg.OnCommand(dlg::kCmdUnattendedScanDone));
  EXPECT_EQ((Events{"popup IDS_HVX_FOUND_NUM 3 IDS_ERRORS IDS_DURING_SCH_SCAN / IDS_CLICK_TOVIEW_RESULTS"}), events);
  AppSettings saved;
  ASSERT_EQ(0, store.LoadSettings(&saved));
  EXPECT_EQ(3, saved.StrLastScanResults) << "the count is saved before the pop-up shows";
  EXPECT_FALSE(Has("quit"));
  EXPECT_TRUE(prompts.shown.empty());

  // Closing the pop-up of a window that never showed ends the program.
  dlg.OnPopupClosed();
  EXPECT_TRUE(Has("quit"));
}

TEST_F(ScanModeTest, NoTickedAreaShowsItsPopupInsteadOfAMessage) {
  Select(0);
  dlg.Open();
  events.clear();
  dlg.OnTimer(dlg::kTimerStart);
  EXPECT_TRUE(scan.starts.empty());
  EXPECT_TRUE(prompts.shown.empty()) << "IDS_NO_SELECTED would wait for nobody";
  EXPECT_TRUE(Has("popup IDS_CUD_NOT_COMP_SCHED_SCAN IDS_AS_NOSCANAREA_SEL / IDS_CLICKTO_OPEN_HVX"));
  EXPECT_FALSE(Has("quit"));
  // A pop-up that cannot show leaves nothing to wait for.
  view.popup_ok = false;
  events.clear();
  dlg.OnTimer(dlg::kTimerStart);  // nothing pending: no second pop-up
  scan.problems = 0;
  dlg.OnCommand(dlg::kCmdUnattendedScanDone);
  EXPECT_TRUE(Has("quit"));
}

TEST_F(ScanModeTest, APopupClickMakesTheRunInteractiveAndShowsItsScreen) {
  Select(0xFFFF);
  dlg.Open();
  dlg.OnTimer(dlg::kTimerStart);
  EndScan(2);
  dlg.OnCommand(dlg::kCmdUnattendedScanDone);
  events.clear();
  dlg.OnPopupClick(PopupAction::kShowResults);
  EXPECT_TRUE(Has("interactive"));
  EXPECT_TRUE(view.visible);
  EXPECT_TRUE(Has("timer 112 27")) << "the results screen is prepared";
  dlg.OnPopupClosed();
  EXPECT_FALSE(Has("quit")) << "the shown window keeps the program";
  // From now on the window behaves as in an ordinary run.
  dlg.OnCommand(dlg::kCmdShowResults);
  EXPECT_FALSE(Has("post 1174"));
}

TEST_F(ScanModeTest, AnUpdateClickIsNotTheWindowsAndHomeIsShownForNoProblems) {
  dlg.OnPopupClick(PopupAction::kStartUpdate);
  EXPECT_TRUE(events.empty());
  dlg.OnPopupClick(PopupAction::kShowHome);
  EXPECT_TRUE(view.visible);
  EXPECT_TRUE(Has("screen 107"));
}

TEST_F(MainDialogTest, TheDefaultTaskRemindsOfProblemsOrAnOldScanAndElseEnds) {
  DialogStart start;
  start.flags.default_task = true;
  dlg.Open(start);
  // No problems: the days since the last scan decide (-1: never scanned).
  for (const auto& [days, popup] : std::vector<std::pair<int, bool>>{{-1, false}, {7, true}, {30, true}, {6, false}}) {
    if (days >= 0) LastScanDaysAgo(days);
    events.clear();
    log.Clear();
    dlg.OnTimer(dlg::kTimerHomeLoaded);
    EXPECT_EQ(popup, Has("popup " + std::to_string(days) + " days unscanned")) << days;
    EXPECT_EQ(!popup, Has("quit")) << days;
    EXPECT_EQ(popup ? 0u : 1u, LogCount(u"PostQuitMessage : Chota Dibba Work")) << days;
  }
  // Problems waiting: reminded whatever the date.
  scan.problems = 4;
  LastScanDaysAgo(1);
  events.clear();
  dlg.OnTimer(dlg::kTimerHomeLoaded);
  EXPECT_TRUE(Has("popup 4 waiting"));
  EXPECT_FALSE(Has("quit"));
  EXPECT_FALSE(view.visible);
  dlg.OnPopupClosed();
  EXPECT_TRUE(Has("quit")) << "the hidden reminder run ends with its pop-up";
}

TEST_F(MainDialogTest, AReminderClickShowsTheWindowAndScans) {
  DialogStart start;
  start.flags.default_task = true;
  dlg.Open(start);
  Select(0x5);
  LastScanDaysAgo(9);
  dlg.OnTimer(dlg::kTimerHomeLoaded);
  ASSERT_TRUE(Has("popup 9 days unscanned"));
  dlg.OnPopupClick(PopupAction::kStartScan);
  EXPECT_TRUE(view.visible);
  dlg.OnTimer(dlg::kTimerStart);
  ASSERT_EQ(1u, scan.starts.size());
  events.clear();
  dlg.OnPopupClosed();
  EXPECT_FALSE(Has("quit"));
}

}  // namespace
}  // namespace hs
