#include "platform/portable/host_clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace hs {

namespace ch = std::chrono;

namespace {

DateTime FromTm(const std::tm& tm) {
  DateTime t;
  t.year = tm.tm_year + 1900;
  t.month = tm.tm_mon + 1;
  t.day = tm.tm_mday;
  t.hour = tm.tm_hour;
  t.minute = tm.tm_min;
  t.second = tm.tm_sec > 59 ? 59 : tm.tm_sec;  // leap second
  t.millisecond = 0;
  t.day_of_week = tm.tm_wday;
  return t;
}

}  // namespace

DateTime HostClock::LocalTime() {
  const auto now = ch::system_clock::now();
  const std::time_t secs = ch::system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&secs, &tm);
  const auto ms = ch::duration_cast<ch::milliseconds>(now.time_since_epoch()).count() % 1000;
  DateTime t = FromTm(tm);
  t.millisecond = static_cast<int>(ms < 0 ? ms + 1000 : ms);
  return t;
}

DateTime HostClock::LocalTimeOf(std::int64_t utc_seconds) {
  const std::time_t secs = static_cast<std::time_t>(utc_seconds);
  std::tm tm{};
  if (!localtime_r(&secs, &tm)) return CalendarTime(utc_seconds);
  return FromTm(tm);
}

std::int64_t HostClock::UtcSeconds() {
  return ch::duration_cast<ch::seconds>(ch::system_clock::now().time_since_epoch()).count();
}

std::uint64_t HostClock::TickMs() {
  return static_cast<std::uint64_t>(
      ch::duration_cast<ch::milliseconds>(ch::steady_clock::now().time_since_epoch()).count());
}

void HostClock::SleepMs(std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace hs
