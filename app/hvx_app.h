// CHVXApp: the application object. Decides whether this process is the first
// instance, loads the settings, the language strings, the user lists and the
// last results, interprets the command line, runs an unattended scan for the
// `scan` option, and saves what it owns at exit.
//
// Runs on the user-interface thread. Windows are the front end's business:
// it creates the (hidden) main window after InitInstance and pumps messages
// while a worker runs.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "app/backup_catalogue.h"

#include "app/command_line.h"
#include "app/debug_log.h"
#include "app/settings.h"
#include "app/strings.h"
#include "areas/safe_lists.h"
#include "areas/user_lists.h"
#include "backup/undo_backup.h"
#include "engine/file_reference.h"
#include "platform/reg_editor.h"
#include "engine/scan_manager.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/ini_reader.h"
#include "platform/shell_folders.h"
#include "platform/shell_links.h"
#include "platform/single_instance.h"
#include "platform/recycle_bin.h"
#include "platform/repair_progress.h"
#include "platform/system_restore.h"
#include "platform/task_scheduler.h"
#include "platform/url_history.h"

namespace hs {

struct RepairEnv;
class RepairRun;

inline constexpr TextView kInstanceMutexName = u"Local\\QKM_9A712B71-5D7C-495c-99B2-671848E10195";
inline constexpr int kCsidlFonts = 0x14;
inline constexpr std::uint32_t kWaitWithArgumentsMs = 4096;
inline constexpr std::uint32_t kWaitWithoutArgumentsMs = 1024;
inline constexpr std::uint32_t kSecondWaitWithArgumentsMs = 2048;

// The ports the application runs on; all must outlive it.
struct AppEnvironment {
  Registry& registry;
  Wow64& wow64;
  SystemInfo& system;
  KeyProtection& protection;
  Notifier& notifier;
  FileSystem& fs;
  Clock& clock;
  ShellFolders& folders;
  IniReader& ini;
  SingleInstance& instance;
  Text program_folder;  // where the language files lie
  // Shows an error message box (the read-failure message); may be empty.
  std::function<void(TextView text)> show_error;
  // File and shell paths for file reference tests; none: references are
  // not judged.
  ShellPaths* shell = nullptr;
  // The registry editor that undo sets are imported with; none: interrupted
  // repair runs are not completed at start.
  RegEditor* editor = nullptr;
  // Shortcut files for the shortcut and Start menu areas; none: they read
  // no shortcuts.
  ShellLinks* links = nullptr;
  // Full backups and restores, elevated restarts and their messages; the
  // backup screen needs all four (and `editor`).
  WholeRegistryEditor* whole = nullptr;
  SelfLauncher* launcher = nullptr;
  Prompts* prompts = nullptr;
  // Restore points before repair runs; none: no restore point is made.
  SystemRestore* restore = nullptr;
  // The window's repairs (with `editor`); either none: no repair starts.
  UrlHistory* history = nullptr;
  RecycleBin* recycle_bin = nullptr;
  // Scheduled scans and the logon task; none: scheduling is unavailable.
  TaskScheduler* scheduler = nullptr;
  Text user_account = {};  // DOMAIN\user, the scheduled tasks' account
};

// The backup screen's environment, built by the application.
struct CatalogueSession {
  CatalogueSession(UndoEnv u, WholeRegistryEditor& whole, SystemInfo& system, SelfLauncher& launcher, Prompts& prompts,
                   SettingsStore& store, AppSettings& settings, std::atomic<bool>& restoring)
      : undo(std::move(u)), env{undo, whole, system, launcher, prompts, store, settings, restoring} {}
  UndoEnv undo;
  CatalogueEnv env;
};

class CHVXApp {
 public:
  explicit CHVXApp(AppEnvironment& env);
  ~CHVXApp();
  CHVXApp(const CHVXApp&) = delete;
  CHVXApp& operator=(const CHVXApp&) = delete;

  // Start-up steps; false when the process is to end now (a second instance,
  // or silentresults).
  bool InitInstance(const std::vector<Text>& arguments);
  // Shutdown: saves the results (first instance only), releases the lists,
  // saves the user lists and the string cache.
  void ExitInstance();

