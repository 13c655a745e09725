#include "testing/manual_clock.h"

namespace hs {

ManualClock::ManualClock(const DateTime& local, int utc_offset_minutes, std::uint64_t tick_ms)
    : local_ms_(CalendarMs(local)), offset_ms_(std::int64_t{utc_offset_minutes} * 60000), tick_ms_(tick_ms) {}

DateTime ManualClock::LocalTime() {
  std::lock_guard<std::mutex> lock(mu_);
  return CalendarTimeOfMs(local_ms_);
}

std::int64_t ManualClock::UtcSeconds() {
  std::lock_guard<std::mutex> lock(mu_);
  std::int64_t utc_ms = local_ms_ - offset_ms_;
  return utc_ms >= 0 ? utc_ms / 1000 : -((-utc_ms + 999) / 1000);
}

DateTime ManualClock::LocalTimeOf(std::int64_t utc_seconds) {
  std::lock_guard<std::mutex> lock(mu_);
  return CalendarTimeOfMs(utc_seconds * 1000 + offset_ms_);
}

std::uint64_t ManualClock::TickMs() {
  std::lock_guard<std::mutex> lock(mu_);
  return tick_ms_;
}

void ManualClock::AdvanceMs(std::uint64_t ms) {
  std::lock_guard<std::mutex> lock(mu_);
  local_ms_ += static_cast<std::int64_t>(ms);
  tick_ms_ += ms;
}

void ManualClock::SetLocalTime(const DateTime& local) {
  std::lock_guard<std::mutex> lock(mu_);
  local_ms_ = CalendarMs(local);
}

void ManualClock::SetTickMs(std::uint64_t tick_ms) {
  std::lock_guard<std::mutex> lock(mu_);
  tick_ms_ = tick_ms;
}

void ManualClock::SleepMs(std::uint32_t ms) { AdvanceMs(ms); }

}  // namespace hs
