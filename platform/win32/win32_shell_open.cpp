#include "platform/win32/win32_shell_open.h"

#include <windows.h>
#include <shellapi.h>

#include <exception>
#include <string>

namespace hs {

bool Win32ShellOpen::Open(TextView path) {
  try {
    const std::wstring file(path.begin(), path.end());
    if (file.empty() || file.find(L'\0') != std::wstring::npos) return false;
    HINSTANCE r = ::ShellExecuteW(nullptr, L"open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(r) > 32;
  } catch (const std::exception&) {
    return false;
  }
}

bool Win32ShellOpen::ShowProperties(TextView path) {
  try {
    const std::wstring file(path.begin(), path.end());
    if (file.empty() || file.find(L'\0') != std::wstring::npos) return false;
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_INVOKEIDLIST | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"properties";
    info.lpFile = file.c_str();
    info.nShow = SW_SHOWNORMAL;
    return ::ShellExecuteExW(&info) != FALSE;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace hs
