#include "app/backup_catalogue.h"

#include <algorithm>

namespace hs {

Text LatestSafetyCopyText(Clock& clock, const StringLookup& strings, TextView key) {
  return FormatSettingsTime(clock.LocalTime()) + u" " + strings(key);
}

void BackupListModel::SetRows(std::vector<ListRow> rows) {
  has_backups_ = !rows.empty();
  rows_ = std::move(rows);
  if (!has_backups_) rows_.push_back(ListRow{S(u"IDS_NO_ITEM_TO_SHOW"), Text()});
  selected_ = has_backups_ ? 0 : -1;
}

bool BackupListModel::Chosen(TextView key, Text* path) {
  if (selected_ < 0 || !has_backups_) {
    Message(key, PromptIcon::kInformation);
    return false;
  }
  *path = rows_[static_cast<std::size_t>(selected_)].path;
  return true;
}

bool BackupListModel::Confirmed() {
  return env_.prompts.Ask(S(u"IDS_CONFIRM_DELETE"), PromptButtons::kYesNo, PromptIcon::kQuestion) ==
         PromptAnswer::kYes;
}

// Full backups.

FullBackupsModel::FullBackupsModel(CatalogueEnv& env) : BackupListModel(env) {
  // Headed like the repair backups list, in the language of the screen.
  columns_ = {{S(u"IDS_CHANGE_DATE_TIME"), kBackupListTextWidth}, {S(u"IDS_UNDO_FILE"), 0}};
  SetRows({});
}

void FullBackupsModel::Refresh() {
  std::vector<ListRow> rows;
  for (const FullBackupEntry& b : ListFullBackups(env_.undo.fs, env_.undo.data_folder)) {
    rows.push_back(ListRow{b.dated ? FormatBackupDate(env_.undo.clock.LocalTimeOf(b.seconds)) : Text(), b.path});
  }
  SetRows(std::move(rows));
}

namespace {

FullBackupEnv MakeFullEnv(CatalogueEnv& env) {
  return FullBackupEnv{env.whole, env.undo.registry, env.undo.fs, env.undo.clock, env.undo.log,
                       env.undo.data_folder, env.undo.windows64};
}

ActionResult Elevate(CatalogueEnv& env, ElevatedAction action, TextView target) {
  switch (ApplyElevationRule(env.system, env.launcher, env.undo.log, action, target)) {
    case Elevation::kRunHere: return ActionResult::kDone;
    case Elevation::kRestarting: return ActionResult::kEndProcess;
    case Elevation::kRefused: break;
  }
  (void)env.prompts.Ask(env.undo.strings(u"IDS_STR_LACK_OF_PERMISSION"), PromptButtons::kOk, PromptIcon::kError);
  return ActionResult::kFailed;
}

// Runs `work` between the progress dialog's opening and closing.
template <typename F>
auto WithProgress(CatalogueEnv& env, TextView info_key, F work) {
  if (env.run_with_progress) {
    decltype(work()) result{};
    env.run_with_progress(env.undo.strings(info_key), [&] { result = work(); });
    return result;
  }
  if (env.progress_open) env.progress_open(env.undo.strings(info_key));
  auto result = work();
  if (env.progress_close) env.progress_close();
  return result;
}

}  // namespace

ActionResult FullBackupsModel::TakeFullBackup() {
  if (ActionResult a = Elevate(env_, ElevatedAction::kFullBackup, {}); a != ActionResult::kDone) return a;
  busy_ = true;
  FullBackupEnv full = MakeFullEnv(env_);
  const FullBackupResult r = WithProgress(env_, u"IDC_BACKUP_INFO", [&] { return MakeFullBackup(full); });
  busy_ = false;
  Refresh();
  if (r.status != FullBackupStatus::kOk) {
    Message(u"IDS_FULL_BACKUP_FAILED", PromptIcon::kError);
    return ActionResult::kFailed;
  }
  // Recorded once the backup is there: a failed one is no safety copy.
  env_.settings.StrLatestRestorePoint = LatestSafetyCopyText(env_.undo.clock, env_.undo.strings, u"IDS_STR_FULLBACKUP");
  (void)env_.settings_store.SaveSettings(env_.settings);
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].path == r.path) selected_ = static_cast<int>(i);
  return ActionResult::kDone;
}

ActionResult FullBackupsModel::Restore() {
  Text path;
  if (!Chosen(u"IDS_SELECT_RESTORE_ITEM", &path)) return ActionResult::kNothing;
  return RestoreFile(path);
}

ActionResult FullBackupsModel::RestoreFile(TextView path) {
  if (ActionResult a = Elevate(env_, ElevatedAction::kFullRestore, path); a != ActionResult::kDone) return a;
  busy_ = true;
  FullBackupEnv full = MakeFullEnv(env_);
  const FullRestoreResult r = WithProgress(env_, u"IDC_RESTORE_INFO", [&] { return RestoreFullBackupFile(full, path); });
  busy_ = false;
  switch (r.status) {
    case FullRestoreStatus::kOk:
      Message(u"IDS_SUCCESSFULL_RESTORE", PromptIcon::kInformation);
      return ActionResult::kDone;
    case FullRestoreStatus::kMissing: Message(u"IDC_STR_BACKUP_FILE_MISSING", PromptIcon::kError); break;
    case FullRestoreStatus::kEditorNotStarted: Message(u"IDS_BACKUP_CANNOT_BE_RESTORED", PromptIcon::kError); break;
    case FullRestoreStatus::kDamaged: Message(u"IDS_BACKUP_FILE_DAMAGED", PromptIcon::kError); break;
    case FullRestoreStatus::kNotFinished:
    case FullRestoreStatus::kDiffers: Message(u"IDS_FULL_RESTORE_FAILED", PromptIcon::kError); break;
  }
  return ActionResult::kFailed;
}

