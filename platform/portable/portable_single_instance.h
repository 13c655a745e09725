// SingleInstance for the portable build: an exclusive lock on a file in the
// host's temporary folder named after the lock name. There are no windows:
// a second instance finds no first instance to signal.
#pragma once

#include <string>

#include "platform/single_instance.h"

namespace hs {

class PortableSingleInstance final : public SingleInstance {
 public:
  // `lock_folder`: host folder for the lock files (empty: the temporary folder).
  explicit PortableSingleInstance(std::string lock_folder = {});
  ~PortableSingleInstance() override;
  bool AnotherInstanceRuns(TextView name) override;
  WindowTarget FindFirstInstance(TextView) override { return 0; }
  void OfferScheduledScan(WindowTarget) override {}
  void BringToFront(WindowTarget) override {}

 private:
  std::string folder_;
  int fd_ = -1;
};

}  // namespace hs
