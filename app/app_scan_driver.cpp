#include "app/app_scan_driver.h"

#include <algorithm>
#include <climits>

#include "engine/area_table.h"

namespace hs {

namespace {

int Clamped(std::size_t n) { return static_cast<int>(std::min<std::size_t>(n, INT_MAX)); }

}  // namespace

bool AppScanDriver::Start(std::uint32_t mask, int area_count) {
  found_ = {};
  return app_.StartScan(mask, area_count);
}

int AppScanDriver::ProblemCount() const {
  if (IsRunning()) return 0;
  return Clamped(app_.scan_manager().TotalProblems());
}

int AppScanDriver::SelectedCount() const {
  if (IsRunning()) return 0;
  return Clamped(app_.scan_manager().SelectedProblems());
}

std::vector<int> AppScanDriver::AreaProblemCounts() const {
  std::vector<int> counts(kAreaCount, 0);
  if (IsRunning()) return counts;
  for (std::size_t i = 0; i < kAreas.size(); ++i) {
    if (const CCategory* area = app_.scan_manager().AreaByBit(kAreas[i].bit)) counts[i] = Clamped(area->Count());
  }
  return counts;
}

bool AppScanDriver::ResultRow(int area, int index, Text* entry, Text* reason) const {
  if (IsRunning() || area < 0 || area >= kAreaCount || index < 0) return false;
  const CCategory* category = app_.scan_manager().AreaByBit(kAreas[static_cast<std::size_t>(area)].bit);
  if (!category || static_cast<std::size_t>(index) >= category->Count()) return false;
  const CProblem& p = *category->problems()[static_cast<std::size_t>(index)];
  *entry = ProblemRowEntry(p);
  *reason = ProblemRowReason(p);
  return true;
}

void AppScanDriver::OnAreaEnded(std::uint32_t bit) {
  const AreaInfo* info = FindArea(bit);
  const CCategory* area = app_.scan_manager().AreaByBit(bit);
  if (!info || !area || info->group < 1 || info->group > 4) return;
  found_[static_cast<std::size_t>(info->group - 1)] += Clamped(area->Count());
}

int AppScanDriver::FoundInGroup(int group) const {
  if (group < 1 || group > 4) return 0;
  return found_[static_cast<std::size_t>(group - 1)];
}

}  // namespace hs
