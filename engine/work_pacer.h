#pragma once
// Paces a long loop over registry entries: the loop asks at every entry, and
// gets a short pause only once per slice of continuous work. The machine
// stays responsive (the scan gives way regularly) while a registry with tens
// of thousands of entries costs a few percent, not a millisecond per entry
// (Sleep(1) lasts up to a whole timer tick, 15.6 ms, on Windows).
#include <chrono>
#include <thread>

namespace hs {

class WorkPacer {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kSlice{50};
  static constexpr std::chrono::milliseconds kPause{1};

  // True when a slice of work has passed since the last pause (or since the
  // first call); the caller then pauses.
  [[nodiscard]] bool Due(Clock::time_point now) {
    if (!started_) {
      started_ = true;
      last_ = now;
      return false;
    }
    if (now - last_ < kSlice) return false;
    last_ = now;
    return true;
  }

  // One entry of the loop: pauses when due.
  void Step() {
    if (Due(Clock::now())) std::this_thread::sleep_for(kPause);
  }

 private:
  bool started_ = false;
  Clock::time_point last_{};
};

}  // namespace hs
