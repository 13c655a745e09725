// Hive analysis: which loaded hives are measured, a compact copy of each
// (Hives::SaveCompactCopy) compared with the hive file in use, the results
// rows and the not-required rule, the summary file "summary2.bin" and the
// summary after the restart that completed a compaction.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/problem.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/hives.h"
#include "platform/log.h"

namespace hs {

inline constexpr TextView kSummaryFileName = u"summary2.bin";
inline constexpr TextView kAnalysisCopyFolder = u"System32\\Config\\VTQBakup";  // below the Windows folder
inline constexpr TextView kAnalysisTempPrefix = u"HSW";
inline constexpr std::uint32_t kAnalysisPauseMs = 1024;
inline constexpr std::uint32_t kUnknownDays = 0xFFFFFFFFu;
// Not required: at most this many days since the last optimisation and an
// overall gain below this percentage.
inline constexpr std::uint32_t kRecentOptimizeDays = 10;
inline constexpr double kRequiredGainPercent = 2.0;

enum class HiveKind : std::uint32_t { kUser = 2, kSam = 4, kSecurity = 8 };

// One analysed hive; the summary file stores the fields in this order.
struct HiveRecord {
  std::uint32_t saved = 0;
  std::uint32_t root = 0;  // kHkeyLocalMachine or kHkeyUsers
  std::uint32_t compactSize = 0;
  std::uint32_t fileSize = 0;
  Text subKey;
  Text filePath;
  Text copyPath;
  Text companionPath;
  Text hiveName;
  std::uint32_t kind = 0;

  bool operator==(const HiveRecord&) const = default;
};

// Whether the analysis measures a hivelist name: none of the system hives,
// SCHEMA or the .DEFAULT user (compared upper-cased).
bool AnalysedHive(TextView name);

// Root, subKey and kind of a hivelist name; false when it is neither below
// "\registry\machine\" nor "\registry\user\".
[[nodiscard]] bool HiveRecordFromName(TextView name, HiveRecord* out);

// The drive path of a hivelist path: an NT device path through the fixed
// drives' device names; when that does not exist, the same relative path
// under the system drive, the Windows folder, the local application-data
// folder and the profiles folder (replacing a first folder named
// "Documents...", "Users" or "Dokumente..."). Empty when no drive matches.
Text ResolveHivePath(TextView path, const std::vector<DriveDevice>& drives, const HiveFolders& folders,
                     const std::function<bool(TextView)>& exists);

// "%d Bytes" below 1024, then "%0.1f KB", "%0.2f MB", "%0.2f GB".
Text HiveSizeText(std::uint64_t bytes);

// What the progress dialog shows.
class AnalysisProgress {
 public:
  virtual ~AnalysisProgress() = default;
  virtual void SetRange(std::uint32_t count) = 0;
  virtual void SetPosition(std::uint32_t position) = 0;
  virtual void SetText(TextView text) = 0;
};

// The analysis engine. Fields as the engine keeps them, in this order.
class CRegCompact {
 public:
  // All must outlive the engine. windows64 is informational (the adapter
  // chooses the registry view).
  CRegCompact(Hives& hives, Clock& clock, Log& log);
  ~CRegCompact();
  CRegCompact(const CRegCompact&) = delete;
  CRegCompact& operator=(const CRegCompact&) = delete;

  // Runs on a worker thread; Stop() may be called from any thread.
  void AnalyseHives(AnalysisProgress& progress, const StringLookup& strings);
  void Stop() { stop_.store(true); }
  bool stopped() const { return stop_.load(); }
  // Deletes the analysis copies and their companions.
  void DeleteCopies();
  // Keeps the copies when the engine is destroyed.
  void KeepCopies() { keep_copies_[0] = keep_copies_[1] = true; }

  std::atomic<bool> stop_{false};      // the manual-reset stop event
  bool keep_copies_[2] = {false, false};
  bool privileges_[3] = {false, false, false};  // restore, backup, shutdown
  std::vector<Text> hiveNames;
  std::vector<Text> hiveFiles;
  std::vector<Text> cleared;
  Text systemDir;
  std::vector<HiveRecord> records;
  std::uint32_t count = 0;

 private:
  Hives& hives_;
  Clock& clock_;
  Log& log_;
};

// One results row.
struct ResultRow {
  Text hive_name;
  Text fragmentation;  // IDS_FRGMENTATION with the percentage
  Text sizes;          // SCANTAB3LISTFILESIZE with file size and compact size
  int percent = 0;     // for the bar, 0-100
};

struct AnalysisResults {
  std::vector<ResultRow> rows;
  double overall = 0;         // percent
  std::uint64_t total_file = 0;
  std::int64_t total_gain = 0;
  bool not_required = false;  // show IDS_REG_OPT_NOT_REQ and leave
};

// The results of an analysis (records not saved but with a size count as
// saved with a gain of one byte; they are updated in place).
AnalysisResults ShowResults(std::vector<HiveRecord>* records, std::uint32_t days_since_last_optimize,
                            const StringLookup& strings);

// The locale date-and-time text of StrLastOptimizeTime ("12/9/2026 1:05:09
// AM", the English form) and back (false for anything else).
Text FormatLocaleDateTime(const DateTime& t);
[[nodiscard]] bool ParseLocaleDateTime(TextView text, DateTime* out);

// Whole days from the last optimisation to `now`, kUnknownDays when the
// text is empty or unreadable; a future date gives a negative count, which
// as an unsigned number is never recent.
std::uint32_t DaysSinceLastOptimize(TextView last_optimize_time, const DateTime& now);

// The summary file.
struct AnalysisSummary {
  std::vector<HiveRecord> records;
  Text analysis_time;  // "%a. %B %d, %Y. %I:%M %p"
  Text locale_time;    // the locale date-and-time text
};
std::vector<std::uint8_t> EncodeAnalysisSummary(const AnalysisSummary& summary);
// False for a malformed file or one with more than kMaxHiveRecords records.
[[nodiscard]] bool ParseAnalysisSummary(std::span<const std::uint8_t> bytes, AnalysisSummary* out, std::string* error);
// Writes data_folder\summary2.bin (the folder is created, an old file deleted).
[[nodiscard]] bool SaveAnalysisSummary(FileSystem& fs, TextView data_folder, const AnalysisSummary& summary);
// False when the file is missing, malformed or holds no records.
[[nodiscard]] bool LoadAnalysisSummary(FileSystem& fs, TextView data_folder, AnalysisSummary* out);

// The summary page after the restart.
struct RestartSummary {
  std::uint32_t hives = 0;
  std::uint64_t total_before = 0;
  std::uint64_t total_gained = 0;
  double remaining_percent = 100;
};
RestartSummary SummariseAfterRestart(const std::vector<HiveRecord>& stored, std::size_t reported_count);

}  // namespace hs
