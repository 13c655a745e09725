#include "platform/task_scheduler.h"

#include <algorithm>

namespace hs {

bool EnsureServiceRunning(TaskScheduler& scheduler, Clock& clock) {
  ServiceStatus s;
  if (scheduler.QueryService(&s) != err::kSuccess) return false;
  if (s.state == ServiceState::kRunning) return true;
  if (s.state == ServiceState::kPaused) {
    if (scheduler.ContinueService() != err::kSuccess) return false;
    clock.SleepMs(500);
    return true;
  }
  if (s.state == ServiceState::kStopped) {
    if (scheduler.RunService() != err::kSuccess) return false;
    // Not being automatic does not stop this start.
    if (!s.automatic) (void)scheduler.SetServiceAutomatic();
    if (scheduler.QueryService(&s) != err::kSuccess) return false;
  }
  std::uint64_t since = clock.TickMs();
  std::uint32_t check_point = s.check_point;
  while (s.state == ServiceState::kStartPending) {
    clock.SleepMs(std::clamp<std::uint32_t>(s.wait_hint_ms / 10, 500, 5000));
    if (scheduler.QueryService(&s) != err::kSuccess) return false;
    if (s.check_point > check_point) {
      since = clock.TickMs();
      check_point = s.check_point;
    } else if (clock.TickMs() - since > s.wait_hint_ms) {
      break;
    }
  }
  return s.state == ServiceState::kRunning;
}

}  // namespace hs
