// Win32 clock adapter: GetLocalTime, GetSystemTimeAsFileTime, GetTickCount64.
#pragma once

#include "platform/clock.h"

namespace hs {

class Win32Clock final : public Clock {
 public:
  DateTime LocalTime() override;
  std::int64_t UtcSeconds() override;
  DateTime LocalTimeOf(std::int64_t utc_seconds) override;
  std::uint64_t TickMs() override;
  void SleepMs(std::uint32_t ms) override;
};

}  // namespace hs
