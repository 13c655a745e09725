// The scan and repair of the browser-hosted window: the command-line scan
// and repair (app/cli.h) over the same ports, run on a worker thread. The
// figures the model asks for come from the last results file, read again
// after every run; they are read and replaced on the model loop only.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <thread>

#include "app/cli.h"
#include "app/screen_ports.h"
#include "app/web/model_loop.h"
#include "engine/area_table.h"

namespace hs {

// The results file of the data folder, as the results page shows it.
struct ResultsSummary {
  struct Row {
    Text entry;
    Text reason;
  };
  std::array<std::vector<Row>, kAreaCount> rows;  // per area, in scan-area order
  int selected = 0;
};
ResultsSummary ReadResultsSummary(ScanPorts& ports);

class MachineScanDriver final : public ScanDriver {
 public:
  struct Events {
    // On the model loop: a progress item (path, group 1-4, problems found
    // so far in the group's areas), the end of a scan (with the problems
    // it found), the end of a repair.
    std::function<void(const Text& path, int group, int found)> progress;
    std::function<void(int problems)> scan_ended;
    std::function<void()> repair_ended;
  };
  MachineScanDriver(ScanPorts& ports, ScanOptions options, ModelLoop& loop, Events events);
  ~MachineScanDriver() override;  // joins a running worker

  [[nodiscard]] bool Start(std::uint32_t mask, int area_count) override;
  void Stop() override { stop_.store(true); }
  bool IsRunning() const override { return running_; }
  int ProblemCount() const override;
  int SelectedCount() const override { return summary_.selected; }
  std::vector<int> AreaProblemCounts() const override;
  bool ResultRow(int area, int index, Text* entry, Text* reason) const override;
  [[nodiscard]] bool StartRepair() override;
  // Reads the results file again (after the detailed list changed it).
  void Reload() { summary_ = ReadResultsSummary(ports_); }

 private:
  void Run(std::function<void()> work, std::function<void(ResultsSummary)> done);

  ScanPorts& ports_;
  ScanOptions options_;
  ModelLoop& loop_;
  Events events_;
  std::thread worker_;
  std::atomic<bool> stop_{false};
  bool running_ = false;  // model loop only
  ResultsSummary summary_;
};

}  // namespace hs
