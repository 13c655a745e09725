#include "app/settings_pages.h"

#include <span>
#include <tuple>

namespace hs {

namespace {

WinError FirstError(WinError a, WinError b) { return a != err::kSuccess ? a : b; }

void Show(SettingsPagesEnv& env, TextView key, PromptIcon icon) {
  (void)env.prompts.Ask(env.strings(key), PromptButtons::kOk, icon);
}

}  // namespace

// General page.

GeneralPageModel::GeneralPageModel(SettingsPagesEnv& env, StartEntryContext ctx, int current_language,
                                   std::function<LanguageChangeResult(int)> change_language)
    : env_(env),
      ctx_(std::move(ctx)),
      current_language_(current_language),
      change_language_(std::move(change_language)) {}

std::vector<Text> GeneralPageModel::LanguageNames() {
  std::vector<Text> names;
  for (const Language& l : kLanguages) names.emplace_back(l.display_name);
  return names;
}

std::vector<Text> GeneralPageModel::CloseActionItems() const {
  return {env_.strings(u"IDS_ST_CLOSE_TO_TRAY"), env_.strings(u"IDS_ST_CLOSE_EXIT")};
}

GeneralPageValues GeneralPageModel::Current() const {
  return {current_language_, env_.settings.GoToSystemTrayOnClose == 1 ? 0 : 1, env_.settings.StartWhenWinBoots != 0};
}

WinError GeneralPageModel::Init() {
  const WinError e = env_.store.ApplyStartAtLogon(env_.settings.StartWhenWinBoots != 0, ctx_);
  if (e != err::kSuccess) env_.log.LogLine(u"The start-at-logon entry could not be set: " + ErrorText(e));
  return e;
}

LanguageChangeResult GeneralPageModel::Apply(const GeneralPageValues& values) {
  const WinError e =
      ApplyGeneralSettings(env_.store, &env_.settings, values.close_action, values.start_at_logon, ctx_);
  if (e != err::kSuccess) env_.log.LogLine(u"General settings applied with an error: " + ErrorText(e));
  if (values.language < 0 || values.language >= kLanguageCount) return LanguageChangeResult::kInvalidIndex;
  if (values.language == current_language_) {
    Show(env_, u"IDS_SETTINGS_SAVED", PromptIcon::kInformation);
    return LanguageChangeResult::kSameLanguage;
  }
  return change_language_ ? change_language_(values.language) : LanguageChangeResult::kInvalidIndex;
}

// Scan-areas page.

void ScanAreasPageModel::Load() {
  boxes_ = AreaChecksFromMask(ReadSelectedCategories(env_.store));
  apply_enabled_ = false;
}

void ScanAreasPageModel::SetArea(int index, bool checked) {
  if (index < 0 || index >= kAreaCount || boxes_[index] == checked) return;
  boxes_[index] = checked;
  apply_enabled_ = true;
}

void ScanAreasPageModel::ClickGroup(int group) {
  if (group < 1 || group > static_cast<int>(kGroupMasks.size())) return;
  const bool on = this->group(group) != GroupCheck::kAll;
  for (int i = 0; i < kAreaCount; ++i)
    if (kAreas[i].bit & kGroupMasks[group - 1]) SetArea(i, on);
}

ScanAreasResult ScanAreasPageModel::Apply() {
  const ScanAreasResult r = ApplyScanAreas(env_.store, env_.settings, MaskFromAreaChecks(boxes_));
  if (r.none_selected) Show(env_, u"IDS_NO_SELECTED", PromptIcon::kInformation);
  if (r.error != err::kSuccess) env_.log.LogLine(u"Scan areas not saved: " + ErrorText(r.error));
  boxes_ = AreaChecksFromMask(r.boxes);
  apply_enabled_ = false;
  return r;
}

ScanAreasResult ScanAreasPageModel::RestoreDefaults() {
  const ScanAreasResult r = RestoreDefaultScanAreas(env_.store);
  if (r.error != err::kSuccess) env_.log.LogLine(u"Default scan areas not saved: " + ErrorText(r.error));
  boxes_ = AreaChecksFromMask(r.boxes);
  apply_enabled_ = false;
  return r;
}

// Exclusion page.

ExclusionPageModel::ExclusionPageModel(SettingsPagesEnv& env, UserList& list, FileSystem& fs, Text data_folder)
    : env_(env), list_(list), fs_(fs), data_folder_(std::move(data_folder)) {}

std::vector<Text> ExclusionPageModel::RootNames() { return {kExclusionRootNames.begin(), kExclusionRootNames.end()}; }

void ExclusionPageModel::Message(TextView key, PromptIcon icon) { Show(env_, key, icon); }

void ExclusionPageModel::SaveList() {
  // Failures are logged by the list; the entries stay in memory and are
  // written again at exit.
  (void)list_.Save(fs_, data_folder_, env_.log);
}

WinError ExclusionPageModel::SaveRecord() {
  const WinError e = env_.store.SaveSettings(env_.settings);
  if (e != err::kSuccess) env_.log.LogLine(u"Exclusion page: settings not saved: " + ErrorText(e));
  return e;
}

WinError ExclusionPageModel::ToggleSkipRemovableMedia() {
  env_.settings.SetChkREmovableMedia = skip_removable_media() ? 0 : 1;
  return SaveRecord();
}

WinError ExclusionPageModel::ToggleSkipEmptyKeys() {
  env_.settings.SetChkSkipEmptyKeys = skip_empty_keys() ? 0 : 1;
  return SaveRecord();
}

AddEntryResult ExclusionPageModel::Add(int root_index, TextView key) {
  if (root_index < 0 || root_index >= static_cast<int>(kExclusionRootNames.size())) root_index = 0;
  switch (AddExclusionFromSettings(list_, kExclusionRootNames[static_cast<std::size_t>(root_index)], key)) {
    case AddExclusionResult::kEmptyKey: Message(u"IDS_NOEMPTY_KEY", PromptIcon::kWarning); return AddEntryResult::kKeepOpen;
    case AddExclusionResult::kAlreadyExists:
      Message(u"IDS_ITEM_ALREADY_EXIST", PromptIcon::kWarning);
      return AddEntryResult::kKeepOpen;
    case AddExclusionResult::kAdded:
    case AddExclusionResult::kNotAKeyPath: break;
  }
  selected_ = static_cast<int>(rows().size()) - 1;
  env_.log.LogLine(u"Exclusion added: " + LogSafe(rows().back()));
  SaveList();
  return AddEntryResult::kAdded;
}

bool ExclusionPageModel::Delete() {
  if (selected_ < 0 || selected_ >= static_cast<int>(rows().size())) {
    Message(u"IDS_SELECT_DELETE_ITEM", PromptIcon::kInformation);
    return false;
  }
  if (env_.prompts.Ask(env_.strings(u"IDS_SELECT_DELETE_ENTRY"), PromptButtons::kYesNo, PromptIcon::kQuestion) !=
      PromptAnswer::kYes)
    return false;
  env_.log.LogLine(u"Exclusion removed: " + LogSafe(rows()[static_cast<std::size_t>(selected_)]));
  const std::size_t at = static_cast<std::size_t>(selected_);
  list_.RemoveAt(std::span<const std::size_t>(&at, 1));
  if (selected_ >= static_cast<int>(rows().size())) selected_ = static_cast<int>(rows().size()) - 1;
  SaveList();
  return true;
}

// Schedule page.

ScheduleValues ReadScheduleValues(SettingsStore& store) {
  ScheduleValues v;
  v.kind = store.ReadDword(settings_value::kScheduleKind, 0);
  for (std::size_t i = 0; i < v.days.size(); ++i) v.days[i] = store.ReadDword(settings_value::kWeekdays[i], 0) == 1;
  (void)store.ReadText(settings_value::kScheduleDate, &v.date);
  (void)store.ReadText(settings_value::kScheduleTime, &v.time);
  return v;
}

WinError WriteScheduleValues(SettingsStore& store, const ScheduleValues& v) {
  WinError e = store.WriteDword(settings_value::kScheduleKind, v.kind);
  for (std::size_t i = 0; i < v.days.size(); ++i)
    e = FirstError(e, store.WriteDword(settings_value::kWeekdays[i], v.days[i] ? 1 : 0));
  e = FirstError(e, store.WriteText(settings_value::kScheduleDate, v.date));
  return FirstError(e, store.WriteText(settings_value::kScheduleTime, v.time));
}

int ParseRepeatInterval(TextView field) {
  field = field.substr(0, 12);
  long long n = 0;
  std::size_t i = 0;
  while (i < field.size() && field[i] == u' ') ++i;
  const std::size_t digits = i;
  for (; i < field.size() && field[i] >= u'0' && field[i] <= u'9'; ++i) n = n * 10 + (field[i] - u'0');
  if (i == digits || n <= 0 || n > 0x7FFF) return n > 0x7FFF ? 0x7FFF : 1;
  return static_cast<int>(n);
}

void SchedulePageModel::Message(TextView key, PromptIcon icon) { Show(env_, key, icon); }

Text SchedulePageModel::ScheduledAtText() const {
  return env_.settings.ScheduledTime.empty() ? env_.strings(u"IDS_NOSCHEDULE_YET") : env_.settings.ScheduledTime;
}

ScheduleApplyResult SchedulePageModel::Apply(const ScheduleValues& values, const DateTime& start,
                                             const DateTime& now, TextView repeat_field) {
  if (const WinError e = WriteScheduleValues(env_.store, values); e != err::kSuccess)
    env_.log.LogLine(u"The schedule page's values were not all written: " + ErrorText(e));
  switch (static_cast<ScheduleKind>(values.kind)) {
    case ScheduleKind::kOnce: {
      const auto day = [](const DateTime& t) { return std::make_tuple(t.year, t.month, t.day); };
      if (day(start) < day(now)) {
        Message(u"IDS_DATE_ALREADY_ELAPSED", PromptIcon::kInformation);
        return ScheduleApplyResult::kDateElapsed;
      }
      if (day(start) == day(now) && std::make_tuple(start.hour, start.minute) <= std::make_tuple(now.hour, now.minute)) {
        Message(u"IDS_TIME_ALREADY_ELAPSED", PromptIcon::kInformation);
        return ScheduleApplyResult::kTimeElapsed;
      }
      break;
    }
    case ScheduleKind::kNone:
      if (!env_.settings.ScheduledTime.empty()) {
        if (scheduling_) {
          const WinError e = scheduling_->DeleteWorkItem(scheduling_->AppTitle() + Text(kUserTaskSuffix));
          if (e != err::kSuccess && e != err::kFileNotFound)
            env_.log.LogLine(u"The scheduled scan's task was not deleted: " + ErrorText(e));
        }
        SaveScheduledTime(u"");
        env_.log.LogLine(u"Scheduled scan removed");
      }
      return ScheduleApplyResult::kCleared;
    case ScheduleKind::kDaily: break;
    case ScheduleKind::kWeekly: {
      bool any = false;
      for (bool d : values.days) any = any || d;
      if (!any) {
        Message(u"IDS_NODAY", PromptIcon::kInformation);
        return ScheduleApplyResult::kNoDay;
      }
      break;
    }
    default: Message(u"IDS_DATAERROR", PromptIcon::kInformation); return ScheduleApplyResult::kInvalidKind;
  }
  if (!scheduling_) {
    env_.log.LogLine(u"Schedule page applied (kind " + ToText(static_cast<int>(values.kind)) + u", every " +
                     ToText(ParseRepeatInterval(repeat_field)) + u"): no task scheduler, no scheduled task was created");
    Message(u"IDS_SCHEDULING_UNAVAILABLE", PromptIcon::kInformation);
    return ScheduleApplyResult::kUnavailable;
  }
  ScheduledTaskWriter writer;
  writer.task_name = scheduling_->AppTitle() + Text(kUserTaskSuffix);
  writer.start = start;
  writer.kind = static_cast<int>(values.kind);
  writer.interval = ParseRepeatInterval(repeat_field);
  for (std::size_t i = 0; i < values.days.size(); ++i) writer.days[i] = values.days[i];
  const Text description = scheduling_->DescribeSchedule(writer);
  if (description.empty()) {
    Message(u"IDS_NODAY", PromptIcon::kInformation);
    return ScheduleApplyResult::kNoDay;
  }
  switch (scheduling_->SaveTask(writer, /*automatic=*/false)) {
    case SaveResult::kRestarting: return ScheduleApplyResult::kRestarting;
    case SaveResult::kFailed: return ScheduleApplyResult::kFailed;
    case SaveResult::kSaved: break;
  }
  SaveScheduledTime(description);
  if (show_scheduled_at) show_scheduled_at(ScheduledAtText());
  Message(u"IDS_TASKCREATED", PromptIcon::kInformation);
  return ScheduleApplyResult::kCreated;
}

void SchedulePageModel::SaveScheduledTime(TextView text) {
  env_.settings.ScheduledTime = Text(text);
  if (const WinError e = env_.store.SaveSettings(env_.settings); e != err::kSuccess)
    env_.log.LogLine(u"ScheduledTime not saved in the registry: " + ErrorText(e));
}

}  // namespace hs