  // The `scan` option: starts the scan of the ticked areas on the worker.
  // False when none is ticked or a worker runs.
  bool StartUnattendedScan();
  // Writes the current results (results.hsw) to the data folder; any thread
  // while no scan or repair changes them.
  [[nodiscard]] WinError SaveResults();
  // After the worker ended: the end-of-scan handling (settings, results file,
  // counters). Returns the process exit code (0).
  int FinishUnattendedScan();
  // A scan of the areas of `group_mask` (`area_count` of them) on the
  // worker; of those, the ticked ones run. False when a worker runs.
  [[nodiscard]] bool StartScan(std::uint32_t group_mask, int area_count);
  // After the scan's end message: waits for the worker, records the end of
  // the scan in the settings and saves the results.
  void FinishScan();
  // Repairs the selected problems on the worker; its end is posted to the
  // scan manager's notify window (engine/repair.h). False when it cannot
  // start (no registry editor, history or recycle bin, or a worker runs).
  [[nodiscard]] bool StartRepair();
  // After the repair's end message: settings, undo set, results; posts the
  // window's next command.
  void FinishRepair(bool completed);

  // Undoes the set of this record (backup/undo_backup.h) on the worker, so a
  // window stays responsive; false when it cannot start (no registry editor,
  // not initialised, or a scan, a repair or an undo runs). `done` runs on the
  // worker with the undo's result.
  bool StartUndo(TextView record_path, std::function<void(bool ok)> done);
  // The backup lists' environment; null when a port it needs is missing.
  std::unique_ptr<CatalogueSession> OpenCatalogue();
  // After InitInstance: the action of an elevated backup restart
  // (hvxvistafullbackup, …); kEndProcess: end the process with 0.
  ActionResult RunStartupBackupAction();
  // A repair run's restore point (at most one a day); false when none could
  // be made or there is no System Restore.
  bool CreateRestorePoint();
  // Set while a partial backup is restored.
  std::atomic<bool>& restore_in_progress() { return restore_in_progress_; }

  // The one worker of scans, repairs and undos (after InitInstance).
  OperationOwner& operations() { return *operations_; }

  const StartupFlags& flags() const { return flags_; }
  bool segoe_font() const { return segoe_font_; }
  int language_index() const { return language_index_; }
  const Text& data_folder() const { return data_folder_; }
  AppSettings& settings() { return settings_; }
  SettingsStore& settings_store() { return settings_store_; }
  ScanManager& scan_manager() { return *manager_; }
  StringTable& strings() { return *strings_; }
  UserList& exclusions() { return exclusions_; }
  UserList& temp_ignore() { return temp_ignore_; }
  Log& log() { return log_; }
  // The ports the application runs on (the settings screen's language
  // change and start entries use them).
  AppEnvironment& environment() { return env_; }
  Text AppTitle() { return strings_->LookupString(u"AFX_IDS_APP_TITLE"); }

 private:
  UndoEnv MakeUndoEnv();

  AppEnvironment& env_;
  DebugLog log_;
  SettingsStore settings_store_;
  AppSettings settings_;
  StartupFlags flags_;
  bool segoe_font_ = false;
  int language_index_ = 0;
  Text data_folder_;
  std::unique_ptr<StringTable> strings_;
  SafeLists safe_lists_;
  UserList exclusions_{UserListKind::kExclusion};
  UserList temp_ignore_{UserListKind::kTempIgnore};

  // Declared before the manager: it outlives the manager's final join.
  std::unique_ptr<OperationOwner> operations_;
  std::unique_ptr<ScanContext> scan_context_;
  std::unique_ptr<FileReferences> file_refs_;
  std::unique_ptr<ScanManager> manager_;
  std::unique_ptr<UndoEnv> repair_undo_;
  NullRepairProgress repair_progress_;
  std::unique_ptr<RepairEnv> repair_env_;
  std::unique_ptr<RepairRun> repair_;
  bool initialised_ = false;
  std::atomic<bool> restore_in_progress_{false};
};

}  // namespace hs
