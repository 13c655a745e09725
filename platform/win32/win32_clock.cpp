#include "platform/win32/win32_clock.h"

#include <windows.h>

namespace hs {

namespace {
// FILETIME ticks (100 ns since 1601) at 1970-01-01.
constexpr std::uint64_t kUnixEpochTicks = 116444736000000000ull;
}  // namespace

DateTime Win32Clock::LocalTime() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  return DateTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds, st.wDayOfWeek};
}

std::int64_t Win32Clock::UtcSeconds() {
  FILETIME ft;
  ::GetSystemTimeAsFileTime(&ft);
  const std::uint64_t ticks = (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return (static_cast<std::int64_t>(ticks) - static_cast<std::int64_t>(kUnixEpochTicks)) / 10000000;
}

DateTime Win32Clock::LocalTimeOf(std::int64_t utc_seconds) {
  // FILETIME covers 1601 to the year 30828: moments outside are clamped
  // (the tick product would overflow).
  constexpr std::int64_t kMinSeconds = -static_cast<std::int64_t>(kUnixEpochTicks / 10000000);
  constexpr std::int64_t kMaxSeconds = (0x7FFFFFFFFFFFFFFFll - static_cast<std::int64_t>(kUnixEpochTicks)) / 10000000;
  const std::int64_t secs = utc_seconds < kMinSeconds ? kMinSeconds : utc_seconds > kMaxSeconds ? kMaxSeconds : utc_seconds;
  const std::uint64_t ticks = static_cast<std::uint64_t>(secs * 10000000 + static_cast<std::int64_t>(kUnixEpochTicks));
  FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME utc, local;
  if (!::FileTimeToSystemTime(&ft, &utc) || !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
    return CalendarTime(secs);
  }
  return DateTime{local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond, 0, local.wDayOfWeek};
}

// GetTickCount64 rather than GetTickCount: the 32-bit count wraps after 49.7
// days of uptime.
std::uint64_t Win32Clock::TickMs() { return ::GetTickCount64(); }

void Win32Clock::SleepMs(std::uint32_t ms) { Sleep(ms); }

}  // namespace hs
