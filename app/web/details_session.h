// The detailed problem list in the browser: the last results of the machine
// folder loaded into the list model (app/problems_view.h), drawn by the page
// details.html. The page's clicks are by element id: "row<N>" flips row N,
// "exclude<N>" excludes its key, "selectAll", "btnExportLog", "btnClose".
// Closing writes the changed ticks, the removed problems and the exclusion
// list back, so the results page and a repair see them.
//
// Runs on the model loop.
#pragma once

#include <memory>
#include <optional>

#include "app/problems_view.h"
#include "app/screen_ports.h"
#include "app/web/machine_results.h"
#include "platform/recording_shell_open.h"

namespace hs {

class DetailsSession {
 public:
  // `page` takes the calls for details.html; all must outlive the session.
  DetailsSession(ScanPorts& ports, PageHost& page, Prompts& prompts);

  // Loads the last results; false (nothing to show) without any.
  [[nodiscard]] bool Open();
  bool is_open() const { return view_ != nullptr; }
  // The page has loaded: its texts, its rows and the select-all box.
  void OnPageLoaded();
  // A click on the page. When it closed the list: the main window's next
  // command (242 or 1134), after the results were saved.
  std::optional<int> OnClick(TextView id);

 private:
  void Call(TextView function, const std::vector<Text>& args);
  void SendRow(std::size_t row);
  void SendSelectAll();
  std::optional<int> CloseList();

  ScanPorts& ports_;
  PageHost& page_;
  Prompts& prompts_;
  MemoryClipboard clipboard_;
  RecordingShellOpen no_viewer_;
  RecordingKeyViewer no_editor_;
  std::unique_ptr<MachineResults> results_;
  std::unique_ptr<CProblemsView> view_;
};

}  // namespace hs
