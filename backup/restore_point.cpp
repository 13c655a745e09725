#include "backup/restore_point.h"

#include <cstdio>
#include <exception>

namespace hs {

std::vector<std::uint8_t> EncodeUtcSystemTime(std::int64_t utc_seconds) {
  const DateTime t = CalendarTime(utc_seconds);
  const int fields[] = {t.year, t.month, t.day_of_week, t.day, t.hour, t.minute, t.second, 0};
  std::vector<std::uint8_t> out;
  for (int f : fields) {
    out.push_back(static_cast<std::uint8_t>(f & 0xFF));
    out.push_back(static_cast<std::uint8_t>((f >> 8) & 0xFF));
  }
  return out;
}

bool DecodeUtcSystemTime(const std::vector<std::uint8_t>& data, std::int64_t* utc_seconds) {
  if (data.size() != 16) return false;
  int f[8];
  for (int i = 0; i < 8; ++i) f[i] = data[2 * i] | (data[2 * i + 1] << 8);
  DateTime t{f[0], f[1], f[3], f[4], f[5], f[6], f[7], f[2]};
  if (t.year < 1601 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 ||
      t.second > 59 || t.millisecond > 999)
    return false;
  const std::int64_t s = CalendarSeconds(t);
  if (CalendarTime(s).day != t.day) return false;  // 31 April
  *utc_seconds = s;
  return true;
}

bool RestorePointDue(Registry& registry, Clock& clock) {
  RegValue v;
  std::int64_t last = 0;
  RegKey key = 0;
  if (registry.Open(kHkeyCurrentUser, kRestorePointKeyPath, kKeyRead, &key) != err::kSuccess) return true;
  const WinError e = registry.QueryValue(key, kLastRestorePointValue, &v);
  registry.Close(key);
  if (e != err::kSuccess || !DecodeUtcSystemTime(v.data, &last)) return true;
  const std::int64_t now = clock.UtcSeconds();
  // A clock set back makes one due; the same second is not a day later.
  if (now < last) return true;
  return (now - last) / 3600 > kRestorePointHours;
}

Text DefaultRestorePointDescription(TextView app_title, const DateTime& t) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char when[48] = "";
  if (t.month >= 1 && t.month <= 12 && t.day_of_week >= 0 && t.day_of_week <= 6) {
    std::snprintf(when, sizeof when, "%s, %s %02d, %02d  %02d:%02d", kDays[t.day_of_week], kMonths[t.month - 1], t.day,
                  t.year % 100, t.hour, t.minute);
  }
  Text d = Text(app_title) + u" " + FromUtf8(when);
  if (d.size() > kMaxRestorePointDescription) d.resize(kMaxRestorePointDescription);
  return d;
}

bool CreateSystemRestorePoint(RestorePointEnv& env, TextView description, bool* due) {
  try {
    const bool needed = RestorePointDue(env.registry, env.clock);
    if (due) *due = needed;
    if (!needed) return true;
    Text d = description.empty() ? DefaultRestorePointDescription(env.app_title, env.clock.LocalTime())
                                 : Text(description.substr(0, kMaxRestorePointDescription));
    if (!env.restore.CreatePoint(d)) {
      env.log.LogLine(u"No restore point could be made");
      return false;
    }
    RegKey key = 0;
    if (env.registry.Create(kHkeyCurrentUser, kRestorePointKeyPath, kKeyAllAccess, &key, nullptr) == err::kSuccess) {
      const std::vector<std::uint8_t> stamp = EncodeUtcSystemTime(env.clock.UtcSeconds());
      if (env.registry.SetValue(key, kLastRestorePointValue, kRegBinary, stamp) != err::kSuccess)
        env.log.LogLine(u"The time of the restore point could not be recorded");
      env.registry.Close(key);
    }
    env.log.LogLine(u"Restore point made: " + LogSafe(d));
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace hs
