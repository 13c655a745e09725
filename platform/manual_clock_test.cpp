#include "testing/manual_clock.h"

#include <gtest/gtest.h>

namespace hs {
namespace {

void ExpectTime(const DateTime& t, int y, int mo, int d, int h, int mi, int s, int ms, int dow) {
  EXPECT_EQ(t.year, y);
  EXPECT_EQ(t.month, mo);
  EXPECT_EQ(t.day, d);
  EXPECT_EQ(t.hour, h);
  EXPECT_EQ(t.minute, mi);
  EXPECT_EQ(t.second, s);
  EXPECT_EQ(t.millisecond, ms);
  EXPECT_EQ(t.day_of_week, dow);
}

TEST(ManualClockTest, AdvanceRollsOverDaysMonthsAndYears) {
  ManualClock clock(DateTime{2026, 12, 31, 23, 59, 59, 500}, 0, 1000);
  clock.AdvanceMs(600);
  ExpectTime(clock.LocalTime(), 2027, 1, 1, 0, 0, 0, 100, 5);  // a Friday
  EXPECT_EQ(clock.TickMs(), 1600u);

  clock.SetLocalTime(DateTime{2028, 2, 28, 23, 59, 59, 999});
  clock.AdvanceMs(1);
  ExpectTime(clock.LocalTime(), 2028, 2, 29, 0, 0, 0, 0, 2);  // leap day, a Tuesday
  clock.AdvanceMs(24 * 3600 * 1000);
  ExpectTime(clock.LocalTime(), 2028, 3, 1, 0, 0, 0, 0, 3);
}

TEST(ManualClockTest, SetLocalTimeNormalisesAndKeepsTicks) {
  ManualClock clock(DateTime{2026, 1, 1}, 0, 42);
  clock.SetLocalTime(DateTime{2026, 1, 32, 25, 0, 0, 0});
  ExpectTime(clock.LocalTime(), 2026, 2, 2, 1, 0, 0, 0, 1);
  EXPECT_EQ(clock.TickMs(), 42u);
  clock.SetLocalTime(DateTime{2026, 13, 1});
  ExpectTime(clock.LocalTime(), 2027, 1, 1, 0, 0, 0, 0, 5);
}

TEST(ManualClockTest, UtcSecondsApplyTheOffset) {
  EXPECT_EQ(ManualClock(DateTime{2026, 1, 1}).UtcSeconds(), 1767225600);
  // Local time one hour ahead of UTC.
  EXPECT_EQ(ManualClock(DateTime{1970, 1, 1, 1, 0, 0, 0}, 60).UtcSeconds(), 0);
  // Before 1970 seconds round down, as the wall clock reads them.
  EXPECT_EQ(ManualClock(DateTime{1969, 12, 31, 23, 59, 59, 500}).UtcSeconds(), -1);
}

}  // namespace
}  // namespace hs
