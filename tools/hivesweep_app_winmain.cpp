// HiveSweep.exe: the Windows program. Builds the Win32 ports, runs the
// application object's start-up, opens the main window (ui/) over the
// screen-flow model, and shuts down. Mode `scan` keeps the window hidden:
// the model scans, the results are saved, and the process ends when the
// result pop-up closes.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <ole2.h>
#include <shellapi.h>

#include <string>
#include <vector>

#undef DeleteFile
#undef MoveFile

#include "app/app_scan_driver.h"
#include "app/hvx_app.h"
#include "app/main_dialog.h"
#include "app/scheduling.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_ini_reader.h"
#include "platform/win32/win32_key_protection.h"
#include "platform/win32/win32_notifier.h"
#include "platform/win32/win32_prompts.h"
#include "platform/win32/win32_recycle_bin.h"
#include "platform/win32/win32_reg_editor.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_self_launcher.h"
#include "platform/win32/win32_shell_folders.h"
#include "platform/win32/win32_shell_links.h"
#include "platform/win32/win32_shell_paths.h"
#include "platform/win32/win32_single_instance.h"
#include "platform/win32/win32_system_info.h"
#include "platform/win32/win32_system_restore.h"
#include "platform/win32/win32_task_scheduler.h"
#include "platform/win32/win32_url_history.h"
#include "platform/win32/win32_wow64.h"
#include "ui/main_window.h"

namespace {

hs::Text ToText(const std::wstring& w) { return hs::Text(w.begin(), w.end()); }

std::wstring ProgramPath() {
  std::wstring path(32768, L'\0');
  DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(n);
  return path;
}

// Message boxes of an unattended run are logged instead (nobody answers
// them; a question is answered No) until the user clicks its pop-up; from
// then on they show.
class UnattendedPrompts final : public hs::Prompts {
 public:
  UnattendedPrompts(hs::Log& log, hs::Prompts& shown) : log_(log), shown_(shown) {}
  hs::PromptAnswer Ask(hs::TextView text, hs::PromptButtons buttons, hs::PromptIcon icon) override {
    if (present_) return shown_.Ask(text, buttons, icon);
    log_.LogLine(u"Message not shown during an unattended run: " + hs::LogSafe(text));
    return buttons == hs::PromptButtons::kOk ? hs::PromptAnswer::kOk : hs::PromptAnswer::kNo;
  }
  void UserPresent() { present_ = true; }

