// The last results of a machine folder, loaded for a look or a change: the
// data folder's results.hsw in a scan manager with the user's lists and the
// language texts, as the command-line repair loads them.
//
// One thread at a time; not while a scan or repair of the same data folder runs.
#pragma once

#include <memory>

#include "app/cli.h"
#include "app/debug_log.h"
#include "app/strings.h"
#include "areas/user_lists.h"
#include "engine/results_file.h"
#include "engine/scan_context.h"
#include "engine/scan_manager.h"
#include "platform/callback_notifier.h"

namespace hs {

class MachineResults {
 public:
  explicit MachineResults(ScanPorts& ports);
  MachineResults(const MachineResults&) = delete;
  MachineResults& operator=(const MachineResults&) = delete;

  // Reads the lists and results.hsw; false when there are no results (no
  // data folder, no file, or one that could not be read).
  [[nodiscard]] bool Load();
  // Writes results.hsw and the exclusion list back; false (logged) on a failure.
  [[nodiscard]] bool Save();

  ScanManager& manager() { return *manager_; }
  UserList& exclusions() { return exclusions_; }
  const StringLookup& strings() const { return lookup_; }
  const Text& data_folder() const { return data_folder_; }
  Log& log() { return log_; }

 private:
  ScanPorts& ports_;
  DebugLog log_;
  Text data_folder_;
  StringTable strings_;
  StringLookup lookup_;
  UserList exclusions_{UserListKind::kExclusion};
  UserList temp_ignore_{UserListKind::kTempIgnore};
  CallbackNotifier notifier_;
  ScanContext context_;
  std::unique_ptr<ScanManager> manager_;
};

}  // namespace hs
