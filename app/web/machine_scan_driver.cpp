#include "app/web/machine_scan_driver.h"

#include <ostream>

#include "app/web/machine_results.h"
#include "engine/category.h"

namespace hs {

namespace {

// The group (1-4) an area belongs to; 0 for none.
int GroupOf(std::uint32_t bit) {
  for (std::size_t g = 0; g < kGroupMasks.size(); ++g)
    if (kGroupMasks[g] & bit) return static_cast<int>(g) + 1;
  return 0;
}

}  // namespace

ResultsSummary ReadResultsSummary(ScanPorts& ports) {
  ResultsSummary out;
  MachineResults results(ports);
  if (!results.Load()) return out;
  for (int i = 0; i < kAreaCount; ++i) {
    const CCategory* area = results.manager().AreaByBit(kAreas[i].bit);
    if (!area) continue;
    for (const auto& p : area->problems()) {
      // Shortcut problems carry no key: their shortcut file stands there.
      Text entry = p->key.empty() ? p->Detail(1) : p->key;
      if (!p->value_name.empty()) entry += u"  (" + p->value_name + u")";
      out.rows[i].push_back({std::move(entry), ProblemDescription(*p, results.strings())});
      out.selected += p->selected == 1 ? 1 : 0;
    }
  }
  return out;
}

MachineScanDriver::MachineScanDriver(ScanPorts& ports, ScanOptions options, ModelLoop& loop, Events events)
    : ports_(ports), options_(std::move(options)), loop_(loop), events_(std::move(events)) {
  summary_ = ReadResultsSummary(ports_);
}

MachineScanDriver::~MachineScanDriver() {
  stop_.store(true);
  if (worker_.joinable()) worker_.join();
}

void MachineScanDriver::Run(std::function<void()> work, std::function<void(ResultsSummary)> done) {
  if (worker_.joinable()) worker_.join();  // the last run has ended (running_ is clear)
  running_ = true;
  stop_.store(false);
  worker_ = std::thread([this, work = std::move(work), done = std::move(done)] {
    work();
    ResultsSummary summary = ReadResultsSummary(ports_);
    loop_.Post([this, done, summary = std::move(summary)]() mutable {
      summary_ = std::move(summary);
      running_ = false;
      done(summary_);
    });
  });
}

// The mask covers whole groups; the scan runs their ticked areas, as
// RunScan does without an area option.
bool MachineScanDriver::Start(std::uint32_t /*mask*/, int /*area_count*/) {
  if (running_) return false;
  ScanOptions options = options_;
  options.watcher = [this](TextView item, std::uint32_t bit, const ScanManager& manager) {
    const int group = GroupOf(bit);
    int found = 0;
    if (group > 0) {
      for (const AreaInfo& a : kAreas) {
        const CCategory* area = (kGroupMasks[group - 1] & a.bit) ? manager.AreaByBit(a.bit) : nullptr;
        if (area) found += static_cast<int>(area->Count());
      }
    }
    loop_.Post([this, path = Text(item), group, found] { events_.progress(path, group, found); });
    return stop_.load();
  };
  Run([this, options] {
        std::ostream quiet(nullptr);
        (void)RunScan(ports_, options, quiet, quiet);
      },
      [this](const ResultsSummary&) { events_.scan_ended(ProblemCount()); });
  return true;
}

bool MachineScanDriver::StartRepair() {
  if (running_) return false;
  Run([this] {
        std::ostream quiet(nullptr);
        (void)RunRepair(ports_, options_, false, quiet, quiet);
      },
      [this](const ResultsSummary&) { events_.repair_ended(); });
  return true;
}

int MachineScanDriver::ProblemCount() const {
  int n = 0;
  for (const auto& area : summary_.rows) n += static_cast<int>(area.size());
  return n;
}

std::vector<int> MachineScanDriver::AreaProblemCounts() const {
  std::vector<int> counts;
  for (const auto& area : summary_.rows) counts.push_back(static_cast<int>(area.size()));
  return counts;
}

bool MachineScanDriver::ResultRow(int area, int index, Text* entry, Text* reason) const {
  if (area < 0 || area >= kAreaCount || index < 0 || index >= static_cast<int>(summary_.rows[area].size()))
    return false;
  *entry = summary_.rows[area][index].entry;
  *reason = summary_.rows[area][index].reason;
  return true;
}

}  // namespace hs
