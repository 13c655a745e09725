#include "platform/win32/win32_reg_editor.h"

#include <windows.h>

#include <exception>
#include <string>

#include "platform/win32/win32_wow64.h"

namespace hs {
namespace {

std::wstring Folder(UINT (WINAPI* get)(LPWSTR, UINT)) {
  wchar_t buf[MAX_PATH + 1] = {};
  const UINT n = get(buf, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(buf, n) : std::wstring();
}

// The editor is named by its full path so that no program of the current
// folder or the search path is started in its place: the Windows folder
// holds the native editor; a 32-bit program on 64-bit Windows finds the
// 32-bit one in the 32-bit system folder.
std::wstring EditorPath(bool wow64, bool is64) {
  std::wstring folder;
  if (wow64 && !is64) {
    using Fn = UINT(WINAPI*)(LPWSTR, UINT);
    static Fn fn = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetSystemWow64DirectoryW")));
    if (fn) folder = Folder(fn);
  }
  if (folder.empty()) folder = Folder(&GetWindowsDirectoryW);
  std::wstring path = folder.empty() ? L"regedit.exe" : folder + L"\\regedit.exe";
  if (!folder.empty() && GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES && !(wow64 && is64)) {
    path = L"regedit.exe";
  }
  return path;
}

}  // namespace

RegImportOutcome Win32RegEditor::Import(TextView path, bool is64) {
  RegImportOutcome outcome;
  try {
    const std::wstring file(path.begin(), path.end());
    if (file.empty() || file.find(L'\0') != std::wstring::npos || file.find(L'"') != std::wstring::npos) {
      return outcome;
    }
    Win32Wow64 wow;
    const bool wow64 = wow.IsWow64Process();
    const std::wstring editor = EditorPath(wow64, is64);
    std::wstring command = L"\"" + editor + L"\" /s \"" + file + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    void* cookie = nullptr;
    const bool redirected_off = is64 && wow64 && wow.DisableFsRedirection(&cookie);
    const BOOL ok = CreateProcessW(editor.c_str(), command.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                                   nullptr, nullptr, &si, &pi);
    if (redirected_off) (void)wow.RevertFsRedirection(cookie);
    if (!ok) return outcome;
    outcome.started = true;
    if (WaitForSingleObject(pi.hProcess, kRegImportWaitMs) == WAIT_OBJECT_0) {
      DWORD code = 0;
      if (GetExitCodeProcess(pi.hProcess, &code)) {
        outcome.finished = true;
        outcome.exit_code = code;
      }
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  } catch (const std::exception&) {
  }
  return outcome;
}

}  // namespace hs
