// A repair run: on a worker thread, the areas in run order repair their
// selected problems through the undo layer (backup/undo_backup.h), which
// backs every registry change up before making it. A repaired problem
// leaves its list; one whose repair failed stays, still selected.
//
// Threads: Start, Finish and the destructor run on the user-interface
// thread; the worker alone touches the areas and the undo set while it runs.
// The run goes on the operation owner's worker (engine/operation_owner.h),
// so it cannot overlap a scan or an undo. The end of the run is posted to
// the notify window (0x407 completed, 0x406 stopped; also 0x406 when the
// worker threw); its handler then calls Finish.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "backup/undo_backup.h"
#include "engine/scan_manager.h"
#include "platform/recycle_bin.h"
#include "platform/repair_progress.h"
#include "platform/url_history.h"

namespace hs {

class SettingsStore;
struct AppSettings;

inline constexpr std::uint32_t kMsgRepairStopped = 0x406;
inline constexpr std::uint32_t kMsgRepairCompleted = 0x407;
// Commands to the main window after a completed run.
inline constexpr std::uint32_t kCmdAfterRepairScreen = 1184;
inline constexpr std::uint32_t kCmdResultsScreen = 1134;
inline constexpr std::uint32_t kWmCommand = 0x0111;

struct RepairEnv {
  ScanManager& manager;
  UndoEnv& undo;
  SettingsStore& settings_store;
  AppSettings& settings;
  RepairProgress& progress;
  UrlHistory& history;
  RecycleBin& recycle_bin;
  FileSystem& fs;
  Text data_folder{};
  // Runs on the worker before the first repair and after the last (COM
  // initialisation for the history object); may be empty.
  std::function<void()> thread_start{};
  std::function<void()> thread_end{};
  // Makes a restore point at the start of the run (its result does not
  // stop the run); may be empty.
  std::function<bool()> create_restore_point{};
};

// Entry type → repair group letter 'A'..'J'; 0 for a type never repaired.
char RepairGroup(std::int32_t entry_type);
// The history address of a file path: spaces as %20, backslashes as '/',
// "file:///" before, '[' and ']' as %5B and %5D.
Text HistoryUrlOfPath(TextView path);

class RepairRun {
 public:
  explicit RepairRun(RepairEnv& env);
  ~RepairRun();  // stops and joins a running worker
  RepairRun(const RepairRun&) = delete;
  RepairRun& operator=(const RepairRun&) = delete;

  // The restore point, CollectAreas, BeginUndoBackup, and the worker unless the owner is busy
  // (a scan, a repair or an undo runs). False when none was started.
  [[nodiscard]] bool Start();
  // Waits for the worker this run started (no-op when none).
  void Join();
  bool repairing() const { return repairing_.load(); }
  // True when the last run ended by the cancel event.
  bool stopped() const { return stopped_; }
  // After Finish: false when the undo set or the results file could not be
  // written; the record file of the run's undo set (empty when none was).
  bool saved() const { return saved_; }
  const Text& undo_record() const { return undo_record_; }

  // The end of the run (after 0x407 or 0x406): settings, EndUndoBackup, and
  // when completed the results file, the temporary ignore upkeep and the
  // command for the main window. Returns the command posted (0 when none).
  std::uint32_t Finish(bool completed);

  // The worker's steps, public for tests (run on the calling thread).
  void CleanWorker();
  int RepairArea(CCategory& area);
  [[nodiscard]] bool RepairProblem(const CProblem& problem);

 private:
  bool DeleteKeyAndEmptyParent(std::int32_t root_index, const Text& subkey, bool tree, bool is64);
  void RemoveParentIfEmpty(std::int32_t root_index, const Text& subkey, bool is64);

  void PostEnd();
  void EndWorker(bool ok);

  RepairEnv& env_;
  std::unique_ptr<CBackup> backup_;
  bool launched_ = false;         // caller's thread
  bool thread_started_ = false;   // worker: thread_start ran, thread_end not yet
  std::atomic<bool> repairing_{false};
  bool stopped_ = false;
  bool saved_ = true;
  Text undo_record_;
};

}  // namespace hs
