#include "app/settings.h"

#include <chrono>
#include <ctime>
#include <cwchar>
#include <limits>

#include "engine/registry_helpers.h"

namespace hs {

namespace {

namespace ch = std::chrono;

// Settings live in HKEY_CURRENT_USER\Software, which has one view.
constexpr std::uint32_t kReadWriteMask = kKeyRead | kKeySetValue | kKeyCreateSubKey;  // 0x2001F
constexpr std::uint32_t kReadOnlyMask = kKeyRead;                                     // 0x20019

constexpr char16_t kScanResultsName[] = u"StrLastScanResults";

// One value of the record: a DWORD or a text member; neither for
// StrLastScanResults, which has its own reader and writer.
struct Field {
  const char16_t* name;
  std::uint32_t AppSettings::*dword = nullptr;
  Text AppSettings::*text = nullptr;
};
constexpr Field D(const char16_t* name, std::uint32_t AppSettings::*m) { return {name, m, nullptr}; }
constexpr Field T(const char16_t* name, Text AppSettings::*m) { return {name, nullptr, m}; }
constexpr Field kScanResultsField{kScanResultsName, nullptr, nullptr};

using A = AppSettings;
constexpr Field kReadOrder[] = {
    D(u"StartWhenWinBoots", &A::StartWhenWinBoots),
    D(u"GoToSystemTrayOnClose", &A::GoToSystemTrayOnClose),
    D(u"SetChkDontShowRedTrayPopup", &A::SetChkDontShowRedTrayPopup),
    D(u"SetChkREmovableMedia", &A::SetChkREmovableMedia),
    D(u"SetChkSkipEmptyKeys", &A::SetChkSkipEmptyKeys),
    D(u"ImprovementProgram", &A::ImprovementProgram),
    T(u"StrLastOptimizeTime", &A::StrLastOptimizeTime),
    D(u"ConfirmBkUps", &A::ConfirmBkUps),
    D(u"StartScan", &A::StartScan),
    D(u"StartMinimized", &A::StartMinimized),
    D(u"AutoRepair", &A::AutoRepair),
    T(u"StrLastScan", &A::StrLastScan),
    kScanResultsField,
    T(u"StrLatestRegDefrag", &A::StrLatestRegDefrag),
    T(u"StrLatestRestorePoint", &A::StrLatestRestorePoint),
    T(u"StrLastStartupOpt", &A::StrLastStartupOpt),
    D(u"RegErrFoundTillDate", &A::RegErrFoundTillDate),
    D(u"RegErrsFixedTillDate", &A::RegErrsFixedTillDate),
    D(u"RegErrsFixedLast", &A::RegErrsFixedLast),
    T(u"ScheduledTime", &A::ScheduledTime),
    D(u"NumTimesHSWRunned", &A::NumTimesHSWRunned),
};

constexpr Field kWriteOrder[] = {
    D(u"SetChkDontShowRedTrayPopup", &A::SetChkDontShowRedTrayPopup),
    D(u"SetChkREmovableMedia", &A::SetChkREmovableMedia),
    D(u"SetChkSkipEmptyKeys", &A::SetChkSkipEmptyKeys),
    D(u"ImprovementProgram", &A::ImprovementProgram),
    D(u"StartWhenWinBoots", &A::StartWhenWinBoots),
    D(u"GoToSystemTrayOnClose", &A::GoToSystemTrayOnClose),
    D(u"ConfirmBkUps", &A::ConfirmBkUps),
    D(u"StartScan", &A::StartScan),
    D(u"StartMinimized", &A::StartMinimized),
    D(u"AutoRepair", &A::AutoRepair),
    T(u"StrLastScan", &A::StrLastScan),
    kScanResultsField,
    T(u"StrLastOptimizeTime", &A::StrLastOptimizeTime),
    T(u"StrLatestRegDefrag", &A::StrLatestRegDefrag),
    T(u"StrLatestRestorePoint", &A::StrLatestRestorePoint),
    T(u"StrLastStartupOpt", &A::StrLastStartupOpt),
    D(u"RegErrFoundTillDate", &A::RegErrFoundTillDate),
    D(u"RegErrsFixedTillDate", &A::RegErrsFixedTillDate),
    D(u"RegErrsFixedLast", &A::RegErrsFixedLast),
    T(u"ScheduledTime", &A::ScheduledTime),
    D(u"NumTimesHSWRunned", &A::NumTimesHSWRunned),
};


bool DecodeDword(const RegValue& v, std::uint32_t* out) {
  if (v.type != kRegDword || v.data.size() != 4) return false;
  *out = std::uint32_t{v.data[0]} | (std::uint32_t{v.data[1]} << 8) | (std::uint32_t{v.data[2]} << 16) |
         (std::uint32_t{v.data[3]} << 24);
  return true;
}

// REG_SZ or REG_EXPAND_SZ, cut at the first NUL; a missing terminator is
// tolerated, an odd last byte dropped.
bool DecodeText(const RegValue& v, Text* out) {
  if (v.type != kRegSz && v.type != kRegExpandSz) return false;
  Text t = FromUtf16leBytes(v.data.data(), v.data.size());
  if (auto nul = t.find(u'\0'); nul != Text::npos) t.resize(nul);
  if (t.size() > kMaxSettingTextChars) return false;
  *out = std::move(t);
  return true;
}

int DaysInMonth(int year, int month) {
  return static_cast<int>(static_cast<unsigned>((ch::year(year) / ch::month(static_cast<unsigned>(month)) / ch::last).day()));
}

// The range SYSTEMTIME can hold, with a real calendar date and time.
bool ValidDateTime(const DateTime& t) {
  if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12) return false;
  if (t.day < 1 || t.day > DaysInMonth(t.year, t.month)) return false;
  return t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 && t.second >= 0 && t.second <= 59 &&
         t.millisecond >= 0 && t.millisecond <= 999;
}

ch::sys_days Days(const DateTime& t) {
  return ch::sys_days(ch::year(t.year) / ch::month(static_cast<unsigned>(t.month)) /
                      ch::day(static_cast<unsigned>(t.day)));
}

// Seconds of a valid local time on a count that starts at 1970-01-01 00:00.
std::int64_t LocalSeconds(const DateTime& t) {
  return std::int64_t{Days(t).time_since_epoch().count()} * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

Text FromWide(const wchar_t* s, std::size_t n) {
  Text out;
  out.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    auto c = static_cast<std::uint32_t>(s[i]);
    if constexpr (sizeof(wchar_t) == 2) {
      out.push_back(static_cast<char16_t>(c));
    } else if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      out.push_back(u'\xFFFD');
    } else if (c > 0xFFFF) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

// A program path fit to stand between quotes on a command line.
bool UsableProgramPath(TextView path) {
  if (path.empty()) return false;
  for (char16_t c : path)
    if (c == u'"' || c < 0x20) return false;
  return true;
}

Text Quoted(TextView path) { return u"\"" + Text(path) + u"\""; }

WinError FirstError(WinError a, WinError b) { return a != err::kSuccess ? a : b; }

}  // namespace

Text FormatSettingsTime(const DateTime& local) {
  if (!ValidDateTime(local)) return {};
  const ch::sys_days days = Days(local);
  std::tm tm{};
  tm.tm_year = local.year - 1900;
  tm.tm_mon = local.month - 1;
  tm.tm_mday = local.day;
  tm.tm_hour = local.hour;
  tm.tm_min = local.minute;
  tm.tm_sec = local.second;
  tm.tm_wday = static_cast<int>(ch::weekday(days).c_encoding());
  tm.tm_yday = static_cast<int>((days - ch::sys_days(ch::year(local.year) / ch::January / 1)).count());
  tm.tm_isdst = -1;
  wchar_t buf[256];
  const std::size_t n = std::wcsftime(buf, sizeof buf / sizeof buf[0], L"%a. %B %d, %Y. %I:%M %p", &tm);
  return FromWide(buf, n);
}

std::vector<std::uint8_t> EncodeSystemTime(const DateTime& local) {
  const int dow = ValidDateTime(local) ? static_cast<int>(ch::weekday(Days(local)).c_encoding()) : local.day_of_week;
  const int fields[8] = {local.year, local.month, dow, local.day, local.hour, local.minute, local.second,
                         local.millisecond};
  std::vector<std::uint8_t> out;
  out.reserve(16);
  for (int f : fields) {
    out.push_back(static_cast<std::uint8_t>(f & 0xFF));
    out.push_back(static_cast<std::uint8_t>((f >> 8) & 0xFF));
  }
  return out;
}

bool DecodeSystemTime(const std::vector<std::uint8_t>& data, DateTime* out) {
  if (data.size() != 16) return false;
  int f[8];
  for (int i = 0; i < 8; ++i) f[i] = data[2 * i] | (data[2 * i + 1] << 8);
  DateTime t;
  t.year = f[0];
  t.month = f[1];
  t.day = f[3];
  t.hour = f[4];
  t.minute = f[5];
  t.second = f[6];
  t.millisecond = f[7];
  if (!ValidDateTime(t)) return false;
  t.day_of_week = static_cast<int>(ch::weekday(Days(t)).c_encoding());
  *out = t;
  return true;
}

std::int32_t ParseScanResultsCount(TextView text) {
  const Text t = Trim(text);
  std::int64_t v = 0;
  for (char16_t c : t) {
    if (c < u'0' || c > u'9') return 0;
    v = v * 10 + (c - u'0');
    if (v > std::numeric_limits<std::int32_t>::max()) return 0;
  }
  return static_cast<std::int32_t>(v);
}

SettingsStore::SettingsStore(Registry& registry, Log& log, Text settings_key, Text run_key)
    : registry_(registry), log_(log), settings_key_(std::move(settings_key)), run_key_(std::move(run_key)) {}

Text SettingsStore::SectionPath(TextView section) const {
  if (section.empty()) return settings_key_;
  return settings_key_ + u"\\" + Text(section);
}

WinError SettingsStore::LoadSettings(AppSettings* settings) {
  KeyHolder key(registry_);
  WinError e = key.Open(kHkeyCurrentUser, settings_key_, kReadWriteMask, /*create=*/true);
  if (e == err::kAccessDenied && key.Open(kHkeyCurrentUser, settings_key_, kReadOnlyMask) == err::kSuccess)
    e = err::kSuccess;
  if (e != err::kSuccess) {
    log_.LogLine(u"LoadSettings : settings key not opened, error " + ToText(e));
    return e;
  }
  for (const Field& f : kReadOrder) {
    if (!f.dword && !f.text) {
      Text count;
      if (ReadText(f.name, &count)) settings->StrLastScanResults = ParseScanResultsCount(count);
      continue;
    }
    RegValue v;
    if (registry_.QueryValue(key.get(), f.name, &v) != err::kSuccess) continue;
    if (f.dword) {
      std::uint32_t d = 0;
      if (DecodeDword(v, &d)) settings->*f.dword = d;
    } else {
      Text t;
      if (DecodeText(v, &t)) settings->*f.text = std::move(t);
    }
  }
  return err::kSuccess;
}

WinError SettingsStore::SaveSettings(const AppSettings& settings) {
  KeyHolder key(registry_);
  const WinError e = key.Open(kHkeyCurrentUser, settings_key_, kReadWriteMask, /*create=*/true);
  if (e != err::kSuccess) {
    log_.LogLine(u"SaveSettings : settings key not opened, error " + ToText(e));
    return e;
  }
  WinError first = err::kSuccess;
  for (const Field& f : kWriteOrder) {
    WinError w;
    if (f.dword)
      w = registry_.SetValue(key.get(), f.name, kRegDword, DwordData(settings.*f.dword));
    else if (f.text)
      w = registry_.SetValue(key.get(), f.name, kRegSz, SzData(settings.*f.text));
    else
      w = registry_.SetValue(key.get(), f.name, kRegSz, SzData(ToText(settings.StrLastScanResults)));
    if (w != err::kSuccess) {
      log_.LogLine(u"SaveSettings : " + Text(f.name) + u" not written, error " + ToText(w));
      first = FirstError(first, w);
    }
  }
  return first;
}

std::uint32_t SettingsStore::ReadProfileInt(TextView section, TextView entry, std::uint32_t default_value) {
  KeyHolder key(registry_);
  if (key.Open(kHkeyCurrentUser, SectionPath(section), kReadOnlyMask) != err::kSuccess) return default_value;
  RegValue v;
  std::uint32_t d = 0;
  if (registry_.QueryValue(key.get(), entry, &v) != err::kSuccess || !DecodeDword(v, &d)) return default_value;
  return d;
}

WinError SettingsStore::WriteProfileInt(TextView section, TextView entry, std::uint32_t value) {
  KeyHolder key(registry_);
  const WinError e = key.Open(kHkeyCurrentUser, SectionPath(section), kReadWriteMask, /*create=*/true);
  if (e != err::kSuccess) return e;
  return registry_.SetValue(key.get(), entry, kRegDword, DwordData(value));
}

bool SettingsStore::ReadText(TextView name, Text* text) {
  text->clear();
  KeyHolder key(registry_);
  if (key.Open(kHkeyCurrentUser, settings_key_, kReadOnlyMask) != err::kSuccess) return false;
  RegValue v;
  if (registry_.QueryValue(key.get(), name, &v) != err::kSuccess) return false;
  return DecodeText(v, text);
}

WinError SettingsStore::WriteText(TextView name, TextView text) {
  KeyHolder key(registry_);
  const WinError e = key.Open(kHkeyCurrentUser, settings_key_, kReadWriteMask, /*create=*/true);
  if (e != err::kSuccess) return e;
  return registry_.SetValue(key.get(), name, kRegSz, SzData(text));
}

bool SettingsStore::HasValue(TextView name) {
  KeyHolder key(registry_);
  if (key.Open(kHkeyCurrentUser, settings_key_, kReadOnlyMask) != err::kSuccess) return false;
  return registry_.QueryValue(key.get(), name, nullptr) == err::kSuccess;
}

bool SettingsStore::ReadScanTime(DateTime* local) {
  KeyHolder key(registry_);
  if (key.Open(kHkeyCurrentUser, settings_key_, kReadOnlyMask) != err::kSuccess) return false;
  RegValue v;
  if (registry_.QueryValue(key.get(), settings_value::kCurrentScanTime, &v) != err::kSuccess) return false;
  if (v.type != kRegBinary) return false;
  return DecodeSystemTime(v.data, local);
}

WinError SettingsStore::WriteScanTime(const DateTime& local) {
  KeyHolder key(registry_);
  const WinError e = key.Open(kHkeyCurrentUser, settings_key_, kReadWriteMask, /*create=*/true);
  if (e != err::kSuccess) return e;
  return registry_.SetValue(key.get(), settings_value::kCurrentScanTime, kRegBinary, EncodeSystemTime(local));
}

int SettingsStore::DaysSinceLastScan(Clock& clock) {
  DateTime scan;
  if (!ReadScanTime(&scan)) return -1;
  const DateTime now = clock.LocalTime();
  if (!ValidDateTime(now)) return -1;
  const std::int64_t seconds = LocalSeconds(now) - LocalSeconds(scan);
  if (seconds < 0) return 0;
  return static_cast<int>(seconds / 86400);
}

WinError SettingsStore::RecordScanEnd(AppSettings* settings, Clock& clock, std::uint32_t problem_count) {
  const DateTime now = clock.LocalTime();
  settings->StrLastScan = FormatSettingsTime(now);
  WinError first = WriteScanTime(now);
  if (first != err::kSuccess) log_.LogLine(u"CurrentScanTime not written, error " + ToText(first));
  const std::uint32_t room = std::numeric_limits<std::uint32_t>::max() - settings->RegErrFoundTillDate;
  settings->RegErrFoundTillDate += problem_count < room ? problem_count : room;
  return FirstError(first, SaveSettings(*settings));
}

WinError SettingsStore::SetRunValue(TextView name, TextView data) {
  KeyHolder key(registry_);
  WinError e = key.Open(kHkeyCurrentUser, run_key_, kReadWriteMask, /*create=*/true);
  if (e == err::kSuccess) e = registry_.SetValue(key.get(), name, kRegSz, SzData(data));
  if (e != err::kSuccess) log_.LogLine(u"Run entry " + LogSafe(name) + u" not written, error " + ToText(e));
  return e;
}

WinError SettingsStore::DeleteRunValue(TextView name) {
  KeyHolder key(registry_);
  WinError e = key.Open(kHkeyCurrentUser, run_key_, kReadWriteMask);
  if (e == err::kSuccess) e = registry_.DeleteValue(key.get(), name);
  if (e == err::kFileNotFound) return err::kSuccess;  // already absent
  if (e != err::kSuccess) log_.LogLine(u"Run entry " + LogSafe(name) + u" not deleted, error " + ToText(e));
  return e;
}

WinError SettingsStore::ApplyStartAtLogon(bool on, const StartEntryContext& ctx) {
  if (ctx.major_version >= 6) {
    if (!ctx.tasks) return err::kCallNotImplemented;
    return ctx.tasks->SetReminderTask(on);
  }
  if (!on) return DeleteRunValue(settings_value::kReminder);
  if (!UsableProgramPath(ctx.program_path)) return err::kInvalidParameter;
  return SetRunValue(settings_value::kReminder, Quoted(ctx.program_path) + u" -rem");
}

WinError SettingsStore::ApplyAfterCompactionStart(bool on, bool start_when_win_boots, const StartEntryContext& ctx) {
  if (ctx.major_version >= 6) {
    if (!ctx.tasks) return err::kCallNotImplemented;
    // One task name serves both: delete before create.
    if (on) {
      const WinError e = ctx.tasks->SetReminderTask(false);
      return FirstError(e, ctx.tasks->SetAfterCompactionTask(true));
    }
    const WinError e = ctx.tasks->SetAfterCompactionTask(false);
    return FirstError(e, ctx.tasks->SetReminderTask(start_when_win_boots));
  }
  if (ctx.app_title.empty()) return err::kInvalidParameter;
  if (on) {
    if (!UsableProgramPath(ctx.program_path)) return err::kInvalidParameter;
    const WinError e = SetRunValue(ctx.app_title, Quoted(ctx.program_path) + u" StartedAfterOptimization ");
    // The reminder stays while the one-shot entry could not be set.
    if (e != err::kSuccess) return e;
    return DeleteRunValue(settings_value::kReminder);
  }
  const WinError e = DeleteRunValue(ctx.app_title);
  return FirstError(e, ApplyStartAtLogon(start_when_win_boots, ctx));
}

WinError ApplyGeneralSettings(SettingsStore& store, AppSettings* settings, int close_action_index,
                              bool start_at_logon, const StartEntryContext& ctx) {
  settings->GoToSystemTrayOnClose = close_action_index == 0 ? 1 : 0;
  settings->StartWhenWinBoots = start_at_logon ? 1 : 0;
  const WinError e = store.ApplyStartAtLogon(start_at_logon, ctx);
  return FirstError(e, store.SaveSettings(*settings));
}

AreaChecks AreaChecksFromMask(std::uint32_t mask) {
  AreaChecks checks{};
  for (int i = 0; i < kAreaCount; ++i) checks[i] = (mask & kAreas[i].bit) != 0;
  return checks;
}

std::uint32_t MaskFromAreaChecks(const AreaChecks& checks) {
  std::uint32_t mask = 0;
  for (int i = 0; i < kAreaCount; ++i)
    if (checks[i]) mask |= kAreas[i].bit;
  return mask;
}

GroupCheck GroupCheckState(std::uint32_t mask, int group) {
  if (group < 1 || group > static_cast<int>(kGroupMasks.size())) return GroupCheck::kNone;
  const std::uint32_t all = kGroupMasks[group - 1];
  const std::uint32_t set = mask & all;
  if (set == 0) return GroupCheck::kNone;
  return set == all ? GroupCheck::kAll : GroupCheck::kSome;
}

std::uint32_t ReadSelectedCategories(SettingsStore& store) {
  return store.ReadProfileInt(settings_value::kSettingsSection, settings_value::kSelectedCategories,
                              kAllAreasMask);
}

ScanAreasResult ApplyScanAreas(SettingsStore& store, const AppSettings& settings, std::uint32_t checked_mask) {
  ScanAreasResult r;
  checked_mask &= kAllAreasMask;
  if (checked_mask == 0) {
    r.none_selected = true;
    r.boxes = ReadSelectedCategories(store);
    return r;
  }
  r.error = store.WriteProfileInt(settings_value::kSettingsSection, settings_value::kSelectedCategories,
                                  checked_mask);
  r.error = FirstError(r.error, store.SaveSettings(settings));
  r.boxes = checked_mask;
  return r;
}

ScanAreasResult RestoreDefaultScanAreas(SettingsStore& store) {
  ScanAreasResult r;
  r.error = store.WriteProfileInt(settings_value::kSettingsSection, settings_value::kSelectedCategories,
                                  kAllAreasMask);
  r.boxes = ReadSelectedCategories(store);
  return r;
}

}  // namespace hs
