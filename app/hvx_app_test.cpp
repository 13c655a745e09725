// Start-up and shutdown of the application object on the build's registry
// and file system, with a hand-set clock (the waits take no time).
#include "app/hvx_app.h"

#include "app/app_scan_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <thread>

#include "app/main_dialog.h"
#include "backup/undo_backup.h"
#include "platform/callback_notifier.h"
#include "platform/reg_text.h"
#include "platform/trash_recycle_bin.h"
#include "platform/url_history.h"
#include "platform/portable_key_protection.h"
#include "platform/portable_system_info.h"
#include "testing/manual_clock.h"
#include "testing/memory_log.h"
#include "testing/scratch_fs.h"
#include "testing/test_env.h"

namespace hs {
namespace {

class FixedFolders final : public ShellFolders {
 public:
  explicit FixedFolders(Text app_data) : app_data_(std::move(app_data)) {}
  Text AppDataFolder() override { return app_data_; }
  Text SpecialFolderPath(int) override { return {}; }

 private:
  Text app_data_;
};

class FakeInstance final : public SingleInstance {
 public:
  bool AnotherInstanceRuns(TextView name) override {
    lock_name = Text(name);
    return another;
  }
  WindowTarget FindFirstInstance(TextView title) override {
    found_title = Text(title);
    return window;
  }
  void OfferScheduledScan(WindowTarget w) override { offered = w; }
  void BringToFront(WindowTarget w) override { fronted = w; }
  bool another = false;
  WindowTarget window = 0;
  Text lock_name, found_title;
  WindowTarget offered = 0, fronted = 0;
};

class AppStart : public ::testing::Test {
 protected:
  AppStart()
      : registry_(::hs::testing::MakeContractRegistry()),
        wow64_(::hs::testing::MakeContractWow64()),
        system_(MachineFacts{}),
        notifier_([](const CallbackNotifier::Message&) {}),
        clock_(DateTime{2026, 12, 8, 9, 0, 0, 0}),
        folders_(scratch_.Path(u"AppData")),
        ini_(::hs::testing::MakeContractIniReader(scratch_.fs())),
        env_{*registry_, *wow64_, system_, protection_, notifier_, scratch_.fs(), clock_, folders_, *ini_, instance_,
             scratch_.Path(u"Program"), nullptr} {
    EXPECT_EQ(err::kSuccess, scratch_.fs().CreateDirectories(scratch_.Path(u"Program")));
    const std::string ini = "[RESOURCESTRING]\r\nAFX_IDS_APP_TITLE=\"HiveSweep\"\r\nIDS_LANGUAGE=English\r\n";
    EXPECT_EQ(err::kSuccess, scratch_.fs().WriteFileAtomic(scratch_.Path(u"Program\\eng_hsw.ini"),
                                                          std::vector<std::uint8_t>(ini.begin(), ini.end())));
    (void)registry_->DeleteTree(kHkeyCurrentUser, u"Software\\Corvanta", 0);
  }
  ~AppStart() override { (void)registry_->DeleteTree(kHkeyCurrentUser, u"Software\\Corvanta", 0); }

  std::uint32_t StoredDword(TextView name) {
    RegKey k = 0;
    if (registry_->Open(kHkeyCurrentUser, u"Software\\Corvanta\\HiveSweep", kKeyRead, &k) != err::kSuccess) return 0xDEAD;
    RegValue v;
    std::uint32_t out = 0xDEAD;
    if (registry_->QueryValue(k, name, &v) == err::kSuccess && v.data.size() == 4)
      out = v.data[0] | v.data[1] << 8 | v.data[2] << 16 | static_cast<std::uint32_t>(v.data[3]) << 24;
    registry_->Close(k);
    return out;
  }
  Text DataFile(TextView name) { return scratch_.Path(u"AppData\\Corvanta\\HiveSweep\\") + Text(name); }

