// The four pages of the settings screen as models the window draws:
// general (language, close action, start at logon), scan areas
// (SelectedCategories), the exclusion list with its two check boxes, and
// the schedule page's values. Messages go to Prompts; values to the
// SettingsStore and the AppSettings record.
//
// User-interface thread only; nothing here throws.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/scheduling.h"
#include "app/settings.h"
#include "app/strings.h"
#include "areas/user_lists.h"
#include "engine/problem.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/log.h"
#include "platform/prompts.h"

namespace hs {

struct SettingsPagesEnv {
  SettingsStore& store;
  AppSettings& settings;
  Prompts& prompts;
  Log& log;
  StringLookup strings;
};

// General page.
struct GeneralPageValues {
  int language = 0;      // index in kLanguages
  int close_action = 1;  // 0: to the notification area, 1: exit
  bool start_at_logon = true;
};

class GeneralPageModel {
 public:
  // `change_language` carries out the language change (ChangeLanguage with
  // LanguageChangeSource::kSettingsPage) for an index other than
  // `current_language`.
  GeneralPageModel(SettingsPagesEnv& env, StartEntryContext ctx, int current_language,
                   std::function<LanguageChangeResult(int index)> change_language);

  // Display names in table order.
  static std::vector<Text> LanguageNames();
  // The close-action drop-down: the notification area first, exit second.
  std::vector<Text> CloseActionItems() const;
  // What the page shows: the record's values and the current language.
  GeneralPageValues Current() const;
  // Page initialisation: the start-at-logon entry with the stored value.
  [[nodiscard]] WinError Init();
  // Apply: the record, the start-at-logon entry and a save; then either
  // IDS_SETTINGS_SAVED (same language) or the language change. kRestarting:
  // the caller ends the process now.
  LanguageChangeResult Apply(const GeneralPageValues& values);

 private:
  SettingsPagesEnv& env_;
  StartEntryContext ctx_;
  int current_language_;
  std::function<LanguageChangeResult(int)> change_language_;
};

// Scan-areas page: one box per area (area-bit order) and a three-state box
// per group (1-4).
class ScanAreasPageModel {
 public:
  explicit ScanAreasPageModel(SettingsPagesEnv& env) : env_(env) {}
  // Boxes from the stored mask; Apply disabled.
  void Load();
  const AreaChecks& boxes() const { return boxes_; }
  bool area(int index) const { return index >= 0 && index < kAreaCount && boxes_[index]; }
  GroupCheck group(int group) const { return GroupCheckState(MaskFromAreaChecks(boxes_), group); }
  bool apply_enabled() const { return apply_enabled_; }
  void SetArea(int index, bool checked);
  // A group box click: all of its areas on, unless all are on already.
  void ClickGroup(int group);
  // IDS_NO_SELECTED and the stored boxes when none is checked; otherwise
  // the mask written and the record saved. Apply disabled afterwards.
  ScanAreasResult Apply();
  ScanAreasResult RestoreDefaults();

 private:
  SettingsPagesEnv& env_;
  AreaChecks boxes_{};
  bool apply_enabled_ = false;
};

// Exclusion-list page and its add dialog.
enum class AddEntryResult {
  kAdded,    // close the dialog
  kKeepOpen  // a message was shown; the dialog stays
};

class ExclusionPageModel {
 public:
  ExclusionPageModel(SettingsPagesEnv& env, UserList& list, FileSystem& fs, Text data_folder);
  const std::vector<Text>& rows() const { return list_.entries(); }
  int selected() const { return selected_; }
  void Select(int row) { selected_ = row >= 0 && row < static_cast<int>(rows().size()) ? row : -1; }
  // The add dialog's root chooser, first preselected.
  static std::vector<Text> RootNames();
  // OK of the add dialog: an empty key shows IDS_NOEMPTY_KEY, a key already
  // listed (without regard to case) IDS_ITEM_ALREADY_EXIST; a new entry is
  // added, selected and the list file saved.
  AddEntryResult Add(int root_index, TextView key);
  // IDS_SELECT_DELETE_ITEM without a selection; else asks
  // IDS_SELECT_DELETE_ENTRY and on Yes removes the entry and saves the list.
  bool Delete();
  // The two check boxes; a click flips the record's value at once and saves
  // the record (the Close button's exit does not save it).
  bool skip_removable_media() const { return env_.settings.SetChkREmovableMedia != 0; }
  bool skip_empty_keys() const { return env_.settings.SetChkSkipEmptyKeys != 0; }
  [[nodiscard]] WinError ToggleSkipRemovableMedia();
  [[nodiscard]] WinError ToggleSkipEmptyKeys();

 private:
  void Message(TextView key, PromptIcon icon);
  void SaveList();
  WinError SaveRecord();

  SettingsPagesEnv& env_;
  UserList& list_;
  FileSystem& fs_;
  Text data_folder_;
  int selected_ = -1;
};

// Schedule page. Kinds of m_rBtnEvery.
enum class ScheduleKind : std::uint32_t { kOnce = 0, kDaily = 1, kWeekly = 2, kNone = 3 };

struct ScheduleValues {
  std::uint32_t kind = 0;        // m_rBtnEvery
  std::array<bool, 7> days{};    // Monday ... Sunday
  Text date;                     // Date: the locale's short date
  Text time;                     // Time: the locale's time
  bool operator==(const ScheduleValues&) const = default;
};

// The stored values (absent: 0, unchecked, empty).
ScheduleValues ReadScheduleValues(SettingsStore& store);
[[nodiscard]] WinError WriteScheduleValues(SettingsStore& store, const ScheduleValues& values);
// The repeat field: its first 12 characters as a decimal number; empty,
// 0 or not a number: 1.
int ParseRepeatInterval(TextView field);

enum class ScheduleApplyResult {
  kDateElapsed,   // IDS_DATE_ALREADY_ELAPSED
  kTimeElapsed,   // IDS_TIME_ALREADY_ELAPSED
  kCleared,       // no schedule: ScheduledTime cleared
  kInvalidKind,   // IDS_DATAERROR
  kNoDay,         // IDS_NODAY
  kUnavailable,   // stored, but there is no scheduler to create the task
  kCreated,       // the task exists, ScheduledTime describes it
  kFailed,        // the task was not created (said)
  kRestarting,    // an elevated copy applies it: end this process
};

class SchedulePageModel {
 public:
  // Without `scheduling` the values are only stored.
  explicit SchedulePageModel(SettingsPagesEnv& env, Scheduling* scheduling = nullptr)
      : env_(env), scheduling_(scheduling) {}
  // The scheduled-at label: ScheduledTime, or IDS_NOSCHEDULE_YET.
  Text ScheduledAtText() const;
  // Apply: writes the values, checks them, then creates the task named
  // after the application title + "sch" (or, for no schedule, deletes it).
  // `start` is the chosen date and time, `now` the local time.
  ScheduleApplyResult Apply(const ScheduleValues& values, const DateTime& start, const DateTime& now,
                            TextView repeat_field);
  // Shows a new scheduled-at text; called before the message that follows
  // the change, so the page already tells what the message confirms.
  std::function<void(TextView)> show_scheduled_at;

 private:
  void Message(TextView key, PromptIcon icon);
  void SaveScheduledTime(TextView text);
  SettingsPagesEnv& env_;
  Scheduling* scheduling_;
};

}  // namespace hs
