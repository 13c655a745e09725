#include "engine/work_pacer.h"

#include <gtest/gtest.h>

namespace hs {
namespace {

TEST(WorkPacer, PausesOncePerSliceOfWorkNotPerEntry) {
  WorkPacer pacer;
  const auto t0 = WorkPacer::Clock::time_point{} + std::chrono::hours(1);
  EXPECT_FALSE(pacer.Due(t0));  // the first entry starts the slice
  int pauses = 0;
  // 10,000 entries a tenth of a millisecond apart: one second of work.
  for (int i = 1; i <= 10000; ++i) pauses += pacer.Due(t0 + std::chrono::microseconds(100 * i)) ? 1 : 0;
  EXPECT_EQ(pauses, 1000 / WorkPacer::kSlice.count());
  // After a pause the next slice starts again from there.
  const auto t1 = t0 + std::chrono::seconds(5);
  EXPECT_TRUE(pacer.Due(t1));
  EXPECT_FALSE(pacer.Due(t1 + WorkPacer::kSlice - std::chrono::microseconds(1)));
  EXPECT_TRUE(pacer.Due(t1 + WorkPacer::kSlice));
}

}  // namespace
}  // namespace hs
