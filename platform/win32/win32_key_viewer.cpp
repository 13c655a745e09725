#include "platform/win32/win32_key_viewer.h"

#include <windows.h>
#include <shellapi.h>

#include <exception>
#include <string>

namespace hs {
namespace {

constexpr wchar_t kEditorClass[] = L"RegEdit_RegEdit";
constexpr DWORD kCloseWaitMs = 1024;
constexpr DWORD kIdleWaitMs = 10000;
constexpr DWORD kAfterStartMs = 1024;
constexpr DWORD kStepMs = 225;
constexpr DWORD kKeyMs = 27;

void Pump() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

HWND ChildOfClass(HWND parent, const wchar_t* cls) { return ::FindWindowExW(parent, nullptr, cls, nullptr); }

void PressHome(HWND w) {
  ::SendMessageW(w, WM_KEYDOWN, VK_HOME, 0);
  ::Sleep(kKeyMs);
}

// Types `text` into a tree (a backslash opens the next level) or a list.
void Type(HWND w, const std::wstring& text, bool backslash_is_right) {
  for (wchar_t c : text) {
    if (backslash_is_right && c == L'\\') {
      ::SendMessageW(w, WM_KEYDOWN, VK_RIGHT, 0);
    } else {
      ::SendMessageW(w, WM_CHAR, c, 0);
    }
    ::Sleep(kKeyMs);
  }
}

std::wstring Lower(TextView t) {
  std::wstring s(t.begin(), t.end());
  if (!s.empty()) ::CharLowerBuffW(s.data(), static_cast<DWORD>(s.size()));
  return s;
}

bool Show(const std::wstring& key, const std::wstring& value) {
  if (HWND running = ::FindWindowW(kEditorClass, nullptr)) {
    ::SendMessageW(running, WM_CLOSE, 0, 0);
    ::Sleep(kCloseWaitMs);
  }
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = L"open";
  info.lpFile = L"Regedit.exe";
  info.nShow = SW_SHOWNORMAL;
  if (::ShellExecuteExW(&info) && info.hProcess) {
    ::WaitForInputIdle(info.hProcess, kIdleWaitMs);
    ::CloseHandle(info.hProcess);
  }
  ::Sleep(kAfterStartMs);
  HWND editor = ::FindWindowW(kEditorClass, nullptr);
  if (!editor) {
    ::MessageBoxW(nullptr, L"Can't run Regedit.", nullptr, MB_OK | MB_ICONERROR);
    return false;
  }
  ::Sleep(kStepMs);
  ::ShowWindow(editor, SW_RESTORE);
  ::Sleep(kStepMs);
  ::SetForegroundWindow(editor);
  ::Sleep(kStepMs);
  if (HWND tree = ChildOfClass(editor, L"SysTreeView32")) {
    PressHome(tree);
    Type(tree, key, true);
  }
  if (value.empty()) return true;
  HWND list = ChildOfClass(editor, L"SysListView32");
  if (!list) return true;
  for (int pass = 0; pass < 2; ++pass) {
    ::SetForegroundWindow(list);
    ::SetFocus(list);
    if (pass == 1) {
      ::Sleep(kStepMs);
      Pump();
    }
    PressHome(list);
    Type(list, value, false);
  }
  return true;
}

}  // namespace

bool Win32KeyViewer::ShowKey(TextView key_path, TextView value_name, bool is64) {
  try {
    if (key_path.empty()) return false;
    void* cookie = nullptr;
    const bool redirected_off = is64 && wow64_.IsWow64Process() && wow64_.DisableFsRedirection(&cookie);
    const bool shown = Show(Lower(key_path), Lower(value_name));
    if (redirected_off) (void)wow64_.RevertFsRedirection(cookie);
    return shown;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace hs