  ::hs::testing::ScratchFs scratch_;
  std::unique_ptr<Registry> registry_;
  std::unique_ptr<Wow64> wow64_;
  PortableSystemInfo system_;
  PortableKeyProtection protection_;
  CallbackNotifier notifier_;
  ManualClock clock_;
  FixedFolders folders_;
  std::unique_ptr<IniReader> ini_;
  FakeInstance instance_;
  AppEnvironment env_;
  NullLog log_;
};

TEST_F(AppStart, FirstInstanceLoadsCountsAndSavesAtExit) {
  const std::uint64_t before = clock_.TickMs();
  CHVXApp app(env_);
  ASSERT_TRUE(app.InitInstance({}));
  EXPECT_EQ(kWaitWithoutArgumentsMs, clock_.TickMs() - before);
  EXPECT_EQ(kInstanceMutexName, instance_.lock_name);
  EXPECT_EQ(1u, app.settings().NumTimesHSWRunned);
  EXPECT_TRUE(app.flags().show_main_window);
  EXPECT_EQ(u"HiveSweep", app.AppTitle());
  app.ExitInstance();
  EXPECT_TRUE(scratch_.fs().Exists(DataFile(u"results.hsw"))) << "the (empty) results are saved at exit";
  EXPECT_TRUE(scratch_.fs().Exists(DataFile(u"ExcludeList.hsw")));
  EXPECT_TRUE(scratch_.fs().Exists(DataFile(u"TempHLList.hsw")));
  std::vector<std::uint8_t> log;
  ASSERT_EQ(err::kSuccess, scratch_.fs().ReadFile(DataFile(u"log_12-08-2026.log"), 1 << 20, &log));
  const Text text = FromUtf16leBytes(log.data(), log.size());
  EXPECT_NE(Text::npos, text.find(u"ExitInstance!\r\n"));
  EXPECT_NE(Text::npos, text.find(u"ExitInstance Done!\r\n"));
}

// Writes a small whole-registry export; imports nothing.
class TinyWholeEditor final : public WholeRegistryEditor {
 public:
  explicit TinyWholeEditor(FileSystem& fs) : fs_(fs) {}
  RegImportOutcome ExportAll(TextView path, std::uint32_t) override {
    const Text body = Text(kRegTextHeaderLine) + u"\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n\r\n[HKEY_CURRENT_USER\\Software]\r\n";
    return RegImportOutcome{true, true, fs_.WriteFileAtomic(path, EncodeRegFile(body)) == err::kSuccess ? 0u : 1u};
  }
  RegImportOutcome ImportAll(TextView, std::uint32_t) override { return RegImportOutcome{true, true, 0}; }

