// Restore points before repair runs: at most one a day. The time of the last
// one is kept as a 16-byte SYSTEMTIME (UTC) in LastRestorePointTime under
// HKCU\Software\Corvanta\HiveSweep\SYSRES.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/clock.h"
#include "platform/log.h"
#include "platform/registry.h"
#include "platform/system_restore.h"

namespace hs {

inline constexpr TextView kRestorePointKeyPath = u"Software\\Corvanta\\HiveSweep\\SYSRES";
inline constexpr TextView kLastRestorePointValue = u"LastRestorePointTime";
// A new point is due when more than this many whole hours have passed.
inline constexpr std::int64_t kRestorePointHours = 24;

struct RestorePointEnv {
  Registry& registry;
  SystemRestore& restore;
  Clock& clock;
  Log& log;
  Text app_title;  // for the default description
};

// Due when no time is recorded (or not 16 bytes, or not a date), the clock
// is not later than it, or more than kRestorePointHours whole hours passed.
bool RestorePointDue(Registry& registry, Clock& clock);

// "%s %s" of the title and the local time "%a, %b %d, %y  %H:%M", cut to the
// longest description System Restore keeps.
Text DefaultRestorePointDescription(TextView app_title, const DateTime& local);

// True when no point is due or one was made (and its time recorded); false
// when the system could not make one. *due (may be null) says whether one was
// due. Never throws.
[[nodiscard]] bool CreateSystemRestorePoint(RestorePointEnv& env, TextView description, bool* due = nullptr);

// The SYSTEMTIME bytes of a UTC moment and back (false for another size or
// an impossible date).
std::vector<std::uint8_t> EncodeUtcSystemTime(std::int64_t utc_seconds);
[[nodiscard]] bool DecodeUtcSystemTime(const std::vector<std::uint8_t>& data, std::int64_t* utc_seconds);

}  // namespace hs
