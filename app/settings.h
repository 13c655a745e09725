// The settings store: the AppSettings record under
// HKEY_CURRENT_USER\Software\Corvanta\HiveSweep, the values read and written
// on their own (profile integers in subkeys, the last scan time, first-run
// and schedule values), the start entries in the per-user Run key, and the
// rules of the general and scan-areas settings pages.
//
// The record belongs to the user-interface thread; it is not locked. The
// SettingsStore keeps no state of its own beyond its key paths, so it may be
// used from any thread that the registry port allows (all of them).
// Failures are results: a key that cannot be opened leaves the record as it
// was (load) or unsaved (save), and a value of the wrong type is ignored.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "engine/area_table.h"
#include "platform/clock.h"
#include "platform/log.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/win_error.h"

namespace hs {

// Subkeys of HKEY_CURRENT_USER.
inline constexpr char16_t kSettingsKeyPath[] = u"Software\\Corvanta\\HiveSweep";
inline constexpr char16_t kRunKeyPath[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Longest text value taken on load, in UTF-16 units; longer ones are ignored.
inline constexpr std::size_t kMaxSettingTextChars = 16384;

// Names of the values handled outside the record.
namespace settings_value {
inline constexpr char16_t kCurrentScanTime[] = u"CurrentScanTime";  // REG_BINARY SYSTEMTIME
inline constexpr char16_t kFirstRun[] = u"FirstRun";                // presence counts; written as 1
inline constexpr char16_t kStartAutoTutorial[] = u"StartAutoTutorial";
inline constexpr char16_t kScheduleKind[] = u"m_rBtnEvery";  // 0 once, 1 daily, 2 weekly, 3 none
inline constexpr char16_t kScheduleDate[] = u"Date";
inline constexpr char16_t kScheduleTime[] = u"Time";
// Weekday check boxes, Monday first; Thursday's value is spelt "Thrusday".
inline constexpr std::array<const char16_t*, 7> kWeekdays = {u"Monday", u"Tuesday", u"Wednesday", u"Thrusday",
                                                             u"Friday", u"Saturday", u"Sunday"};
inline constexpr char16_t kSettingsSection[] = u"Settings";
inline constexpr char16_t kSelectedCategories[] = u"SelectedCategories";
inline constexpr char16_t kReminder[] = u"HSWReminder";  // Run key value
}  // namespace settings_value

// The process-wide settings record. Field names are the registry value
// names; the initialisers are the defaults (applied once, when the record is
// made, so a second load keeps what a first one put in memory).
struct AppSettings {
  std::uint32_t StartWhenWinBoots = 1;
  std::uint32_t GoToSystemTrayOnClose = 0;
  std::uint32_t SetChkDontShowRedTrayPopup = 0;
  std::uint32_t SetChkREmovableMedia = 1;
  std::uint32_t SetChkSkipEmptyKeys = 1;
  std::uint32_t ImprovementProgram = 1;
  Text StrLastOptimizeTime;
  std::uint32_t ConfirmBkUps = 1;
  std::uint32_t StartScan = 0;
  std::uint32_t StartMinimized = 0;
  std::uint32_t AutoRepair = 0;
  Text StrLastScan;
  Text StrLatestRegDefrag;
  Text StrLatestRestorePoint;
  Text StrLastStartupOpt;
  std::uint32_t RegErrFoundTillDate = 0;
  std::uint32_t RegErrsFixedTillDate = 0;
  std::uint32_t RegErrsFixedLast = 0;
  Text ScheduledTime;
  std::uint32_t NumTimesHSWRunned = 0;
  // Problems found by the last scan; stored as decimal text (REG_SZ).
  std::int32_t StrLastScanResults = 0;

  bool operator==(const AppSettings&) const = default;
};

// "%a. %B %d, %Y. %I:%M %p" of a local time, in the C runtime's current
// locale (English names in the "C" locale). Empty for an impossible date.
Text FormatSettingsTime(const DateTime& local);

// The 16-byte SYSTEMTIME of a local time (year, month, day of week, day,
// hour, minute, second, milliseconds; 16-bit little-endian each) and back.
// The decoder answers false for another size or an impossible date or time;
// it ignores the stored day of week and derives it.
std::vector<std::uint8_t> EncodeSystemTime(const DateTime& local);
[[nodiscard]] bool DecodeSystemTime(const std::vector<std::uint8_t>& data, DateTime* out);

// Decimal text of StrLastScanResults as a count: optional white space around
// an unsigned decimal number up to 2^31-1. Anything else, a sign included,
// is 0.
std::int32_t ParseScanResultsCount(TextView text);

// The scheduled-task side of the start entries on Windows 6.x (the Task
// Scheduler code provides it). Each call creates or deletes one task and
// answers 0 when the task is then as asked.
class LogonTasks {
 public:
  virtual ~LogonTasks() = default;
  [[nodiscard]] virtual WinError SetReminderTask(bool present) = 0;
  [[nodiscard]] virtual WinError SetAfterCompactionTask(bool present) = 0;
};

// What the start entries need to know of the program and the system.
struct StartEntryContext {
  int major_version = 0;        // Windows major version (SystemInfo)
  Text program_path;            // full path of the program's executable
  Text app_title;               // the application title (AFX_IDS_APP_TITLE)
  LogonTasks* tasks = nullptr;  // used on major version 6 and later only; not owned
};

class SettingsStore {
 public:
  // `registry` and `log` must outlive the store. Both paths are subkeys of
  // HKEY_CURRENT_USER; tests pass scratch keys.
  SettingsStore(Registry& registry, Log& log, Text settings_key = kSettingsKeyPath, Text run_key = kRunKeyPath);

  const Text& settings_key() const { return settings_key_; }
  const Text& run_key() const { return run_key_; }

  // Opens (creating if missing) the settings key and reads the record's
  // values into *settings: a DWORD only when REG_DWORD of 4 bytes, a text only
  // when REG_SZ or REG_EXPAND_SZ (cut at its first NUL, not expanded, at most
  // kMaxSettingTextChars); anything else keeps the value in memory.
  // StrLastScanResults is read through its own read-only open: a text is
  // parsed by ParseScanResultsCount (empty or malformed = 0), anything else
  // keeps the count. Falls back to a read-only open when write access is
  // denied. On failure the error of the first open, with nothing read.
  [[nodiscard]] WinError LoadSettings(AppSettings* settings);
  // Opens (creating) the settings key and writes the whole record: DWORDs as
  // REG_DWORD, texts as REG_SZ with their terminator, StrLastScanResults as
  // decimal text. Every value is attempted; the first failure is answered.
  [[nodiscard]] WinError SaveSettings(const AppSettings& settings);

  // A DWORD in the subkey `section` of the settings key (an empty section is
  // the settings key itself). The read opens read-only and never creates;
  // a missing key or value, or one that is not a 4-byte REG_DWORD, gives
  // `default_value`.
  std::uint32_t ReadProfileInt(TextView section, TextView entry, std::uint32_t default_value);
  // Opens the subkey for writing, creating it if needed; 0 when the value was set.
  [[nodiscard]] WinError WriteProfileInt(TextView section, TextView entry, std::uint32_t value);

  // Values directly under the settings key, read from the registry each time.
  std::uint32_t ReadDword(TextView name, std::uint32_t default_value) {
    return ReadProfileInt(u"", name, default_value);
  }
  [[nodiscard]] WinError WriteDword(TextView name, std::uint32_t value) { return WriteProfileInt(u"", name, value); }
  // False (text empty) when the key or value is missing or not a text as
  // LoadSettings takes it.
  bool ReadText(TextView name, Text* text);
  [[nodiscard]] WinError WriteText(TextView name, TextView text);
  // True when the value exists, whatever its type.
  bool HasValue(TextView name);

  // The stored CurrentScanTime; false when missing or not convertible.
  bool ReadScanTime(DateTime* local);
  [[nodiscard]] WinError WriteScanTime(const DateTime& local);
  // Whole days (seconds / 86400) from CurrentScanTime to the clock's local
  // time; -1 when the value is missing or not convertible, 0 when it lies in
  // the future (the clock was set back).
  int DaysSinceLastScan(Clock& clock);

  // End of a scan: StrLastScan and CurrentScanTime from one reading of the
  // clock, RegErrFoundTillDate += problem_count (held at 0xFFFFFFFF), then
  // SaveSettings. The first failure is answered; the record is updated even
  // when writing fails.
  [[nodiscard]] WinError RecordScanEnd(AppSettings* settings, Clock& clock, std::uint32_t problem_count);

  // The start-at-logon entry. Major version 6: the reminder task. Otherwise
  // HSWReminder in the Run key, "\"<path>\" -rem" when on, deleted when off.
  // 87 for a path that is empty or holds a quote or a control character;
  // 120 on major version 6 or later without `tasks`.
  [[nodiscard]] WinError ApplyStartAtLogon(bool on, const StartEntryContext& ctx);
  // The one-shot start after a hive compaction. On: the after-compaction
  // entry is set (Run value named after the application title with
  // "\"<path>\" StartedAfterOptimization ", or the task) and the reminder
  // removed. Off: the after-compaction entry is removed and the reminder put
  // back as `start_when_win_boots` says. 87 also for an empty title.
  [[nodiscard]] WinError ApplyAfterCompactionStart(bool on, bool start_when_win_boots, const StartEntryContext& ctx);

 private:
  Text SectionPath(TextView section) const;
  [[nodiscard]] WinError SetRunValue(TextView name, TextView data);
  [[nodiscard]] WinError DeleteRunValue(TextView name);

  Registry& registry_;
  Log& log_;
  Text settings_key_;
  Text run_key_;
};

// General settings page, Apply (the language part is the caller's):
// GoToSystemTrayOnClose = 1 for the first close-action item, else 0;
// StartWhenWinBoots from the check box; the start-at-logon entry; save.
// The first failure is answered; the record is updated regardless.
[[nodiscard]] WinError ApplyGeneralSettings(SettingsStore& store, AppSettings* settings, int close_action_index,
                                            bool start_at_logon, const StartEntryContext& ctx);

// Scan-areas settings page. Check boxes are indexed in area-bit order
// (kAreas); bits outside kAllAreasMask are ignored.
using AreaChecks = std::array<bool, kAreaCount>;
AreaChecks AreaChecksFromMask(std::uint32_t mask);
std::uint32_t MaskFromAreaChecks(const AreaChecks& checks);

// A group check box (groups 1-4 of kGroupMasks) shows none, some or all of
// its areas checked. kNone for a group number out of range.
enum class GroupCheck { kNone, kSome, kAll };
GroupCheck GroupCheckState(std::uint32_t mask, int group);

// The stored selection: SelectedCategories, 0x3FFF when missing.
std::uint32_t ReadSelectedCategories(SettingsStore& store);

struct ScanAreasResult {
  bool none_selected = false;  // show IDS_NO_SELECTED; nothing was written
  WinError error = err::kSuccess;
  std::uint32_t boxes = 0;  // the mask the check boxes show afterwards
};
// Apply: with no area checked nothing is written and the boxes reload from
// the stored mask; otherwise the mask is written, then the record saved.
ScanAreasResult ApplyScanAreas(SettingsStore& store, const AppSettings& settings, std::uint32_t checked_mask);
// Restore defaults: writes 0x3FFF and reloads the boxes from the stored mask.
ScanAreasResult RestoreDefaultScanAreas(SettingsStore& store);

}  // namespace hs