 private:
  FileSystem& fs_;
};

class NoPrompts final : public Prompts {
 public:
  PromptAnswer Ask(TextView text, PromptButtons, PromptIcon) override {
    shown.emplace_back(text);
    return PromptAnswer::kNo;
  }
  std::vector<Text> shown;
};

class NoLauncher final : public SelfLauncher {
 public:
  WinError StartSelf(LaunchVerb, TextView) override { return 1223; }
};

TEST_F(AppStart, AnElevatedBackupRestartTakesTheBackup) {
  auto editor = ::hs::testing::MakeContractRegEditor(*registry_, scratch_.fs(), log_);
  TinyWholeEditor whole(scratch_.fs());
  NoPrompts prompts;
  NoLauncher launcher;
  env_.editor = editor.get();
  env_.whole = &whole;
  env_.prompts = &prompts;
  env_.launcher = &launcher;
  CHVXApp app(env_);
  ASSERT_TRUE(app.InitInstance({u"hvxvistafullbackup"}));
  EXPECT_EQ(ActionResult::kDone, app.RunStartupBackupAction());
  EXPECT_TRUE(prompts.shown.empty());
  EXPECT_EQ(1u, ListFullBackups(scratch_.fs(), scratch_.Path(u"AppData\\Corvanta\\HiveSweep")).size());
  EXPECT_NE(Text::npos, app.settings().StrLatestRestorePoint.find(u"December 08, 2026"));
  app.ExitInstance();
  // An ordinary start has no backup action.
  CHVXApp plain(env_);
  ASSERT_TRUE(plain.InitInstance({}));
  EXPECT_EQ(ActionResult::kNothing, plain.RunStartupBackupAction());
  plain.ExitInstance();
}

TEST_F(AppStart, UnattendedScanSavesResultsAndSettings) {
  CHVXApp app(env_);
  const std::uint64_t before = clock_.TickMs();
  ASSERT_TRUE(app.InitInstance({u"/SCAN"}));
  EXPECT_EQ(kWaitWithArgumentsMs + kSecondWaitWithArgumentsMs, clock_.TickMs() - before);
  ASSERT_TRUE(app.flags().scan_now);
  ASSERT_TRUE(app.StartUnattendedScan());
  EXPECT_EQ(0, app.FinishUnattendedScan());
  app.ExitInstance();
  EXPECT_TRUE(scratch_.fs().Exists(DataFile(u"results.hsw")));
  EXPECT_EQ(1u, StoredDword(u"NumTimesHSWRunned"));
  EXPECT_EQ(1u, StoredDword(u"StartWhenWinBoots")) << "the defaults are stored";
  EXPECT_EQ(0u, StoredDword(u"RegErrFoundTillDate"));
}

TEST_F(AppStart, ASecondInstanceOnlySignalsTheFirst) {
  instance_.another = true;
  instance_.window = 0x55;
  {
    CHVXApp app(env_);
    EXPECT_FALSE(app.InitInstance({u"scan"}));
    EXPECT_EQ(0x55u, instance_.offered);
    EXPECT_EQ(u"HiveSweep", instance_.found_title);
    EXPECT_EQ(0u, app.settings().NumTimesHSWRunned) << "never loads settings or counts a start";
    app.ExitInstance();
  }
  CHVXApp app(env_);
  EXPECT_FALSE(app.InitInstance({u"-scan"})) << "compared without normalisation: not the scan offer";
  EXPECT_EQ(0x55u, instance_.fronted);
  app.ExitInstance();
  EXPECT_EQ(0xDEADu, StoredDword(u"NumTimesHSWRunned"));
}

TEST_F(AppStart, SilentResultsEndsAtOnce) {
  CHVXApp app(env_);
  EXPECT_FALSE(app.InitInstance({u"silentresults"}));
  EXPECT_TRUE(app.flags().silent_results);
  app.ExitInstance();
}

}  // namespace
}  // namespace hs

