// A Clock whose time is set and advanced by hand: for tests and the offline
// front end. Local time is UTC plus a fixed offset. Thread-safe.
#pragma once

#include <mutex>

#include "platform/clock.h"

namespace hs {

class ManualClock final : public Clock {
 public:
  // Starts at `local` (day_of_week is ignored and derived), with local time
  // `utc_offset_minutes` ahead of UTC, and the tick count at `tick_ms`.
  explicit ManualClock(const DateTime& local = DateTime{2026, 1, 1}, int utc_offset_minutes = 0,
                       std::uint64_t tick_ms = 0);

  DateTime LocalTime() override;
  std::int64_t UtcSeconds() override;
  DateTime LocalTimeOf(std::int64_t utc_seconds) override;
  std::uint64_t TickMs() override;
  void SleepMs(std::uint32_t ms) override;

  // Moves the wall clock and the tick count forward together.
  void AdvanceMs(std::uint64_t ms);
  // Sets the wall clock only (as a user changing the date would); the tick
  // count is kept. Fields out of range are normalised (32 Jan = 1 Feb).
  void SetLocalTime(const DateTime& local);
  void SetTickMs(std::uint64_t tick_ms);

 private:
  std::mutex mu_;
  std::int64_t local_ms_;  // local wall time, ms since 1970-01-01 00:00 local
  std::int64_t offset_ms_;
  std::uint64_t tick_ms_;
};

}  // namespace hs
