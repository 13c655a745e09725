// `hivesweep gui`: the main window's screens as pages in a desktop browser,
// driven by the same model (CHVXDlg) as the Windows program, with the
// machine's scan and repair of the command line.
#pragma once

#include <filesystem>
#include <functional>
#include <ostream>

#include "app/cli.h"

namespace hs {

struct GuiOptions {
  std::filesystem::path pages;  // the folder of the HTML pages
  int port = 0;                 // 0: any free port
  bool open_browser = true;     // start the desktop's browser on the address
  // After a scan or repair changed the machine's registry (the native front
  // end keeps it in the data folder).
  std::function<void()> registry_changed;
};

// Serves until the window is closed or the process ends. Returns the exit
// code (kExitFailed when the port cannot be bound).
int RunGui(ScanPorts& ports, const ScanOptions& options, const GuiOptions& gui, std::ostream& out,
           std::ostream& err);

}  // namespace hs