 private:
  hs::Log& log_;
  hs::Prompts& shown_;
  bool present_ = false;
};

// Mode `updatecheck` (the weekly update task): the check without questions.
// True when a newer version exists (the caller shows the update pop-up).
bool UnattendedUpdateCheckFindsNewer(hs::CHVXApp& app, hs::Prompts& prompts) {
  hs::Win32HttpClient http;
  hs::Win32IniReader ini;
  hs::Win32ShellOpen shell;
  hs::UpdateChecker checker(hs::ui::MakeUpdateCheckEnv(app, http, ini, shell, prompts));
  if (checker.Check({.unattended = true}) == hs::UpdateOutcome::kNewer) return true;
  app.log().LogLine(u"ExitProcess : No Updates");
  return false;
}

// Without a window (no display): the scheduled scan runs and ends here.
int RunWindowlessScan(hs::CHVXApp& app) {
  if (!app.StartUnattendedScan()) return 0;
  MSG msg;
  while (app.scan_manager().worker_running()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return app.FinishUnattendedScan();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<hs::Text> args;
  for (int i = 1; argv && i < argc; ++i) args.push_back(ToText(argv[i]));
  if (argv) LocalFree(argv);

  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  // OLE (apartment-threaded COM) for the browser control.
  OleInitialize(nullptr);

  const std::wstring program = ProgramPath();
  const std::wstring folder = program.substr(0, program.rfind(L'\\'));
  const hs::Text first = args.empty() ? hs::Text() : hs::NormalizeOption(args[0]);
  const bool unattended = first == u"scan" || first == u"updatecheck" || first == u"silentresults" || first == u"default";

  hs::Win32Registry registry;
  hs::Win32Wow64 wow64;
  hs::Win32SystemInfo system;
  hs::Win32KeyProtection protection;
  hs::Win32Notifier notifier;
  hs::Win32FileSystem fs;
  hs::Win32Clock clock;
  hs::Win32ShellFolders folders;
  hs::Win32IniReader ini;
  hs::Win32SingleInstance instance_lock;
  hs::AppEnvironment env{registry, wow64, system, protection, notifier, fs, clock, folders, ini, instance_lock,
                         ToText(folder), nullptr};
  hs::Win32ShellPaths shell;
  env.shell = &shell;
  hs::Win32RegEditor editor;
  env.editor = &editor;
  hs::Win32ShellLinks links;
  env.links = &links;
  env.whole = &editor;
  hs::Win32SelfLauncher launcher;
  env.launcher = &launcher;
  hs::Win32SystemRestore restore;
  env.restore = &restore;
  hs::Win32UrlHistory history;
  env.history = &history;
  hs::Win32RecycleBin recycle_bin;
  env.recycle_bin = &recycle_bin;
  hs::Win32TaskScheduler scheduler;
  env.scheduler = &scheduler;
  env.user_account = hs::CurrentUserAccount();
  hs::Win32Prompts prompts(nullptr, u"HiveSweep");
  env.prompts = &prompts;
  hs::CHVXApp app(env);
  env.show_error = [&app, unattended](hs::TextView text) {
    if (unattended) {
      app.log().LogLine(hs::Text(u"Message not shown during an unattended run: ") + hs::Text(text));
      return;
    }
    std::wstring t(text.begin(), text.end());
    std::wstring title(L"HiveSweep");
    MessageBoxW(nullptr, t.c_str(), title.c_str(), MB_OK | MB_ICONERROR);
  };

  int code = 0;
  if (app.InitInstance(args)) {
    const hs::StartupFlags& flags = app.flags();
    const hs::DialogMode mode = flags.scan_now       ? hs::DialogMode::kScan
                                : flags.update_check ? hs::DialogMode::kUpdateCheck
                                                     : hs::DialogMode::kInteractive;
    hs::AppScanDriver driver(app);
    hs::ui::MainWindow window(instance, app, driver, mode);
    app.log().LogLine(u"Main DLG Created");
    const bool created = window.Create(!unattended && !flags.default_task);
    if (window.splash_shown()) app.log().LogLine(u"Splash Window Shown");
    if (created) app.log().LogLine(u"Main Dialog created");
    const auto hwnd = reinterpret_cast<hs::WindowTarget>(window.hwnd());
    app.scan_manager().set_main_window(hwnd);
    app.scan_manager().set_notify_window(hwnd);
    // An elevated restart for a backup action: the backup screen performs it
    // (the model posts it there); without a window it runs now.
    hs::Win32Prompts owned_prompts(window.hwnd(), app.AppTitle());
    UnattendedPrompts logged_prompts(app.log(), owned_prompts);
    window.user_present = [&logged_prompts] { logged_prompts.UserPresent(); };
    hs::Prompts& window_prompts = unattended ? static_cast<hs::Prompts&>(logged_prompts) : owned_prompts;
    env.prompts = &window_prompts;
    const hs::ActionResult action = created ? hs::ActionResult::kNothing : app.RunStartupBackupAction();
    if (action != hs::ActionResult::kEndProcess) {
      if (mode == hs::DialogMode::kUpdateCheck) {
        // A click on the pop-up starts the installation. The process ends
        // with the pop-up, or with the check the click started.
        if (UnattendedUpdateCheckFindsNewer(app, window_prompts) && created) {
          if (window.ShowPopup(hs::UpdatePopup([&app](hs::TextView key) { return app.strings().LookupString(key); })))
            code = window.RunMessageLoop();
        }
      } else if (!created) {
        if (flags.scan_now) code = RunWindowlessScan(app);
      } else {
        hs::MainDialogEnv denv{window,
                               window.Page(hs::dlg::kPageHome),
                               window.Page(hs::dlg::kPageScanSettings),
                               window.Page(hs::dlg::kPageProgress),
                               window.Page(hs::dlg::kPageResults),
                               window.Page(hs::ui::kPageListLoading),
                               driver,
                               window_prompts,
                               app.settings_store(),
                               app.settings(),
                               clock,
                               app.log(),
                               [&app](hs::TextView key) { return app.strings().LookupString(key); },
                               mode};
        denv.after_repair_page = &window.Page(hs::dlg::kPageAfterRepair);
        denv.optimisation_page = &window.Page(hs::dlg::kPageOptimisation);
        denv.language_code = hs::LanguageRecord(app.language_index()).code;
        denv.ui_font_present = fs.Exists(folders.SpecialFolderPath(hs::kCsidlFonts) + u"\\segoeui.ttf");
        hs::CHVXDlg dialog(denv);
        window.SetDialog(&dialog);
        hs::DialogStart start;
        start.flags = flags;
        start.first_run = app.settings_store().HasValue(hs::settings_value::kFirstRun);
        start.auto_tutorial = app.settings_store().ReadDword(hs::settings_value::kStartAutoTutorial, 0) == 1;
        start.splash_shown = window.splash_shown();
        if (const auto scheduling = hs::MakeAppScheduling(app, window_prompts, ToText(program)))
          (void)scheduling->RunFirstRun(app.settings_store());
        dialog.Open(start);
        code = window.RunMessageLoop();
        window.SetDialog(nullptr);
      }
    }
    env.prompts = &prompts;
  }
  app.ExitInstance();
  OleUninitialize();
  return code;
}
