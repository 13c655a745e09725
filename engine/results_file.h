// The results file "results.hsw": the problem lists of the last scan, kept
// between runs. Saved after every finished scan and repair and at exit;
// loaded at start-up and after a cancelled scan, when every stored problem is
// checked against the live registry again.
//
// Layout (archive encoding): total (int32); then per area in area-bit order
// its count (int32, 0 for a missing area) and its problem records: entry
// type, selected, key, value name, value data, alternate key, 32-bit flag,
// details (string array).
//
// Runs on the user-interface thread while no worker runs.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/file_system.h"
#include "platform/log.h"

namespace hs {

class ScanManager;

inline constexpr TextView kResultsFileName = u"results.hsw";
// Largest results file that is read; a larger one counts as damaged.
inline constexpr std::uint64_t kMaxResultsFileBytes = 256u * 1024 * 1024;

// Encodes the manager's lists.
std::vector<std::uint8_t> EncodeResults(const ScanManager& manager);

// Writes <data_folder>\results.hsw from the manager's areas; a crash or a
// full disk leaves the previous file whole. Failures are logged and returned;
// while the file could not be read at load (ScanManager::results_unreadable)
// nothing is written and that read error is returned.
[[nodiscard]] WinError SaveProblemsToDisk(const ScanManager& manager, FileSystem& fs, TextView data_folder, Log& log);

enum class ResultsLoad {
  kLoaded,   // the areas were created and filled with the checked problems
  kMissing,  // no file: no areas were created
  kDamaged,     // read but malformed, or too large: the file was set aside
                // (SetAsideDamagedFile), lists empty
  kUnreadable,  // could not be read (sharing violation, access denied, ...):
                // the file stays as it is and is not saved over, lists empty
};

struct LoadedResults {
  ResultsLoad status = ResultsLoad::kMissing;
  std::int32_t stored_total = 0;   // the total the file claims
  std::size_t checked_total = 0;   // problems kept after the registry check
};

// Creates all fourteen areas (replacing the manager's) and fills them from
// <data_folder>\results.hsw, keeping only problems whose entries still exist
// (keys are checked with read access where write access is refused).
LoadedResults LoadProblemsFromDisk(ScanManager& manager, FileSystem& fs, TextView data_folder, Log& log);

}  // namespace hs
