// The backup screen's two lists as models the windows draw: full backups
// (CDlgFullBackups) and partial backups, the undo sets of repair runs
// (CPartialBackupDlg). Each holds its columns, rows, selection and button
// state, and carries out its buttons' actions through ports: messages go to
// Prompts, elevated restarts to the SelfLauncher, the progress dialog and
// the main window's enabling to callbacks.
//
// Runs on the user-interface thread. A full backup or restore blocks the
// caller (the window runs it from its progress dialog's worker); a partial
// restore runs through `run_undo`, which may pump messages meanwhile.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/command_line.h"
#include "app/elevation.h"
#include "app/settings.h"
#include "backup/full_backup.h"
#include "backup/undo_backup.h"
#include "platform/prompts.h"
#include "platform/self_launcher.h"
#include "platform/system_info.h"
#include "platform/whole_registry_editor.h"

namespace hs {

inline constexpr int kBackupListTextWidth = 617;

struct CatalogueEnv {
  UndoEnv& undo;  // registry, files, editor, clock, log, texts, data folder
  WholeRegistryEditor& whole;
  SystemInfo& system;
  SelfLauncher& launcher;
  Prompts& prompts;
  SettingsStore& settings_store;
  AppSettings& settings;
  // Process-wide: set while a partial backup is restored.
  std::atomic<bool>& restore_in_progress;
  // The progress dialog around a full backup or restore (its text:
  // IDC_BACKUP_INFO or IDC_RESTORE_INFO); may be empty.
  std::function<void(TextView info)> progress_open{};
  std::function<void()> progress_close{};
  // Runs a full backup's or restore's work off this thread while the
  // progress dialog with `info` shows, and returns once `work` has ended;
  // `work` lets nothing escape. Empty: progress_open and progress_close
  // around the work on this thread.
  std::function<void(TextView info, const std::function<void()>& work)> run_with_progress{};
  // The main window around a partial restore; may be empty.
  std::function<void(bool enabled)> main_window_enabled{};
  // Undoes a set; empty: UndoSetFromRecord on this thread.
  std::function<bool(TextView record_path)> run_undo{};
};

enum class ActionResult {
  kDone,        // carried out (its message shown)
  kNothing,     // nothing to do, or the user said No
  kFailed,      // its failure message shown
  kEndProcess,  // an elevated copy takes over: end this process with 0
};

struct ListColumn {
  Text header;
  int width = 0;
};
struct ListRow {
  Text text;  // column 0
  Text path;  // column 1: the backup file or record file
};

class BackupListModel {
 public:
  const std::vector<ListColumn>& columns() const { return columns_; }
  // One row with IDS_NO_ITEM_TO_SHOW when there is no backup.
  const std::vector<ListRow>& rows() const { return rows_; }
  bool has_backups() const { return has_backups_; }
  // Restore and Delete (IDS_BTN_RESTORE, IDS_BTN_DELETE).
  bool buttons_enabled() const { return has_backups_ && !busy_; }
  int selected() const { return selected_; }
  // -1 or an out-of-range row clears the selection.
  void Select(int row) { selected_ = has_backups_ && row >= 0 && row < static_cast<int>(rows_.size()) ? row : -1; }

 protected:
  explicit BackupListModel(CatalogueEnv& env) : env_(env) {}
  Text S(TextView key) const { return env_.undo.strings(key); }
  void Message(TextView key, PromptIcon icon) { (void)env_.prompts.Ask(S(key), PromptButtons::kOk, icon); }
  // Sets the rows (newest selected first), or the empty row.
  void SetRows(std::vector<ListRow> rows);
  // The chosen row's path, or the message of `key` and false.
  bool Chosen(TextView key, Text* path);
  bool Confirmed();

  CatalogueEnv& env_;
  std::vector<ListColumn> columns_;
  std::vector<ListRow> rows_;
  bool has_backups_ = false;
  bool busy_ = false;
  int selected_ = -1;
};

class FullBackupsModel final : public BackupListModel {
 public:
  explicit FullBackupsModel(CatalogueEnv& env);
  // Lists the data folder's full backups (dated text; empty for a name
  // that carries no time).
  void Refresh();
  // Button IDS_BTN_TAKE_FULL_REG_BKUP, and the hvxvistafullbackup restart.
  ActionResult TakeFullBackup();
  // The selected backup (the hvxvistafullbackuprestore restart: `path`).
  ActionResult Restore();
  ActionResult RestoreFile(TextView path);
  ActionResult Delete();
};

class PartialBackupsModel final : public BackupListModel {
 public:
  explicit PartialBackupsModel(CatalogueEnv& env);
  // Lists the undo sets, newest first; logs "LoadBackups completed".
  bool LoadBackups();
  const std::vector<UndoSetInfo>& sets() const { return sets_; }
  ActionResult Restore();
  // The hvxvistapartialbackuprestore restart: the set of `record_path`,
  // when it is one of the list's.
  ActionResult RestoreRecord(TextView record_path);
  ActionResult Delete();

 private:
  std::vector<UndoSetInfo> sets_;  // row i is sets_[i]
};

// StrLatestRestorePoint: "%a. %B %d, %Y. %I:%M %p " of now + the text of
// `key` (IDS_STR_FULLBACKUP or IDS_STR_PARTIAL_BACKUP).
Text LatestSafetyCopyText(Clock& clock, const StringLookup& strings, TextView key);

// An elevated restart with a backup switch: performs its action (a full
// backup; the restore of the file or set the switch names). kNothing when
// the flags hold none.
ActionResult RunStartupBackupAction(CatalogueEnv& env, const StartupFlags& flags);

}  // namespace hs
