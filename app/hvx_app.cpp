#include "app/hvx_app.h"

#include <clocale>

#include "app/data_folder.h"
#include "backup/restore_point.h"
#include "backup/undo_backup.h"
#include "areas/areas.h"
#include "app/repair.h"
#include "engine/results_file.h"

namespace hs {

CHVXApp::CHVXApp(AppEnvironment& env)
    : env_(env), log_(env.fs, env.clock, env.folders), settings_store_(env.registry, log_), safe_lists_(env.folders) {
  const Text fonts = env.folders.SpecialFolderPath(kCsidlFonts);
  segoe_font_ = !fonts.empty() && env.fs.Exists(fonts + u"\\segoeui.ttf");
}

CHVXApp::~CHVXApp() {
  if (manager_) manager_->Cancel();
  if (operations_) operations_->Join();
}

bool CHVXApp::InitInstance(const std::vector<Text>& arguments) {
  // 1. Let a process that has just started this one finish exiting.
  env_.clock.SleepMs(arguments.empty() ? kWaitWithoutArgumentsMs : kWaitWithArgumentsMs);
  // 2. The language and the C runtime locale of its table entry.
  const int lang = CurrentLangID(env_.registry);
  const Language& language = LanguageRecord(lang);
  for (int category : {LC_COLLATE, LC_CTYPE, LC_MONETARY, LC_NUMERIC, LC_TIME}) std::setlocale(category, language.locale);
  std::setlocale(LC_ALL, language.locale);
  // 4. The strings, and the language index they name.
  (void)EnsureDataFolder(env_.folders, env_.fs, &data_folder_);
  strings_ = std::make_unique<StringTable>(env_.ini, env_.fs, log_, env_.program_folder, data_folder_, lang,
                                           [this](TextView message) {
                                             if (env_.show_error) env_.show_error(message);
                                           });
  strings_->LoadPersistedCache();
  (void)strings_->LookupString(u"IDS_LANGUAGE");
  language_index_ = lang;
  // 5. A second wait when started with arguments.
  if (!arguments.empty()) env_.clock.SleepMs(kSecondWaitWithArgumentsMs);
  // 6. The single-instance lock.
  flags_.already_running = env_.instance.AnotherInstanceRuns(kInstanceMutexName);
  // 7. A second instance only signals the first.
  if (flags_.already_running) {
    const WindowTarget first = env_.instance.FindFirstInstance(AppTitle());
    if (first) {
      if (!arguments.empty() && EqualsNoCase(arguments[0], u"scan")) env_.instance.OfferScheduledScan(first);
      else env_.instance.BringToFront(first);
    }
    return false;
  }
  // 8. Settings, and one more start.
  (void)settings_store_.LoadSettings(&settings_);
  ++settings_.NumTimesHSWRunned;
  // 10. The scan areas, the user lists and the last results.
  operations_ = std::make_unique<OperationOwner>(log_, &env_.notifier);
  scan_context_ = std::make_unique<ScanContext>(ScanContext{env_.registry, env_.wow64, env_.system, env_.protection,
                                                            env_.notifier, log_});
  scan_context_->owner = operations_.get();
  scan_context_->safe_lists = &safe_lists_;
  scan_context_->exclusions = &exclusions_;
  scan_context_->temp_ignore = &temp_ignore_;
  scan_context_->strings = [this](TextView key) { return strings_->LookupString(key); };
  scan_context_->skip_empty_keys = settings_.SetChkSkipEmptyKeys != 0;
  manager_ = std::make_unique<ScanManager>(*scan_context_, CreateArea);
  if (env_.shell) {
    file_refs_ = std::make_unique<FileReferences>(*env_.shell, manager_->reg(), &safe_lists_, manager_->system_folder(),
                                                  manager_->system_folder32());
    file_refs_->set_skip_removable_media(settings_.SetChkREmovableMedia != 0);
    scan_context_->file_refs = file_refs_.get();
    scan_context_->shell = env_.shell;
  }
  scan_context_->folders = &env_.folders;
  scan_context_->fs = &env_.fs;
  scan_context_->links = env_.links;
  manager_->undo_holder().title = AppTitle();
  (void)exclusions_.Load(env_.fs, data_folder_, log_);
  (void)temp_ignore_.Load(env_.fs, data_folder_, log_);
  if (env_.editor) {
    // A repair run that never ended (a crash, a kill) left its journal: its
    // undo set is completed before anything else changes the registry.
    UndoEnv undo = MakeUndoEnv();
    (void)RecoverInterruptedUndoSets(undo);
  }
  LoadedResults loaded = LoadProblemsFromDisk(*manager_, env_.fs, data_folder_, log_);
  if (loaded.status == ResultsLoad::kLoaded) settings_.StrLastScanResults = static_cast<std::int32_t>(loaded.checked_total);
  initialised_ = true;
  // 11. The options.
  const bool was_running = flags_.already_running;
  flags_ = ParseCommandLine(arguments, manager_->is_admin());
  flags_.already_running = was_running;
  if (flags_.ppi_build) env_.clock.SleepMs(kPpiBuildWaitMs);
  if (flags_.reminder) env_.clock.SleepMs(kReminderWaitMs);
  if (flags_.silent_results) return false;
  return true;
}

UndoEnv CHVXApp::MakeUndoEnv() {
  UndoEnv undo{env_.registry, env_.fs, *env_.editor, env_.clock, log_};
  undo.windows64 = env_.wow64.IsWow64Process();
  undo.is_admin = env_.system.IsAdministrator();
  undo.data_folder = data_folder_;
  undo.strings = scan_context_->strings;
  undo.exclusions = &exclusions_;
  return undo;
}

std::unique_ptr<CatalogueSession> CHVXApp::OpenCatalogue() {
  if (!initialised_ || !env_.editor || !env_.whole || !env_.launcher || !env_.prompts) return nullptr;
  return std::make_unique<CatalogueSession>(MakeUndoEnv(), *env_.whole, env_.system, *env_.launcher, *env_.prompts,
                                            settings_store_, settings_, restore_in_progress_);
}

ActionResult CHVXApp::RunStartupBackupAction() {
  if (!flags_.vista_full_backup && !flags_.vista_full_backup_restore && !flags_.vista_partial_backup_restore)
    return ActionResult::kNothing;
  auto session = OpenCatalogue();
  if (!session) {
    log_.LogLine(u"The backup action of the restart cannot run here");
    return ActionResult::kNothing;
  }
  return hs::RunStartupBackupAction(session->env, flags_);
}

bool CHVXApp::CreateRestorePoint() {
  if (!env_.restore || !initialised_) return false;
  RestorePointEnv rp{env_.registry, *env_.restore, env_.clock, log_, AppTitle()};
  return CreateSystemRestorePoint(rp, u"");
}

bool CHVXApp::StartUndo(TextView record_path, std::function<void(bool ok)> done) {
  if (!env_.editor || !operations_ || !scan_context_) return false;
  auto undo = std::make_shared<UndoEnv>(MakeUndoEnv());
  const bool started = operations_->StartUndo(
      [undo, path = Text(record_path)] { return UndoSetFromRecord(*undo, path); }, std::move(done));
  if (!started) log_.LogLine(u"The undo did not start: another operation runs");
  return started;
}

bool CHVXApp::StartUnattendedScan() {
  if (!manager_) return false;
  const std::uint32_t ticked = ReadSelectedCategories(settings_store_);
  std::uint32_t mask = 0;
  int count = 0;
  for (int g = 0; g < 4; ++g) {
    if ((ticked & kGroupMasks[g]) == 0) continue;
    mask |= kGroupMasks[g];
    count += kGroupCounts[g];
  }
  if (count == 0) {
    log_.LogLine(u"No scan area is selected; the scheduled scan does not run");
    return false;
  }
  log_.LogLine(u"Scheduled scan started");
  return StartScan(mask, count);
}

bool CHVXApp::StartScan(std::uint32_t group_mask, int area_count) {
  if (!manager_ || operations_->busy()) return false;
  scan_context_->selected_categories = ReadSelectedCategories(settings_store_);
  scan_context_->skip_empty_keys = settings_.SetChkSkipEmptyKeys != 0;
  manager_->CreateAreas(group_mask, area_count);
  return manager_->StartScan();
}

void CHVXApp::FinishScan() {
  manager_->JoinWorker();
  const std::size_t total = manager_->TotalProblems();
  settings_.StrLastScanResults = static_cast<std::int32_t>(total);
  (void)settings_store_.RecordScanEnd(&settings_, env_.clock, static_cast<std::uint32_t>(total));
  (void)SaveResults();
}

WinError CHVXApp::SaveResults() {
  if (!manager_ || !initialised_) return err::kInvalidHandle;
  return SaveProblemsToDisk(*manager_, env_.fs, data_folder_, log_);
}

int CHVXApp::FinishUnattendedScan() {
  FinishScan();
  log_.LogLine(u"Scheduled scan finished: " + ToText(static_cast<std::int64_t>(manager_->TotalProblems())) +
               u" problems found");
  return 0;
}

bool CHVXApp::StartRepair() {
  if (!initialised_ || !env_.editor || !env_.history || !env_.recycle_bin || operations_->busy()) return false;
  repair_.reset();
  repair_undo_ = std::make_unique<UndoEnv>(MakeUndoEnv());
  settings_.RegErrsFixedLast = 0;
  (void)settings_store_.SaveSettings(settings_);
  repair_env_ = std::make_unique<RepairEnv>(RepairEnv{*manager_, *repair_undo_, settings_store_, settings_,
                                                      repair_progress_, *env_.history, *env_.recycle_bin, env_.fs,
                                                      data_folder_});
  repair_env_->create_restore_point = [this] { return CreateRestorePoint(); };
  repair_ = std::make_unique<RepairRun>(*repair_env_);
  if (repair_->Start()) return true;
  repair_.reset();
  return false;
}

void CHVXApp::FinishRepair(bool completed) {
  if (!repair_) return;
  repair_->Join();
  (void)repair_->Finish(completed);
}

void CHVXApp::ExitInstance() {
  log_.LogLine(u"ExitInstance!");
  if (repair_) repair_->Join();
  if (manager_) {
    manager_->Cancel();
    manager_->JoinWorker();  // also an undo under way: it ends before the lists are saved
    if (!flags_.already_running) (void)SaveResults();
    manager_->DestroyAreas();
  }
  if (initialised_) {
    (void)exclusions_.Save(env_.fs, data_folder_, log_);
    (void)temp_ignore_.Save(env_.fs, data_folder_, log_);
  }
  if (strings_) (void)strings_->SavePersistedCache();
  log_.LogLine(u"ExitInstance Done!");
}

}  // namespace hs
