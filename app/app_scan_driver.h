// The main window's scan and repair worker over the application object: the
// scans of the window's area groups and the repairs of the ticked problems
// run on the application's one operation worker; the driver keeps the
// problems found per scan group for the progress page.
//
// Runs on the user-interface thread. The problem lists are read only while
// no worker runs, or from OnAreaEnded, which the worker sends and waits on.
#pragma once

#include <array>
#include <cstdint>

#include "app/hvx_app.h"
#include "app/screen_ports.h"

namespace hs {

class AppScanDriver final : public ScanDriver {
 public:
  explicit AppScanDriver(CHVXApp& app) : app_(app) {}

  [[nodiscard]] bool Start(std::uint32_t mask, int area_count) override;
  void Stop() override { app_.scan_manager().Cancel(); }
  bool IsRunning() const override { return app_.operations().busy(); }
  int ProblemCount() const override;
  int SelectedCount() const override;
  std::vector<int> AreaProblemCounts() const override;
  bool ResultRow(int area, int index, Text* entry, Text* reason) const override;
  [[nodiscard]] bool StartRepair() override { return app_.StartRepair(); }

  // The worker's end-of-area report (0x404, its area bit): that area's
  // problems join its group's count.
  void OnAreaEnded(std::uint32_t bit);
  // The group being scanned (1..4; 0 before the first area) and the problems
  // its finished areas found in this scan.
  int CurrentGroup() const { return app_.scan_manager().current_group(); }
  int FoundInGroup(int group) const;

 private:
  CHVXApp& app_;
  std::array<int, 4> found_{};
};

}  // namespace hs