namespace hs {
namespace {

TEST_F(AppStart, StartCompletesTheUndoSetOfAnInterruptedRepair) {
  const Text data = scratch_.Path(u"AppData\\Corvanta\\HiveSweep");
  const Text key = u"Software\\Corvanta\\HiveSweepTestRepair";
  RegKey k = 0;
  ASSERT_EQ(0, registry_->Create(kHkeyCurrentUser, key, kKeyAllAccess, &k, nullptr));
  ASSERT_EQ(0, registry_->SetValue(k, u"v", kRegSz, SzData(u"kept")));
  registry_->Close(k);
  MemoryLog log;
  auto editor = ::hs::testing::MakeContractRegEditor(*registry_, scratch_.fs(), log);
  UndoEnv undo{*registry_, scratch_.fs(), *editor, clock_, log};
  undo.windows64 = wow64_->IsWow64Process();
  undo.data_folder = data;
  {
    auto backup = BeginUndoBackup(undo);
    ASSERT_TRUE(AddDeleteKeyOperation(undo, *backup, 1, key, true, true));
    ASSERT_EQ(0, backup->journal->Close());  // the run dies before its end
  }
  env_.editor = editor.get();
  CHVXApp app(env_);
  ASSERT_TRUE(app.InitInstance({}));
  app.ExitInstance();
  EXPECT_FALSE(scratch_.fs().Exists(DataFile(u"Partial Backups\\00000001.rjn")));
  ASSERT_TRUE(scratch_.fs().Exists(DataFile(u"Partial Backups\\00000001.rmx")));
  ASSERT_TRUE(UndoSetFromRecord(undo, DataFile(u"Partial Backups\\00000001.rmx")));
  ASSERT_EQ(0, registry_->Open(kHkeyCurrentUser, key, kKeyRead, &k));
  registry_->Close(k);
}

TEST_F(AppStart, AnUndoRunsOnTheWorkerAndReportsItsResult) {
  const Text data = scratch_.Path(u"AppData\\Corvanta\\HiveSweep");
  const Text key = u"Software\\Corvanta\\HiveSweepTestUndo";
  RegKey k = 0;
  ASSERT_EQ(0, registry_->Create(kHkeyCurrentUser, key, kKeyAllAccess, &k, nullptr));
  ASSERT_EQ(0, registry_->SetValue(k, u"v", kRegSz, SzData(u"kept")));
  registry_->Close(k);
  MemoryLog log;
  auto editor = ::hs::testing::MakeContractRegEditor(*registry_, scratch_.fs(), log);
  UndoEnv undo{*registry_, scratch_.fs(), *editor, clock_, log};
  undo.windows64 = wow64_->IsWow64Process();
  undo.data_folder = data;
  {
    auto backup = BeginUndoBackup(undo);
    ASSERT_TRUE(AddDeleteKeyOperation(undo, *backup, 1, key, true, true));
    ASSERT_TRUE(EndUndoBackup(undo, std::move(backup)));
  }
  ASSERT_NE(0, registry_->Open(kHkeyCurrentUser, key, kKeyRead, &k)) << "the repair removed the key";
  env_.editor = editor.get();
  CHVXApp app(env_);
  ASSERT_TRUE(app.InitInstance({}));
  std::atomic<int> result{-1};
  std::thread::id undo_thread;
  ASSERT_TRUE(app.StartUndo(DataFile(u"Partial Backups\\00000001.rmx"), [&](bool ok) {
    undo_thread = std::this_thread::get_id();
    result.store(ok ? 1 : 0);
  }));
  app.operations().Join();
  EXPECT_EQ(1, result.load());
  EXPECT_NE(std::this_thread::get_id(), undo_thread);
  ASSERT_EQ(0, registry_->Open(kHkeyCurrentUser, key, kKeyRead, &k)) << "undone";
  registry_->Close(k);
  // A record that does not exist: the undo runs and reports failure.
  ASSERT_TRUE(app.StartUndo(DataFile(u"Partial Backups\\00000009.rmx"), [&](bool ok) { result.store(ok ? 1 : 0); }));
  app.operations().Join();
  EXPECT_EQ(0, result.load());
  app.ExitInstance();
  (void)registry_->DeleteTree(kHkeyCurrentUser, key, 0);
}

TEST_F(AppStart, TheWindowsScanDriverScansReportsPerGroupAndListsRows) {
  CHVXApp app(env_);
  ASSERT_TRUE(app.InitInstance({}));
  AppScanDriver driver(app);
  EXPECT_FALSE(driver.StartRepair()) << "no editor, history or recycle bin: no repair";
  {
    // Another operation holds the worker.
    std::promise<void> release;
    std::shared_future<void> gate = release.get_future().share();
    ASSERT_TRUE(app.operations().Start(Operation::kUndoing, [gate] {
      gate.wait();
      return true;
    }));
    EXPECT_TRUE(driver.IsRunning());
    EXPECT_FALSE(driver.Start(0x105A, 5)) << "one worker at a time";
    EXPECT_EQ(0, driver.ProblemCount()) << "the lists are not read while the worker runs";
    Text entry, reason;
    EXPECT_FALSE(driver.ResultRow(0, 0, &entry, &reason));
    release.set_value();
    app.operations().Join();
  }
  ASSERT_TRUE(driver.Start(0x105A, 5));  // group 1 only
  app.FinishScan();
  EXPECT_FALSE(driver.IsRunning());
  const std::vector<int> counts = driver.AreaProblemCounts();
  ASSERT_EQ(static_cast<std::size_t>(kAreaCount), counts.size());
  int total = 0;
  for (std::size_t i = 0; i < counts.size(); ++i) {
    total += counts[i];
    if ((kAreas[i].bit & 0x105A) == 0) {
      EXPECT_EQ(0, counts[i]) << "area " << i << " was not scanned";
    }
    // Each area lists exactly its count of rows.
    Text entry, reason;
    const int area = static_cast<int>(i);
    if (counts[i] > 0) {
      EXPECT_TRUE(driver.ResultRow(area, counts[i] - 1, &entry, &reason));
    }
    EXPECT_FALSE(driver.ResultRow(area, counts[i], &entry, &reason));
  }
  EXPECT_EQ(driver.ProblemCount(), total);
  Text entry, reason;
  EXPECT_FALSE(driver.ResultRow(-1, 0, &entry, &reason));
  EXPECT_FALSE(driver.ResultRow(kAreaCount, 0, &entry, &reason));
  EXPECT_TRUE(scratch_.fs().Exists(DataFile(u"results.hsw"))) << "the end of the scan saves the results";

  // The end-of-area reports add up per group; areas of no scan count nothing.
  for (const AreaInfo& a : kAreas) driver.OnAreaEnded(a.bit);
  driver.OnAreaEnded(0x8000);
  EXPECT_EQ(total, driver.FoundInGroup(1));
  EXPECT_EQ(0, driver.FoundInGroup(2));
  EXPECT_EQ(0, driver.FoundInGroup(5));
  app.ExitInstance();
}

TEST(ProblemRow, ShowsKeyAndValueOrTheShortcutFileAndTheReason) {
  CProblem p;
  p.key = u"HKEY_CURRENT_USER\\Software\\X";
  p.details = {u"Missing file", u"C:\\Links\\a.lnk"};
  EXPECT_EQ(u"HKEY_CURRENT_USER\\Software\\X", ProblemRowEntry(p));
  p.value_name = u"Path";
  EXPECT_EQ(u"HKEY_CURRENT_USER\\Software\\X\\Path", ProblemRowEntry(p));
  p.key.clear();
  EXPECT_EQ(u"C:\\Links\\a.lnk", ProblemRowEntry(p)) << "a shortcut problem has no key";
  EXPECT_EQ(u"Missing file", ProblemRowReason(p));
}

// The window's view of the model, recorded: posted commands, armed timers,
// whether it was shown.
class RecordingView final : public MainWindowView {
 public:
  void Show() override { shown = true; }
  void Hide() override {}
  void Minimise() override { shown = true; }
  void ShowTrayIcon(bool) override {}
  void SetTimer(int id, std::uint32_t) override { timers.push_back(id); }
  void KillTimer(int) override {}
  void EnableNavigation(bool enabled) override { navigation = enabled; }
  void ShowScreen(int) override {}
  void PostCommand(int id) override { posted.push_back(id); }
  void ShowProblemList() override {}
  void ShowScanAreaSettings() override {}
  void ShowLoadingPage(bool) override {}
  void PostToScreen(int, int) override {}
  void HideSplash() override {}
  bool ShowPopup(const PopupContent& c) override {
    popups.push_back(c.kind);
    return true;
  }
  void EnterInteractive() override {}
  void StartUpdateCheck() override {}
  void ShowCompactionResult() override {}
  void Quit() override {}
  bool Posted(int id) const { return std::find(posted.begin(), posted.end(), id) != posted.end(); }
  bool shown = false;
  bool navigation = true;
  std::vector<PopupKind> popups;
  std::vector<int> timers, posted;
};

// A page without a script object, as under Wine.
class ScriptlessPage final : public PageHost {
 public:
  bool CallScript(TextView function, const std::vector<Text>&) override {
    calls.emplace_back(function);
    return false;
  }
  Text LastError() const override { return u"Cannot GetScript"; }
  std::vector<Text> calls;
};

class CountingPrompts final : public Prompts {
 public:
  PromptAnswer Ask(TextView, PromptButtons, PromptIcon) override {
    ++asked;
    return PromptAnswer::kNo;
  }
  int asked = 0;
};

TEST_F(AppStart, ModeScanRunsThroughTheModelHiddenAndPostsItsEnd) {
  CHVXApp app(env_);
  ASSERT_TRUE(app.InitInstance({u"scan"}));
  AppScanDriver driver(app);
  RecordingView view;
  ScriptlessPage page;
  CountingPrompts prompts;
  MainDialogEnv denv{view,      page,           page,         page,   page, page, driver, prompts, app.settings_store(),
                     app.settings(), clock_, app.log(),
                     [&app](TextView key) { return app.strings().LookupString(key); }, DialogMode::kScan};
  CHVXDlg dialog(denv);
  DialogStart start;
  start.flags = app.flags();
  dialog.Open(start);
  ASSERT_NE(view.timers.end(), std::find(view.timers.begin(), view.timers.end(), dlg::kTimerStart));
  dialog.OnTimer(dlg::kTimerStart);
  ASSERT_TRUE(dialog.scanning()) << "the start timer started the scan on the driver";
  EXPECT_FALSE(view.navigation);
  // The window's end of a scan: the application's, then the model's.
  EXPECT_EQ(0, app.FinishUnattendedScan());
  dialog.OnScanEnded();
  EXPECT_TRUE(view.Posted(dlg::kCmdUnattendedScanDone));
  EXPECT_TRUE(view.navigation);
  EXPECT_FALSE(view.shown);
  dialog.OnTimer(dlg::kTimerHomeLoaded);  // even a late home page does not show it
  EXPECT_FALSE(view.shown);
  EXPECT_EQ(0, prompts.asked);
  EXPECT_NE(page.calls.end(), std::find(page.calls.begin(), page.calls.end(), u"setcheckboxstatus"));
  EXPECT_TRUE(scratch_.fs().Exists(DataFile(u"results.hsw")));
  // The posted end: the count saved, then the result pop-up of that count.
  ASSERT_TRUE(dialog.OnCommand(dlg::kCmdUnattendedScanDone));
  const auto total = static_cast<std::int32_t>(app.scan_manager().TotalProblems());
  ASSERT_EQ(1u, view.popups.size());
  EXPECT_EQ(total > 0 ? PopupKind::kProblemsFound : PopupKind::kNoneFound, view.popups[0]);
  AppSettings saved;
  ASSERT_EQ(err::kSuccess, app.settings_store().LoadSettings(&saved));
  EXPECT_EQ(total, saved.StrLastScanResults);
  // The pop-up's close saves through the application's own path.
  ASSERT_EQ(err::kSuccess, scratch_.fs().DeleteFile(DataFile(u"results.hsw")));
  ASSERT_EQ(err::kSuccess, app.SaveResults());
  EXPECT_TRUE(scratch_.fs().Exists(DataFile(u"results.hsw")));
  app.ExitInstance();
}

TEST_F(AppStart, ARepairRunsOnTheWorkerAndIsRefusedWhileAnotherOperationRuns) {
  auto editor = ::hs::testing::MakeContractRegEditor(*registry_, scratch_.fs(), log_);
  MemoryUrlHistory history;
  TrashRecycleBin bin(scratch_.fs(), scratch_.Path(u"Trash"));
  env_.editor = editor.get();
  env_.history = &history;
  CHVXApp app(env_);
  ASSERT_TRUE(app.InitInstance({}));
  EXPECT_FALSE(app.StartRepair()) << "no recycle bin: no repair";
  env_.recycle_bin = &bin;
  app.settings().RegErrsFixedLast = 7;
  AppScanDriver driver(app);
  ASSERT_TRUE(driver.Start(0x0005, 2));
  app.FinishScan();
  {
    std::promise<void> release;
    std::shared_future<void> gate = release.get_future().share();
    ASSERT_TRUE(app.operations().Start(Operation::kScanning, [gate] {
      gate.wait();
      return true;
    }));
    EXPECT_FALSE(driver.StartRepair()) << "another operation runs";
    release.set_value();
    app.operations().Join();
  }
  ASSERT_TRUE(driver.StartRepair());
  app.operations().Join();
  app.FinishRepair(true);
  EXPECT_FALSE(driver.IsRunning());
  EXPECT_EQ(0u, StoredDword(u"RegErrsFixedLast")) << "a repair starts by clearing the last count";
  app.FinishRepair(true);  // a second end changes nothing
  app.ExitInstance();
}

}  // namespace
}  // namespace hs
