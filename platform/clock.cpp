#include "platform/clock.h"

#include <algorithm>
#include <chrono>

namespace hs {

namespace ch = std::chrono;

std::int64_t CalendarMs(const DateTime& t) {
  // year_month_day with day 1 plus days normalises an out-of-range day.
  ch::year_month ym = ch::year(t.year) / ch::January + ch::months(t.month - 1);
  ch::sys_days days = ch::sys_days(ym / 1) + ch::days(t.day - 1);
  ch::milliseconds ms = days.time_since_epoch() + ch::hours(t.hour) + ch::minutes(t.minute) +
                        ch::seconds(t.second) + ch::milliseconds(t.millisecond);
  return ms.count();
}

DateTime CalendarTimeOfMs(std::int64_t ms) {
  ch::sys_time<ch::milliseconds> tp{ch::milliseconds(ms)};
  ch::sys_days days = ch::floor<ch::days>(tp);
  ch::year_month_day ymd(days);
  ch::hh_mm_ss<ch::milliseconds> hms(tp - days);
  DateTime t;
  t.year = static_cast<int>(ymd.year());
  t.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  t.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  t.hour = static_cast<int>(hms.hours().count());
  t.minute = static_cast<int>(hms.minutes().count());
  t.second = static_cast<int>(hms.seconds().count());
  t.millisecond = static_cast<int>(hms.subseconds().count());
  t.day_of_week = static_cast<int>(ch::weekday(days).c_encoding());
  return t;
}

DateTime CalendarTime(std::int64_t seconds) {
  // Years 1 to 9999: beyond them the milliseconds would overflow.
  constexpr std::int64_t kFirst = -62135596800, kLast = 253402300799;
  return CalendarTimeOfMs(std::clamp(seconds, kFirst, kLast) * 1000);
}
std::int64_t CalendarSeconds(const DateTime& t) {
  DateTime whole = t;
  whole.millisecond = 0;
  return CalendarMs(whole) / 1000;
}

}  // namespace hs
