// The repair run's progress display: the repair dialog with its text, and
// the wizard's progress bar. The Win32 side is the wizard's window; the
// front end prints; NullRepairProgress shows nothing. Called from the repair
// worker; implementations forward to their window's thread.
#pragma once

#include "platform/text.h"

namespace hs {

class RepairProgress {
 public:
  virtual ~RepairProgress() = default;
  virtual void ShowDialog(bool show) = 0;
  virtual void SetDialogText(TextView text) = 0;
  virtual void SetBarRange(int low, int high) = 0;
  virtual void SetBarPos(int pos) = 0;
};

class NullRepairProgress final : public RepairProgress {
 public:
  void ShowDialog(bool) override {}
  void SetDialogText(TextView) override {}
  void SetBarRange(int, int) override {}
  void SetBarPos(int) override {}
};

}  // namespace hs
