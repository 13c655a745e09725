// HiveSweep.exe: the Windows program. Builds the Win32 ports, runs the
// application object's start-up, keeps a hidden main dialog window (the
// first instance's window that a second instance signals), runs the
// unattended scan for the `scan` option, and shuts down.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>
#include <vector>

#undef DeleteFile
#undef MoveFile

#include "app/hvx_app.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_ini_reader.h"
#include "platform/win32/win32_key_protection.h"
#include "platform/win32/win32_notifier.h"
#include "platform/win32/win32_prompts.h"
#include "platform/win32/win32_reg_editor.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_self_launcher.h"
#include "platform/win32/win32_shell_folders.h"
#include "platform/win32/win32_shell_links.h"
#include "platform/win32/win32_shell_paths.h"
#include "platform/win32/win32_single_instance.h"
#include "platform/win32/win32_system_info.h"
#include "platform/win32/win32_system_restore.h"
#include "platform/win32/win32_wow64.h"

namespace {

hs::CHVXApp* g_app = nullptr;  // for the window procedure only
WNDPROC g_dialog_proc = nullptr;

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case hs::kMsgOfferScheduledScan:
      if (g_app) g_app->log().LogLine(u"A second instance asked for a scheduled scan");
      return 0;
    case hs::kMsgScanFinished:
    case hs::kMsgScanCancelled:
    case hs::kMsgProgressItem:
      return 0;
    default:
      return CallWindowProcW(g_dialog_proc, hwnd, msg, wp, lp);
  }
}

hs::Text ToText(const std::wstring& w) { return hs::Text(w.begin(), w.end()); }

std::wstring ProgramPath() {
  std::wstring path(32768, L'\0');
  DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(n);
  return path;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<hs::Text> args;
  for (int i = 1; argv && i < argc; ++i) args.push_back(ToText(argv[i]));
  if (argv) LocalFree(argv);

  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

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
  hs::Win32SingleInstance instance;
  hs::AppEnvironment env{registry, wow64, system, protection, notifier, fs, clock, folders, ini, instance,
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
  hs::Win32Prompts prompts(nullptr, u"HiveSweep");
  env.prompts = &prompts;
  hs::CHVXApp app(env);
  g_app = &app;
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
    // The main dialog window, hidden; its screens come with the user interface.
    app.log().LogLine(u"Main DLG Created");
    // (the window itself needs a display; without one the run goes on windowless)
    const hs::Text title = app.AppTitle();
    std::wstring wtitle(title.begin(), title.end());
    HWND main = CreateWindowExW(0, WC_DIALOG, wtitle.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 640,
                                480, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (main) {
      g_dialog_proc = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrW(main, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MainWindowProc)));
    }
    app.log().LogLine(u"Splash Window Shown");
    app.log().LogLine(u"Main Dialog created");
    app.scan_manager().set_main_window(reinterpret_cast<hs::WindowTarget>(main));
    app.scan_manager().set_notify_window(reinterpret_cast<hs::WindowTarget>(main));
    // An elevated restart for a backup action performs it now; the backup
    // screen shows it once the window has its screens.
    hs::Win32Prompts owned_prompts(main, app.AppTitle());
    env.prompts = &owned_prompts;
    const hs::ActionResult action = app.RunStartupBackupAction();
    env.prompts = &prompts;
    if (action == hs::ActionResult::kEndProcess) {
      if (main) DestroyWindow(main);
      app.ExitInstance();
      g_app = nullptr;
      CoUninitialize();
      return 0;
    }
    if (app.flags().scan_now && app.StartUnattendedScan()) {
      // Serve the window (the worker sends it messages) until the worker
      // ends; without a window (no display) this only waits.
      MSG msg;
      while (app.scan_manager().worker_running()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
          if (msg.message == WM_QUIT) continue;
          TranslateMessage(&msg);
          DispatchMessageW(&msg);
        }
      }
      code = app.FinishUnattendedScan();
    }
    if (main) DestroyWindow(main);
  }
  app.ExitInstance();
  g_app = nullptr;
  CoUninitialize();
  return code;
}
