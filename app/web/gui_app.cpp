#include "app/web/gui_app.h"

#include <spawn.h>
#include <sys/wait.h>

#include <thread>

#include "app/data_folder.h"
#include "app/debug_log.h"
#include "app/main_dialog.h"
#include "app/page_texts.h"
#include "app/settings.h"
#include "app/strings.h"
#include "app/web/browser_view.h"
#include "app/web/details_session.h"
#include "app/web/gui_server.h"
#include "app/web/machine_scan_driver.h"

extern char** environ;

namespace hs {

namespace {

constexpr int kCsidlFonts = 0x14;

// A browser tab has no message boxes: the text goes to the terminal, and a
// question counts as answered yes (the click that asked it was the choice).
class TerminalPrompts final : public Prompts {
 public:
  explicit TerminalPrompts(std::ostream& out) : out_(out) {}
  PromptAnswer Ask(TextView text, PromptButtons buttons, PromptIcon) override {
    out_ << PrintableText(text) << std::endl;
    return buttons == PromptButtons::kOk ? PromptAnswer::kOk : PromptAnswer::kYes;
  }

 private:
  std::ostream& out_;
};

void OpenBrowser(const std::string& address, std::ostream& err) {
  pid_t pid = 0;
  const char* argv[] = {"xdg-open", address.c_str(), nullptr};
  if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) {
    err << "hivesweep: could not start xdg-open; open the address above yourself\n";
    return;
  }
  // xdg-open hands over to the browser and ends; reap it off this thread.
  std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
}

}  // namespace

int RunGui(ScanPorts& ports, const ScanOptions& options, const GuiOptions& gui, std::ostream& out,
           std::ostream& err) {
  DebugLog log(ports.fs, ports.clock, ports.folders);
  StringTable strings(ports.program_ini, ports.program_fs, log, ports.program_folder, Text(), ports.language, [](TextView) {});
  const StringLookup lookup = [&strings](TextView key) { return strings.LookupString(key); };
  SettingsStore store(ports.registry, log);
  AppSettings settings;
  (void)store.LoadSettings(&settings);

  PageBridge bridge(FindPageTexts(dlg::kPageHome)->file);
  auto host = [&bridge](int page) { return BridgePageHost(bridge, FindPageTexts(page)->file); };
  BridgePageHost home = host(dlg::kPageHome), scan_settings = host(dlg::kPageScanSettings),
                 progress = host(dlg::kPageProgress), results = host(dlg::kPageResults),
                 loading = host(dlg::kPageLoading), after_repair = host(dlg::kPageAfterRepair),
                 optimisation = host(dlg::kPageOptimisation), details_page = host(kPageProblemDetails);

  ModelLoop loop;
  std::unique_ptr<GuiServer> server;
  BrowserView view(loop, bridge, log, [&] {
    if (server) server->Stop();
    loop.Stop();
  });
  CHVXDlg* model = nullptr;  // set before the loop runs; used on the loop only
  MachineScanDriver::Events driver_events;
  driver_events.progress = [&](const Text& path, int group, int found) { model->OnScanProgress(path, group, found); };
  driver_events.scan_ended = [&](int problems) {
    (void)store.RecordScanEnd(&settings, ports.clock, static_cast<std::uint32_t>(problems));
    if (gui.registry_changed) gui.registry_changed();
    model->OnScanEnded();
  };
  driver_events.repair_ended = [&] {
    (void)store.LoadSettings(&settings);  // the repair wrote its counters
    if (gui.registry_changed) gui.registry_changed();
    (void)model->OnCommand(dlg::kCmdRepairDone);
  };
  MachineScanDriver driver(ports, options, loop, driver_events);
  TerminalPrompts prompts(out);

  MainDialogEnv env{view, home, scan_settings, progress, results, loading, driver, prompts, store, settings,
                    ports.clock, log, lookup};
  env.after_repair_page = &after_repair;
  env.optimisation_page = &optimisation;
  env.language_code = LanguageRecord(ports.language).code;
  env.ui_font_present = ports.fs.Exists(ports.folders.SpecialFolderPath(kCsidlFonts) + u"\\segoeui.ttf");
  CHVXDlg dlg(env);
  model = &dlg;
  view.Attach(&dlg);
  DetailsSession details(ports, details_page, prompts);
  view.SetOpenDetails([&] {
    if (driver.IsRunning()) return;
    if (details.Open()) {
      bridge.ShowPage(FindPageTexts(kPageProblemDetails)->file);
    } else {
      (void)prompts.Ask(lookup(u"IDS_NO_ERRORS_FOUND"), PromptButtons::kOk, PromptIcon::kInformation);
    }
  });

  bool home_loaded = false;
  GuiServerEvents events;
  events.page_loaded = [&](int page) {
    loop.Post([&, page] {
      bridge.SetAnswering(FindPageTexts(page)->file);
      if (page == kPageProblemDetails) {
        details.OnPageLoaded();
      } else {
        dlg.OnPageLoaded(page);
      }
      bridge.SetAnswering("");
      // The window shows once the home page has loaded for the first time;
      // without a splash to wait for, the tab is visible already, so the
      // timer runs at once (later it could take the user off a screen).
      if (page == dlg::kPageHome && !home_loaded) {
        home_loaded = true;
        view.SetTimer(dlg::kTimerHomeLoaded, 0);
      }
    });
  };
  events.click = [&](int page, const Text& id) {
    loop.Post([&, page, id] {
      if (page != kPageProblemDetails) {
        dlg.OnPageClick(page, id);
      } else if (const std::optional<int> next = details.OnClick(id)) {
        driver.Reload();
        (void)dlg.OnCommand(*next);
      }
    });
  };
  events.command = [&](int command) { loop.Post([&, command] { (void)dlg.OnCommand(command); }); };
  std::vector<GuiServer::NavItem> nav = {{dlg::kCmdHome, lookup(u"IDS_BTN_HOME")},
                                         {dlg::kCmdScanSettings, lookup(u"IDS_BTN_SCAN_REG")},
                                         {dlg::kCmdRegistryOptimisation, lookup(u"IDS_BTN_OPTIMIZE_REG")}};
  server = std::make_unique<GuiServer>(bridge, gui.pages, NewGuiToken(), events, std::move(nav));
  if (!server->Bind(gui.port)) {
    err << "hivesweep: cannot listen on 127.0.0.1" << (gui.port ? ":" + std::to_string(gui.port) : "") << "\n";
    return kExitFailed;
  }
  loop.Post([&] { dlg.Open(DialogStart{}); });
  std::thread model_thread([&loop] { loop.Run(); });
  out << "HiveSweep is at " << server->Address() << std::endl;
  if (gui.open_browser) OpenBrowser(server->Address(), err);
  server->Listen();
  loop.Stop();
  model_thread.join();
  return kExitOk;
}

}  // namespace hs
