// SingleInstance over a named mutex and the first instance's dialog window.
#pragma once

#include "platform/single_instance.h"

namespace hs {

class Win32SingleInstance final : public SingleInstance {
 public:
  ~Win32SingleInstance() override;
  bool AnotherInstanceRuns(TextView name) override;
  WindowTarget FindFirstInstance(TextView title) override;
  void OfferScheduledScan(WindowTarget window) override;
  void BringToFront(WindowTarget window) override;

 private:
  void* mutex_ = nullptr;
};

}  // namespace hs
