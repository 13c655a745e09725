#include "platform/win32/win32_reg_editor.h"

#include <windows.h>

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

enum class OnTimeout { kLeaveRunning, kEnd, kEndAndRemoveFile };

// Runs the editor with `switches` and the quoted `path`, waiting up to
// `wait_ms`. A path holding a quote or NUL would change the command line and
// is refused. With is64 on 64-bit Windows the 64-bit editor must start: if
// redirection cannot be switched off the 32-bit one would run in its place
// (wrong view, half an export), so nothing starts.
RegImportOutcome RunEditor(const wchar_t* switches, TextView path, bool is64, DWORD wait_ms, OnTimeout on_timeout) {
  RegImportOutcome outcome;
  try {
    const std::wstring file(path.begin(), path.end());
    if (file.empty() || file.find(L'\0') != std::wstring::npos || file.find(L'"') != std::wstring::npos) {
      return outcome;
    }
    Win32Wow64 wow;
    const bool wow64 = wow.IsWow64Process();
    const std::wstring editor = EditorPath(wow64, is64);
    std::wstring command = L"\"" + editor + L"\" " + switches + L" \"" + file + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    void* cookie = nullptr;
    const bool need_native = is64 && wow64;
    const bool redirected_off = need_native && wow.DisableFsRedirection(&cookie);
    if (need_native && !redirected_off) return outcome;
    const BOOL ok = CreateProcessW(editor.c_str(), command.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                                   nullptr, nullptr, &si, &pi);
    if (redirected_off) (void)wow.RevertFsRedirection(cookie);
    if (!ok) return outcome;
    CloseHandle(pi.hThread);
    outcome.started = true;
    if (WaitForSingleObject(pi.hProcess, wait_ms) == WAIT_OBJECT_0) {
      DWORD code = 0;
      if (GetExitCodeProcess(pi.hProcess, &code)) {
        outcome.finished = true;
        outcome.exit_code = code;
      }
    } else if (on_timeout != OnTimeout::kLeaveRunning) {
      // Ending is asynchronous: wait until the editor has closed the file.
      (void)TerminateProcess(pi.hProcess, ERROR_TIMEOUT);
      const bool ended = WaitForSingleObject(pi.hProcess, 10000) == WAIT_OBJECT_0;
      if (ended && on_timeout == OnTimeout::kEndAndRemoveFile) (void)DeleteFileW(file.c_str());
    }
    CloseHandle(pi.hProcess);
  } catch (...) {
  }
  return outcome;
}

}  // namespace

RegImportOutcome Win32RegEditor::Import(TextView path, bool is64) {
  return RunEditor(L"/s", path, is64, kRegImportWaitMs, OnTimeout::kLeaveRunning);
}

// "/s /e FILE" with no key exports every root, on Windows and under Wine.
RegImportOutcome Win32RegEditor::ExportAll(TextView path, std::uint32_t wait_ms) {
  return RunEditor(L"/s /e", path, true, wait_ms, OnTimeout::kEndAndRemoveFile);
}

RegImportOutcome Win32RegEditor::ImportAll(TextView path, std::uint32_t wait_ms) {
  return RunEditor(L"/s", path, true, wait_ms, OnTimeout::kEnd);
}

}  // namespace hs
