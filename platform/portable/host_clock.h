// Portable clock adapter: the host's clock through std::chrono, local time
// in the host's time zone (localtime_r).
#pragma once

#include "platform/clock.h"

namespace hs {

class HostClock final : public Clock {
 public:
  DateTime LocalTime() override;
  std::int64_t UtcSeconds() override;
  DateTime LocalTimeOf(std::int64_t utc_seconds) override;
  std::uint64_t TickMs() override;
  void SleepMs(std::uint32_t ms) override;
};

}  // namespace hs
