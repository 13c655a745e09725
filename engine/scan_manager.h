// ScanManager: the process-wide owner of the area objects and the cancel
// event. A scan run creates the areas of the chosen groups, then the worker
// of the operation owner (engine/operation_owner.h; the context's, else the
// manager's own) runs each created and ticked area in run order, notifying
// the window that started it, and ends with 0x401 (finished) or 0x402
// (cancelled, or failed: the worker threw).
//
// Threads: CreateAreas, DestroyAreas, StartScan and the list accessors run on
// the user-interface thread while no worker runs; the worker alone touches
// the areas while it runs. Cancel, IsCancelled and the progress text are
// safe from any thread. Once the run is cancelled the worker sends no more
// messages; the end of a run is posted.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_set>

#include "engine/area_table.h"
#include "engine/category.h"
#include "engine/operation_owner.h"
#include "engine/scan_context.h"

namespace hs {

class CBackup;

// Messages of a run (WM_USER based).
inline constexpr std::uint32_t kMsgScanFinished = 0x401;
inline constexpr std::uint32_t kMsgScanCancelled = 0x402;
inline constexpr std::uint32_t kMsgAreaStart = 0x403;
inline constexpr std::uint32_t kMsgAreaEnd = 0x404;
inline constexpr std::uint32_t kMsgBeforeAreaStart = 0x405;
inline constexpr std::uint32_t kMsgProgressItem = 0x4AA;
inline constexpr int kProgressEvery = 27;

// Reaches the undo set of the repair run in progress (none between runs).
class UndoHolder {
 public:
  CBackup* backup = nullptr;
  Text title;  // the program title
};

class ScanManager {
 public:
  using AreaFactory = std::function<std::unique_ptr<CCategory>(std::uint32_t bit, ScanManager& manager)>;

  ScanManager(ScanContext& context, AreaFactory factory);
  ~ScanManager();  // cancels and joins a running worker
  ScanManager(const ScanManager&) = delete;
  ScanManager& operator=(const ScanManager&) = delete;

  ScanContext& context() const { return context_; }
  const RegEnv& reg() const { return reg_; }
  bool is_admin() const { return is_admin_; }
  int major_version() const { return major_version_; }
  const Text& system_folder() const { return system_folder_; }
  const Text& system_folder32() const { return system_folder32_; }

  // Destroys all areas, resets the cancel event and creates the areas whose
  // bits are in `mask`, in area-bit order.
  void CreateAreas(std::uint32_t mask, int count);
  void DestroyAreas();
  CCategory* AreaByBit(std::uint32_t bit) const;
  ProblemList* ProblemsOf(std::uint32_t bit) const;
  std::size_t TotalProblems() const;
  std::size_t SelectedProblems() const;
  // Recomputes the mask and count from the existing areas (before a repair).
  void CollectAreas();
  std::uint32_t area_mask() const { return area_mask_; }
  int area_count() const { return area_count_; }

  // The manual-reset cancel event.
  void Cancel() { cancelled_.store(true); }
  void ResetCancel() { cancelled_.store(false); }
  bool IsCancelled() const { return cancelled_.load(); }

  // Counts every call; on each 27th copies the text (upper-cased unless
  // keep_case) into the shared progress text and posts 0x4AA to the main
  // window. The message carries no pointer (wParam and lParam are 0): the
  // window reads a copy of the latest text with ProgressText.
  void ReportProgressItem(TextView text, bool keep_case);
  Text ProgressText() const;

  // Runs one area for a scan (scanning) or a repair: 0 without an area, 2
  // when cancelled, else the area's result. Sends 0x405, 0x403 and 0x404 to
  // the notify window around a scan.
  int RunArea(bool scanning, CCategory* area, std::uint32_t bit);
  // Repair of one area, set by the repair run.
  std::function<int(CCategory&)> repair_area;

  // True when an equal problem is already recorded in any area (keys
  // compared lower-cased, HKEY_CLASSES_ROOT as HKEY_LOCAL_MACHINE\SOFTWARE\Classes).
  bool IsDuplicateProblem(const CProblem& problem) const;
  // Keeps the duplicate test's index in step: AddProblem reports each new
  // problem; any other change to the lists invalidates it (a change of the
  // total is also noticed by itself).
  void NoteProblemAdded(const CProblem& problem);
  void InvalidateDuplicateIndex() { dup_indexed_ = kNoIndex; }

  // Starts the scan on the owner's worker; false when the owner is busy (a
  // scan, a repair or an undo runs).
  [[nodiscard]] bool StartScan();
  // Waits for the owner's worker to end (no-op when none runs).
  void JoinWorker();
  // True while a scan runs on the worker (until its end message is out).
  bool worker_running() const { return owner_->state() == Operation::kScanning; }
  OperationOwner& owner() { return *owner_; }
  bool scanning() const { return scanning_.load(); }
  // Scan group (1..4) of the area being run; 0 before the first.
  int current_group() const { return current_group_.load(); }

  // The read error of the results file at load (engine/results_file.h);
  // while set, the file is not saved over. A scan start clears it: its
  // lists replace what the file held.
  void set_results_unreadable(WinError e) { results_unreadable_.store(e); }
  WinError results_unreadable() const { return results_unreadable_.load(); }

  void set_notify_window(WindowTarget w) { notify_window_ = w; }
  void set_main_window(WindowTarget w) { main_window_ = w; }
  WindowTarget notify_window() const { return notify_window_; }
  WindowTarget main_window() const { return main_window_; }
  UndoHolder& undo_holder() { return undo_holder_; }

 private:
  bool ScanWorker();
  void EndScan(bool ok);
  // Sends to the notify window unless the run is cancelled.
  void SendUnlessCancelled(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam);

  ScanContext& context_;
  AreaFactory factory_;
  RegEnv reg_;
  bool is_admin_;
  int major_version_;
  Text system_folder_;
  Text system_folder32_;

  std::array<std::unique_ptr<CCategory>, kAreaCount> areas_;
  std::uint32_t area_mask_ = 0;
  int area_count_ = 0;
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> scanning_{false};
  std::atomic<int> current_group_{0};
  std::atomic<int> scan_result_{0};
  std::atomic<WinError> results_unreadable_{0};
  std::unique_ptr<OperationOwner> own_owner_;
  OperationOwner* owner_;
  WindowTarget notify_window_ = 0;
  WindowTarget main_window_ = 0;
  UndoHolder undo_holder_;

  // Signatures of the recorded problems for the duplicate test, so that a
  // scan finding n problems costs n lookups rather than n * n comparisons.
  static constexpr std::size_t kNoIndex = static_cast<std::size_t>(-1);
  mutable std::unordered_set<Text> dup_index_;
  mutable std::size_t dup_indexed_ = kNoIndex;

  mutable std::mutex progress_mu_;
  Text progress_text_;
  std::uint64_t progress_calls_ = 0;
};

}  // namespace hs
