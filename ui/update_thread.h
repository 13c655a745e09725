// CCheckUpdateThread: runs the update check (app/update_check.h) on a worker
// thread of its own, one at a time, and posts its outcome to the window.
// Questions are asked from the worker, owned by the window.
#pragma once

#include <windows.h>

#include <memory>
#include <thread>

#include "app/hvx_app.h"
#include "app/update_check.h"
#include "platform/win32/win32_http_client.h"
#include "platform/win32/win32_ini_reader.h"
#include "platform/win32/win32_shell_open.h"

namespace hs::ui {

// Posted to the window when a check ends; wParam is its UpdateOutcome.
inline constexpr UINT kMsgUpdateCheckDone = WM_APP + 4;

// The check's environment for this application: the settings' endpoint
// (UpdateEndpoint) or the product's, the version resource's FileVersion.
UpdateCheckEnv MakeUpdateCheckEnv(CHVXApp& app, HttpClient& http, IniReader& ini, ShellOpen& shell, Prompts& prompts);

class UpdateThread {
 public:
  // `window` receives kMsgUpdateCheckDone; `app` and `prompts` outlive this.
  UpdateThread(CHVXApp& app, Prompts& prompts, HWND window);
  ~UpdateThread();  // waits for a running check
  UpdateThread(const UpdateThread&) = delete;
  UpdateThread& operator=(const UpdateThread&) = delete;

  // False when a check runs already.
  bool Start(const UpdateFlags& flags);

 private:
  HWND window_;
  Win32HttpClient http_;
  Win32IniReader ini_;
  Win32ShellOpen shell_;
  UpdateChecker checker_;
  std::thread worker_;
};

// Starts an installer: verb "open", normal window, owned by the desktop.
bool RunInstaller(TextView path, TextView argument);

}  // namespace hs::ui
