#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <limits>

#include "platform/win32/win32_clock.h"

namespace hs {
namespace {

TEST(Win32Clock, LocalTimeOfNowIsTheLocalTime) {
  Win32Clock clock;
  const std::int64_t local = CalendarSeconds(clock.LocalTime());
  const std::int64_t of_now = CalendarSeconds(clock.LocalTimeOf(clock.UtcSeconds()));
  EXPECT_LE(std::llabs(local - of_now), 2);
}

TEST(Win32Clock, MomentsOutsideTheSystemRangeAreClamped) {
  Win32Clock clock;
  const DateTime early = clock.LocalTimeOf(std::numeric_limits<std::int64_t>::min());
  EXPECT_TRUE(early.year == 1600 || early.year == 1601) << early.year;
  EXPECT_EQ(30828, clock.LocalTimeOf(std::numeric_limits<std::int64_t>::max()).year);
  EXPECT_EQ(1969, clock.LocalTimeOf(-200 * 86400).year);
}

}  // namespace
}  // namespace hs
