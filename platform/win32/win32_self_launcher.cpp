#include "platform/win32/win32_self_launcher.h"

#include <windows.h>
#include <shellapi.h>

#include <exception>
#include <string>
#include <vector>

namespace hs {

namespace {

constexpr WinError kGenFailure = 31;
constexpr DWORD kMaxPathChars = 32768;

// Full path of the running executable; empty on failure.
std::wstring OwnPath() {
  std::vector<wchar_t> buf(MAX_PATH);
  for (;;) {
    DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) return std::wstring(buf.data(), n);
    if (buf.size() >= kMaxPathChars) return {};
    buf.resize(buf.size() * 2);
  }
}

}  // namespace

WinError Win32SelfLauncher::StartSelf(LaunchVerb verb, TextView argument) {
  try {
    const std::wstring path = OwnPath();
    if (path.empty()) {
      DWORD e = ::GetLastError();
      return e ? static_cast<WinError>(e) : kGenFailure;
    }
    const std::wstring file = L"\"" + path + L"\"";
    std::wstring args(argument.begin(), argument.end());
    if (std::size_t nul = args.find(L'\0'); nul != std::wstring::npos) args.resize(nul);
    ::SetLastError(ERROR_SUCCESS);
    HINSTANCE r = ::ShellExecuteW(nullptr, verb == LaunchVerb::kRunAs ? L"runas" : L"open", file.c_str(),
                                  args.c_str(), nullptr, SW_SHOWNORMAL);
    const INT_PTR code = reinterpret_cast<INT_PTR>(r);
    if (code > 32) return err::kSuccess;
    DWORD e = ::GetLastError();
    if (e != ERROR_SUCCESS) return static_cast<WinError>(e);
    // The shell's own codes 2, 3, 5, 8 and 11 equal the system's.
    return code > 0 ? static_cast<WinError>(code) : kGenFailure;
  } catch (const std::exception&) {
    return err::kNotEnoughMemory;
  }
}

}  // namespace hs
