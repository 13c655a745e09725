// Clock port: wall-clock time (local and UTC) and a monotonic tick count.
//
// Adapters: Win32Clock (platform/win32), HostClock (platform/portable).
// ManualClock (testing/manual_clock.h) is set by hand, for tests. All are
// safe to call from any thread and never fail.
#pragma once

#include <cstdint>

namespace hs {

// Broken-down local time, as SYSTEMTIME holds it.
struct DateTime {
  int year = 1970;
  int month = 1;         // 1-12
  int day = 1;           // 1-31
  int hour = 0;          // 0-23
  int minute = 0;        // 0-59
  int second = 0;        // 0-59
  int millisecond = 0;   // 0-999
  int day_of_week = 4;   // 0 = Sunday
};

class Clock {
 public:
  virtual ~Clock() = default;
  // The local date and time (GetLocalTime).
  virtual DateTime LocalTime() = 0;
  // Seconds since 1970-01-01 00:00 UTC.
  virtual std::int64_t UtcSeconds() = 0;
  // The local date and time of a moment given in seconds since 1970 UTC, in
  // the time zone rules of that moment (milliseconds 0).
  virtual DateTime LocalTimeOf(std::int64_t utc_seconds) = 0;
  // Milliseconds from an arbitrary start; never goes back and does not wrap
  // (GetTickCount64), so differences are plain subtractions.
  virtual std::uint64_t TickMs() = 0;
  // Waits (Sleep). A hand-set clock only moves its time forward.
  virtual void SleepMs(std::uint32_t ms) = 0;
};

// Calendar arithmetic without a time zone: the broken-down time of seconds
// since 1970 (proleptic Gregorian), and back (out-of-range fields are
// normalised, 32 Jan = 1 Feb; day_of_week is ignored).
DateTime CalendarTime(std::int64_t seconds);
std::int64_t CalendarSeconds(const DateTime& t);
// The same in milliseconds, without the clamp to years 1 to 9999.
DateTime CalendarTimeOfMs(std::int64_t ms);
std::int64_t CalendarMs(const DateTime& t);

}  // namespace hs