ActionResult FullBackupsModel::Delete() {
  Text path;
  if (!Chosen(u"IDS_SELECT_DELETE_ITEM", &path)) return ActionResult::kNothing;
  if (!Confirmed()) return ActionResult::kNothing;
  const WinError e = env_.undo.fs.DeleteFile(path);
  Refresh();
  if (e != err::kSuccess) {
    env_.undo.log.LogLine(u"Cannot delete the full backup " + LogSafe(path) + u": " + ErrorText(e));
    Message(u"IDS_DELETE_FAILED", PromptIcon::kError);
    return ActionResult::kFailed;
  }
  env_.undo.log.LogLine(u"Full backup deleted: " + LogSafe(path));
  return ActionResult::kDone;
}

// Partial backups.

PartialBackupsModel::PartialBackupsModel(CatalogueEnv& env) : BackupListModel(env) {
  columns_ = {{S(u"IDS_CHANGE_DATE_TIME"), kBackupListTextWidth}, {S(u"IDS_UNDO_FILE"), 0}};
  SetRows({});
}

bool PartialBackupsModel::LoadBackups() {
  sets_.clear();
  const bool listed = env_.undo.fs.IsDirectory(PartialBackupsFolder(env_.undo));
  std::vector<ListRow> rows;
  // The label ends where the time starts: a blank keeps them apart.
  const Text label = S(u"IDS_PARTIAL_BACKUP");
  for (UndoSetInfo& set : ListUndoSets(env_.undo)) {
    const Text when = FormatBackupDate(env_.undo.clock.LocalTimeOf(set.changed));
    if (when.empty()) continue;
    rows.push_back(ListRow{label.empty() ? when : label + u" " + when, set.record_path});
    sets_.push_back(std::move(set));
  }
  SetRows(std::move(rows));
  env_.undo.log.LogLine(u"LoadBackups completed");
  return listed;
}

ActionResult PartialBackupsModel::Restore() {
  Text record;
  if (!Chosen(u"IDS_SELECT_RESTORE_ITEM", &record)) return ActionResult::kNothing;
  return RestoreRecord(record);
}

ActionResult PartialBackupsModel::RestoreRecord(TextView record_path) {
  const auto it = std::find_if(sets_.begin(), sets_.end(),
                               [&](const UndoSetInfo& s) { return s.record_path == record_path; });
  if (it == sets_.end()) {
    Message(u"IDS_SELECT_RESTORE_ITEM", PromptIcon::kInformation);
    return ActionResult::kNothing;
  }
  if (env_.restore_in_progress.load()) return ActionResult::kNothing;
  if (ActionResult a = Elevate(env_, ElevatedAction::kPartialRestore, record_path); a != ActionResult::kDone)
    return a;
  if (env_.main_window_enabled) env_.main_window_enabled(false);
  busy_ = true;
  env_.restore_in_progress.store(true);
  const bool ok = env_.run_undo ? env_.run_undo(record_path) : UndoSetFromRecord(env_.undo, record_path);
  if (ok) Message(u"IDS_SUCCESSFULL_RESTORE", PromptIcon::kInformation);
  env_.restore_in_progress.store(false);
  busy_ = false;
  if (env_.main_window_enabled) env_.main_window_enabled(true);
  return ok ? ActionResult::kDone : ActionResult::kFailed;
}

ActionResult PartialBackupsModel::Delete() {
  Text record;
  if (!Chosen(u"IDS_SELECT_DELETE_ITEM", &record)) return ActionResult::kNothing;
  if (!Confirmed()) return ActionResult::kNothing;
  const bool ok = DeleteUndoSet(env_.undo, record);
  (void)LoadBackups();
  if (!ok) {
    Message(u"IDS_DELETE_FAILED", PromptIcon::kError);
    return ActionResult::kFailed;
  }
  return ActionResult::kDone;
}

ActionResult RunStartupBackupAction(CatalogueEnv& env, const StartupFlags& flags) {
  if (flags.vista_full_backup) {
    FullBackupsModel full(env);
    return full.TakeFullBackup();
  }
  if (flags.vista_full_backup_restore && !flags.backup_target.empty()) {
    FullBackupsModel full(env);
    full.Refresh();
    const auto& rows = full.rows();
    if (std::none_of(rows.begin(), rows.end(), [&](const ListRow& r) { return r.path == flags.backup_target; }))
      return ActionResult::kNothing;
    return full.RestoreFile(flags.backup_target);
  }
  if (flags.vista_partial_backup_restore && !flags.backup_target.empty()) {
    PartialBackupsModel partial(env);
    (void)partial.LoadBackups();
    return partial.RestoreRecord(flags.backup_target);
  }
  return ActionResult::kNothing;
}

}  // namespace hs
