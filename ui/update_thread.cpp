#include "ui/update_thread.h"

#include <shellapi.h>

#include "platform/win32/win32_version_info.h"

namespace hs::ui {

bool RunInstaller(TextView path, TextView argument) {
  const std::wstring file(path.begin(), path.end()), args(argument.begin(), argument.end());
  HINSTANCE r = ::ShellExecuteW(::GetDesktopWindow(), L"open", file.c_str(), args.c_str(), nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(r) > 32;
}

UpdateCheckEnv MakeUpdateCheckEnv(CHVXApp& app, HttpClient& http, IniReader& ini, ShellOpen& shell, Prompts& prompts) {
  AppEnvironment& env = app.environment();
  UpdateCheckEnv u{http, env.fs, ini, prompts, shell, env.clock, app.log(),
                   [&app](TextView key) { return app.strings().LookupString(key); }, app.data_folder(),
                   ProgramFileVersion(), Text(kDefaultUpdateEndpoint), RunInstaller};
  Text endpoint;
  if (app.settings_store().ReadText(kUpdateEndpointValue, &endpoint) && !endpoint.empty()) u.endpoint = endpoint;
  return u;
}

UpdateThread::UpdateThread(CHVXApp& app, Prompts& prompts, HWND window)
    : window_(window), checker_(MakeUpdateCheckEnv(app, http_, ini_, shell_, prompts)) {}

UpdateThread::~UpdateThread() {
  if (worker_.joinable()) worker_.join();
}

bool UpdateThread::Start(const UpdateFlags& flags) {
  if (checker_.checking()) return false;
  if (worker_.joinable()) worker_.join();  // the last check has ended
  worker_ = std::thread([this, flags] {
    UpdateOutcome outcome = UpdateOutcome::kNothingNewer;
    try {
      outcome = checker_.Check(flags);
    } catch (...) {
      // Counts as nothing newer; nothing leaves the thread.
    }
    ::PostMessageW(window_, kMsgUpdateCheckDone, static_cast<WPARAM>(outcome), 0);
  });
  return true;
}

}  // namespace hs::ui
