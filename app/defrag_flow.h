// The registry optimisation flow around the defragmentation engine: the
// Optimize command (restore point, installation, summary, markers for the
// next start) and the start after the restart (results read back, summary
// loaded into the settings, markers cleared).
#pragma once

#include <vector>

#include "app/settings.h"
#include "defrag/hive_analysis.h"
#include "defrag/hive_installer.h"
#include "platform/prompts.h"
#include "platform/system_restore.h"

namespace hs {

// HKEY_CURRENT_USER key and DWORD value that mark a scheduled compaction.
inline constexpr TextView kOptimizingKeyPath = u"Software\\Corvanta\\HiveSweep\\Sign";
inline constexpr TextView kOptimizingValue = u"OPTIMIZING";
inline constexpr TextView kRestorePointSuffix = u" Before Optimization ";

struct DefragEnv {
  Hives& hives;
  Registry& registry;
  FileSystem& fs;     // holds the data folder
  Text data_folder;
  Clock& clock;
  Log& log;
  Prompts& prompts;
  SystemRestore* restore = nullptr;  // none: no restore point
  StringLookup strings;
  int major_version = 6;
  bool windows64 = true;
  SettingsStore& store;
  AppSettings& settings;
  StartEntryContext start;
};

// Opening the defragmentation page: on major version 6 or later a user who is not an
// administrator restarts the program elevated with "hvxvistadefrag";
// otherwise IDS_ALERT_DEFRAG is asked (Yes/No) and Yes opens the start page.
enum class DefragPageEntry { kElevate, kOpen, kDeclined };
inline constexpr TextView kDefragElevationSwitch = u"hvxvistadefrag";
DefragPageEntry OpenDefragPage(int major_version, bool administrator, Prompts& prompts, const StringLookup& strings);
// The start page's last optimisation: StrLatestRegDefrag, or IDS_NOREGOPT_YET.
Text LastOptimizationText(const AppSettings& settings, const StringLookup& strings);

// Whether a compaction is scheduled (the OPTIMIZING marker is 1).
bool OptimizationPending(Registry& registry);

struct OptimizeOutcome {
  bool installed = false;
  bool restart_started = false;
  bool summary_saved = false;
};
// The Optimize command on the results of `engine`: restore point, the
// installation, then whatever its result the summary, the copies deleted,
// the markers written and the quit logged.
OptimizeOutcome Optimize(DefragEnv& env, CRegCompact& engine);

struct AfterOptimization {
  int results = -1;  // ReadCompactionResults
  std::vector<SHiveInfoResults> hives;
  bool summary_loaded = false;
  AnalysisSummary stored;
  RestartSummary summary;
};
// The start with StartedAfterOptimization.
AfterOptimization StartedAfterOptimization(DefragEnv& env);

}  // namespace hs
