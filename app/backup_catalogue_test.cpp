#include "app/backup_catalogue.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/portable_system_info.h"
#include "platform/store/registry_store.h"
#include "platform/store_reg_editor.h"
#include "testing/recording_prompts.h"
#include "testing/manual_clock.h"
#include "testing/memory_log.h"
#include "testing/scratch_fs.h"

namespace hs {
namespace {

using namespace hs::testing;

class RecordingLauncher final : public SelfLauncher {
 public:
  WinError StartSelf(LaunchVerb verb, TextView argument) override {
    calls.emplace_back(verb, Text(argument));
    return result;
  }
  std::vector<std::pair<LaunchVerb, Text>> calls;
  WinError result = err::kSuccess;
};

class CatalogueTest : public ::testing::Test {
 protected:
  CatalogueTest()
      : registry(RegistryStore::Options{true, nullptr}),
        editor(registry, scratch.fs(), true, log),
        clock(DateTime{2026, 3, 9, 14, 5, 0}),
        undo{registry, scratch.fs(), editor, clock, log},
        system(MachineFacts{}),
        settings_store(registry, log),
        env{undo, editor, system, launcher, prompts, settings_store, settings, restoring} {
    undo.windows64 = true;
    undo.is_admin = true;
    undo.data_folder = scratch.Path(u"data");
    // Texts are their keys, so the test sees which one was shown.
    undo.strings = [](TextView key) { return Text(key); };
    EXPECT_EQ(0, scratch.fs().CreateDirectories(undo.data_folder));
  }

  void Set(TextView path, TextView name, TextView data) {
    RegKey k = 0;
    ASSERT_EQ(0, registry.Create(kHkeyCurrentUser, path, kKeyAllAccess, &k, nullptr));
    ASSERT_EQ(0, registry.SetValue(k, name, kRegSz, SzData(data)));
    registry.Close(k);
  }
  Text Get(TextView path, TextView name) {
    RegKey k = 0;
    if (registry.Open(kHkeyCurrentUser, path, kKeyRead, &k)) return u"(no key)";
    RegValue v;
    const WinError e = registry.QueryValue(k, name, &v);
    registry.Close(k);
    return e ? u"(no value)" : Text(reinterpret_cast<const char16_t*>(v.data.data()), v.data.size() / 2 - 1);
  }
  // A repair run that sets the value; its undo set's record file.
  Text RepairSet(TextView name, TextView data) {
    auto backup = BeginUndoBackup(undo);
    EXPECT_TRUE(AddSetValueOperation(undo, *backup, 1, u"Software\\Cat", name, data, false));
    Text record;
    EXPECT_TRUE(EndUndoBackup(undo, std::move(backup), &record));
    clock.AdvanceMs(3600 * 1000);
    return record;
  }

