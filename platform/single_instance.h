// Single-instance lock and the signal a second instance sends the first.
#pragma once

#include "platform/notifier.h"
#include "platform/text.h"

namespace hs {

// Message to a running instance: offer a scheduled scan now (WM_APP + 0x97).
inline constexpr std::uint32_t kMsgOfferScheduledScan = 0x8097;

class SingleInstance {
 public:
  virtual ~SingleInstance() = default;
  // Takes the process-wide lock named `name` and keeps it for the life of
  // this object. True when another process already holds it (or access to it
  // is denied): this process is a second instance.
  virtual bool AnotherInstanceRuns(TextView name) = 0;
  // The first instance's top-level dialog window with this title; 0 if none.
  virtual WindowTarget FindFirstInstance(TextView title) = 0;
  // Posts kMsgOfferScheduledScan to it.
  virtual void OfferScheduledScan(WindowTarget window) = 0;
  // Shows it normally and brings its last active pop-up to the foreground.
  virtual void BringToFront(WindowTarget window) = 0;
};

}  // namespace hs