  ScratchFs scratch{"hs_cat"};
  MemoryLog log;
  RegistryStore registry;
  StoreRegEditor editor;
  ManualClock clock;
  UndoEnv undo;
  PortableSystemInfo system;
  RecordingLauncher launcher;
  RecordingPrompts prompts;
  SettingsStore settings_store;
  AppSettings settings;
  std::atomic<bool> restoring{false};
  CatalogueEnv env;
};

TEST_F(CatalogueTest, EmptyListsShowOneRowAndRefuseActions) {
  FullBackupsModel full(env);
  full.Refresh();
  PartialBackupsModel partial(env);
  EXPECT_FALSE(partial.LoadBackups());  // no partial backups folder yet
  for (BackupListModel* list : {static_cast<BackupListModel*>(&full), static_cast<BackupListModel*>(&partial)}) {
    ASSERT_EQ(1u, list->rows().size());
    EXPECT_EQ(u"IDS_NO_ITEM_TO_SHOW", list->rows()[0].text);
    EXPECT_FALSE(list->buttons_enabled());
    list->Select(0);
    EXPECT_EQ(-1, list->selected());
  }
  EXPECT_EQ(ActionResult::kNothing, full.Restore());
  EXPECT_EQ(ActionResult::kNothing, partial.Delete());
  EXPECT_EQ((std::vector<Text>{u"IDS_SELECT_RESTORE_ITEM", u"IDS_SELECT_DELETE_ITEM"}), prompts.shown);
  EXPECT_EQ(u"IDS_CHANGE_DATE_TIME", full.columns()[0].header) << "a text of the language file";
  EXPECT_EQ(0, full.columns()[1].width);
  EXPECT_EQ(u"IDS_CHANGE_DATE_TIME", partial.columns()[0].header);
}

TEST_F(CatalogueTest, FullBackupRestoreAndDelete) {
  Set(u"Software\\Cat", u"v", u"before");
  FullBackupsModel full(env);
  ASSERT_EQ(ActionResult::kDone, full.TakeFullBackup());
  ASSERT_EQ(1u, full.rows().size());
  EXPECT_TRUE(full.buttons_enabled());
  EXPECT_EQ(u"Mon. Mar 09, 2026. 02:05 PM", full.rows()[0].text);
  EXPECT_EQ(u"Mon. March 09, 2026. 02:05 PM IDS_STR_FULLBACKUP", settings.StrLatestRestorePoint);
  AppSettings saved;
  ASSERT_EQ(0, settings_store.LoadSettings(&saved));
  EXPECT_EQ(settings.StrLatestRestorePoint, saved.StrLatestRestorePoint);

  Set(u"Software\\Cat", u"v", u"after");
  std::vector<Text> progress;
  env.progress_open = [&](TextView info) { progress.emplace_back(info); };
  env.progress_close = [&] { progress.emplace_back(u"closed"); };
  EXPECT_EQ(ActionResult::kDone, full.Restore());
  EXPECT_EQ(u"before", Get(u"Software\\Cat", u"v"));
  EXPECT_EQ((std::vector<Text>{u"IDC_RESTORE_INFO", u"closed"}), progress);
  EXPECT_EQ(u"IDS_SUCCESSFULL_RESTORE", prompts.shown.back());

  prompts.answer = PromptAnswer::kNo;
  EXPECT_EQ(ActionResult::kNothing, full.Delete());
  EXPECT_TRUE(scratch.fs().Exists(full.rows()[0].path));
  prompts.answer = PromptAnswer::kYes;
  const Text path = full.rows()[0].path;
  EXPECT_EQ(ActionResult::kDone, full.Delete());
  EXPECT_FALSE(scratch.fs().Exists(path));
  EXPECT_FALSE(full.buttons_enabled());
  EXPECT_EQ(u"IDS_CONFIRM_DELETE", prompts.shown.back());

  // A failed backup is no safety copy: the setting keeps the full backup's time.
  const Text kept = settings.StrLatestRestorePoint;
  clock.AdvanceMs(60000);
  env.undo.data_folder = scratch.Path(u"gone");
  EXPECT_EQ(ActionResult::kFailed, full.TakeFullBackup());
  EXPECT_EQ(u"IDS_FULL_BACKUP_FAILED", prompts.shown.back());
  EXPECT_EQ(kept, settings.StrLatestRestorePoint);
}

TEST_F(CatalogueTest, ProgressRunnerCarriesTheWorkAndItsResult) {
  Set(u"Software\\Cat", u"v", u"before");
  std::vector<Text> infos;
  std::thread::id worker_id;
  // The window's runner: the work on a thread of its own, joined before
  // the action goes on.
  env.run_with_progress = [&](TextView info, const std::function<void()>& work) {
    infos.emplace_back(info);
    std::thread t([&] {
      worker_id = std::this_thread::get_id();
      work();
    });
    t.join();
  };
  bool opened = false;
  env.progress_open = [&](TextView) { opened = true; };
  FullBackupsModel full(env);
  ASSERT_EQ(ActionResult::kDone, full.TakeFullBackup());
  ASSERT_EQ(1u, full.rows().size());
  EXPECT_TRUE(scratch.fs().Exists(full.rows()[0].path));
  EXPECT_NE(std::this_thread::get_id(), worker_id);
  EXPECT_FALSE(opened);  // the runner shows its own dialog

  Set(u"Software\\Cat", u"v", u"after");
  EXPECT_EQ(ActionResult::kDone, full.Restore());
  EXPECT_EQ(u"before", Get(u"Software\\Cat", u"v"));
  EXPECT_EQ((std::vector<Text>{u"IDC_BACKUP_INFO", u"IDC_RESTORE_INFO"}), infos);

  // A runner that could not run the work leaves the action failed.
  env.run_with_progress = [](TextView, const std::function<void()>&) {};
  EXPECT_EQ(ActionResult::kFailed, full.TakeFullBackup());
  EXPECT_EQ(u"IDS_FULL_BACKUP_FAILED", prompts.shown.back());
}

TEST_F(CatalogueTest, NonAdministratorsOnVersion6RestartElevated) {
  system = PortableSystemInfo(MachineFacts{6, false});
  FullBackupsModel full(env);
  EXPECT_EQ(ActionResult::kEndProcess, full.TakeFullBackup());
  ASSERT_EQ(1u, launcher.calls.size());
  EXPECT_EQ(LaunchVerb::kRunAs, launcher.calls[0].first);
  EXPECT_EQ(u"hvxvistafullbackup", launcher.calls[0].second);
  EXPECT_EQ(u"ExitProcess : Elevated now restarting", log.Lines().back());
  EXPECT_TRUE(ListFullBackups(scratch.fs(), undo.data_folder).empty());
  // The chosen file goes along with a restore.
  EXPECT_EQ(ActionResult::kEndProcess, full.RestoreFile(u"C:\\x\\1.reg"));
  EXPECT_EQ(u"hvxvistafullbackuprestore \"C:\\x\\1.reg\"", launcher.calls[1].second);
  // A declined elevation says why and does nothing.
  launcher.result = 1223;
  EXPECT_EQ(ActionResult::kFailed, full.TakeFullBackup());
  EXPECT_EQ(u"IDS_STR_LACK_OF_PERMISSION", prompts.shown.back());
  // Other versions run the action directly.
  system = PortableSystemInfo(MachineFacts{5, false});
  EXPECT_EQ(ActionResult::kDone, full.TakeFullBackup());
  EXPECT_EQ(3u, launcher.calls.size());
}

TEST_F(CatalogueTest, PartialBackupsNewestFirstRestoreAndDelete) {
  Set(u"Software\\Cat", u"a", u"original a");
  const Text first = RepairSet(u"a", u"repaired a");
  const Text second = RepairSet(u"a", u"repaired twice");
  PartialBackupsModel partial(env);
  ASSERT_TRUE(partial.LoadBackups());
  ASSERT_EQ(2u, partial.rows().size());
  EXPECT_EQ(second, partial.rows()[0].path);
  EXPECT_EQ(u"IDS_PARTIAL_BACKUP Mon. Mar 09, 2026. 03:05 PM", partial.rows()[0].text);
  EXPECT_EQ(0, partial.selected());
  EXPECT_EQ(u"LoadBackups completed", log.Lines().back());

  // The flag is up while the set is undone, and down after.
  bool flagged = false;
  env.run_undo = [&](TextView record) {
    flagged = restoring.load();
    return UndoSetFromRecord(undo, record);
  };
  std::vector<bool> window;
  env.main_window_enabled = [&](bool on) { window.push_back(on); };
  partial.Select(1);
  EXPECT_EQ(ActionResult::kDone, partial.Restore());
  EXPECT_TRUE(flagged);
  EXPECT_FALSE(restoring.load());
  EXPECT_EQ((std::vector<bool>{false, true}), window);
  EXPECT_EQ(u"original a", Get(u"Software\\Cat", u"a"));
  EXPECT_EQ(u"IDS_SUCCESSFULL_RESTORE", prompts.shown.back());
  EXPECT_EQ(2u, partial.rows().size());  // a restored set stays

  // Deleting the newest removes its archive too, so its number comes back
  // without an old archive waiting under it.
  const Text archive = second.substr(0, second.size() - 3) + u"rxb";
  ASSERT_TRUE(scratch.fs().Exists(archive));
  partial.Select(0);
  EXPECT_EQ(ActionResult::kDone, partial.Delete());
  EXPECT_FALSE(scratch.fs().Exists(second));
  EXPECT_FALSE(scratch.fs().Exists(archive));
  ASSERT_EQ(1u, partial.rows().size());
  EXPECT_EQ(first, partial.rows()[0].path);
  EXPECT_EQ(second.substr(0, second.size() - 4), NextBackupNumber(scratch.fs(), PartialBackupsFolder(undo)));
}

TEST_F(CatalogueTest, ElevatedRestartPerformsTheChosenAction) {
  Set(u"Software\\Cat", u"a", u"original a");
  const Text record = RepairSet(u"a", u"repaired a");
  StartupFlags flags = ParseCommandLine({u"hvxvistapartialbackuprestore", record}, true);
  EXPECT_EQ(record, flags.backup_target);
  EXPECT_EQ(ActionResult::kDone, RunStartupBackupAction(env, flags));
  EXPECT_EQ(u"original a", Get(u"Software\\Cat", u"a"));
  // A restart that names no listed file only opens the screen.
  flags = ParseCommandLine({u"hvxvistafullbackuprestore", undo.data_folder + u"\\7.reg"}, true);
  EXPECT_EQ(ActionResult::kNothing, RunStartupBackupAction(env, flags));
  flags = ParseCommandLine({u"hvxvistafullbackup"}, true);
  EXPECT_EQ(ActionResult::kDone, RunStartupBackupAction(env, flags));
  EXPECT_EQ(1u, ListFullBackups(scratch.fs(), undo.data_folder).size());
  // Without administrator rights the switch counts for nothing.
  EXPECT_EQ(ActionResult::kNothing, RunStartupBackupAction(env, ParseCommandLine({u"hvxvistafullbackup"}, false)));
}

}  // namespace
}  // namespace hs
