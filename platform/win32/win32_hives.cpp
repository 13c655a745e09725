#include "platform/win32/win32_hives.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#undef DeleteFile

#include "platform/win32/win32_wow64.h"

namespace hs {
namespace {

std::wstring W(TextView t) { return std::wstring(t.begin(), t.end()); }
Text T(const wchar_t* s, std::size_t n) { return Text(s, s + n); }
Text T(const wchar_t* s) { return T(s, wcslen(s)); }

// Switches WOW64 file-system redirection off for the current thread.
class NoRedirection {
 public:
  NoRedirection() { off_ = wow64_.DisableFsRedirection(&cookie_); }
  ~NoRedirection() {
    if (off_) (void)wow64_.RevertFsRedirection(cookie_);
  }
  NoRedirection(const NoRedirection&) = delete;
  NoRedirection& operator=(const NoRedirection&) = delete;

 private:
  Win32Wow64 wow64_;
  void* cookie_ = nullptr;
  bool off_ = false;
};

bool EnablePrivilege(HANDLE token, const wchar_t* name) {
  TOKEN_PRIVILEGES tp{};
  tp.PrivilegeCount = 1;
  tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!LookupPrivilegeValueW(nullptr, name, &tp.Privileges[0].Luid)) return false;
  SetLastError(ERROR_SUCCESS);
  return AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr) && GetLastError() == ERROR_SUCCESS;
}

HKEY Root(RegKey root) { return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(root)); }

}  // namespace

bool Win32Hives::EnablePrivileges() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
  const bool ok = EnablePrivilege(token, SE_SHUTDOWN_NAME) && EnablePrivilege(token, SE_BACKUP_NAME) &&
                  EnablePrivilege(token, SE_RESTORE_NAME);
  CloseHandle(token);
  return ok;
}

WinError Win32Hives::ListLoaded(std::vector<LoadedHive>* out) { return ReadHiveListFrom(registry_, windows64_, out); }

std::vector<DriveDevice> Win32Hives::FixedDrives() {
  std::vector<DriveDevice> out;
  const DWORD mask = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(mask & (1u << i))) continue;
    const wchar_t root[] = {static_cast<wchar_t>(L'A' + i), L':', L'\\', 0};
    if (GetDriveTypeW(root) != DRIVE_FIXED) continue;
    const wchar_t drive[] = {root[0], L':', 0};
    wchar_t device[MAX_PATH];
    if (QueryDosDeviceW(drive, device, MAX_PATH) == 0) continue;
    out.push_back({T(drive), T(device)});
  }
  return out;
}

HiveFolders Win32Hives::Folders() {
  HiveFolders f;
  wchar_t buf[MAX_PATH];
  UINT n = GetSystemDirectoryW(buf, MAX_PATH);
  if (n > 0 && n < MAX_PATH) f.system_dir = T(buf, n);
  wchar_t shortened[MAX_PATH];
  const DWORD s = f.system_dir.empty() ? 0 : GetShortPathNameW(buf, shortened, MAX_PATH);
  f.system_dir_short = s > 0 && s < MAX_PATH ? T(shortened, s) : f.system_dir;
  n = GetWindowsDirectoryW(buf, MAX_PATH);
  if (n > 0 && n < MAX_PATH) f.windows_dir = T(buf, n);
  if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, buf))) f.local_app_data = T(buf);
  using Fn = BOOL(WINAPI*)(LPWSTR, LPDWORD);
  if (HMODULE userenv = LoadLibraryW(L"userenv.dll")) {
    if (auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(userenv, "GetProfilesDirectoryW")))) {
      DWORD size = MAX_PATH;
      if (fn(buf, &size)) f.profiles_dir = T(buf);
    }
    FreeLibrary(userenv);
  }
  return f;
}

int Win32Hives::WindowsMinorVersion() {
  OSVERSIONINFOW v{};
  v.dwOSVersionInfoSize = sizeof v;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExW(&v)) return 0;
#pragma GCC diagnostic pop
  return static_cast<int>(v.dwMinorVersion);
}

Text Win32Hives::SystemMessage(WinError error) {
  wchar_t buf[512];
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, buf,
                                 512, nullptr);
  return T(buf, n);
}

void Win32Hives::FlushRoots() {
  RegFlushKey(HKEY_LOCAL_MACHINE);
  RegFlushKey(HKEY_CURRENT_USER);
  RegFlushKey(HKEY_USERS);
}

void Win32Hives::SetAnalysisPriority(bool high) {
  SetPriorityClass(GetCurrentProcess(), high ? HIGH_PRIORITY_CLASS : NORMAL_PRIORITY_CLASS);
  SetThreadPriority(GetCurrentThread(), high ? THREAD_PRIORITY_TIME_CRITICAL : THREAD_PRIORITY_NORMAL);
}

WinError Win32Hives::SaveCompactCopy(RegKey root, TextView sub_key, TextView copy_path) {
  HKEY key = nullptr;
  const REGSAM sam = KEY_ALL_ACCESS | (windows64_ ? KEY_WOW64_64KEY : 0);
  if (LONG e = RegCreateKeyExW(Root(root), W(sub_key).c_str(), 0, nullptr, REG_OPTION_BACKUP_RESTORE, sam, nullptr,
                               &key, nullptr))
    return static_cast<WinError>(e);
  NoRedirection no_redirection;
  const std::wstring copy = W(copy_path);
  SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(copy.c_str());
  RegFlushKey(key);
  if (root != kHkeyLocalMachine) {
    RegFlushKey(HKEY_CURRENT_USER);
    RegFlushKey(HKEY_USERS);
  }
  RegFlushKey(HKEY_LOCAL_MACHINE);
  Sleep(0);
  const LONG e = RegSaveKeyW(key, copy.c_str(), nullptr);
  RegCloseKey(key);
  return static_cast<WinError>(e);
}

bool Win32Hives::Exists(TextView path) {
  NoRedirection no_redirection;
  return GetFileAttributesW(W(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

WinError Win32Hives::FileSize(TextView path, std::uint64_t* size) {
  NoRedirection no_redirection;
  const std::wstring p = W(path);
  HANDLE h = CreateFileW(p.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    LARGE_INTEGER li{};
    const BOOL ok = GetFileSizeEx(h, &li);
    CloseHandle(h);
    if (ok) {
      *size = static_cast<std::uint64_t>(li.QuadPart);
      return err::kSuccess;
    }
  }
  // A loaded hive may refuse even that: its directory entry still has a size.
  WIN32_FIND_DATAW fd;
  HANDLE f = FindFirstFileW(p.c_str(), &fd);
  if (f == INVALID_HANDLE_VALUE) return static_cast<WinError>(GetLastError());
  FindClose(f);
  *size = (static_cast<std::uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
  return err::kSuccess;
}

WinError Win32Hives::DeleteFile(TextView path) {
  NoRedirection no_redirection;
  const std::wstring p = W(path);
  SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
  return ::DeleteFileW(p.c_str()) ? err::kSuccess : static_cast<WinError>(GetLastError());
}

WinError Win32Hives::CreateFolder(TextView path) {
  NoRedirection no_redirection;
  const int e = SHCreateDirectoryExW(nullptr, W(path).c_str(), nullptr);
  return e == ERROR_SUCCESS || e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS ? err::kSuccess
                                                                                     : static_cast<WinError>(e);
}

WinError Win32Hives::TempFileName(TextView folder, TextView prefix, std::uint32_t unique, Text* out) {
  NoRedirection no_redirection;
  wchar_t buf[MAX_PATH];
  if (!GetTempFileNameW(W(folder).c_str(), W(prefix).c_str(), unique, buf)) return static_cast<WinError>(GetLastError());
  *out = T(buf);
  return err::kSuccess;
}

WinError Win32Hives::ReadFile(TextView path, std::uint64_t max_size, std::vector<std::uint8_t>* out) {
  NoRedirection no_redirection;
  HANDLE h = CreateFileW(W(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return static_cast<WinError>(GetLastError());
  LARGE_INTEGER li{};
  WinError e = err::kSuccess;
  if (!GetFileSizeEx(h, &li)) e = static_cast<WinError>(GetLastError());
  else if (static_cast<std::uint64_t>(li.QuadPart) > max_size) e = err::kFileTooLarge;
  std::vector<std::uint8_t> bytes;
  if (e == err::kSuccess) {
    bytes.resize(static_cast<std::size_t>(li.QuadPart));
    DWORD got = 0;
    if (!bytes.empty() && (!::ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
                           got != bytes.size()))
      e = err::kReadFault;
  }
  CloseHandle(h);
  if (e == err::kSuccess) *out = std::move(bytes);
  return e;
}

WinError Win32Hives::WriteFile(TextView path, std::span<const std::uint8_t> bytes) {
  NoRedirection no_redirection;
  HANDLE h = CreateFileW(W(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return static_cast<WinError>(GetLastError());
  DWORD put = 0;
  WinError e = err::kSuccess;
  if (!bytes.empty() &&
      (!::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) || put != bytes.size()))
    e = static_cast<WinError>(GetLastError() ? GetLastError() : ERROR_WRITE_FAULT);
  if (!CloseHandle(h) && e == err::kSuccess) e = static_cast<WinError>(GetLastError());
  return e;
}

WinError Win32Hives::ReadBootExecute(RegValue* out) { return ReadBootExecuteFrom(registry_, windows64_, out); }
WinError Win32Hives::WriteBootExecute(const RegValue& value) { return WriteBootExecuteTo(registry_, windows64_, value); }

bool Win32Hives::StartShutdown(TextView parameters) {
  const Text dir = Folders().system_dir;
  const std::wstring program = W(dir + u"\\shutdown.exe");
  return reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", program.c_str(), W(parameters).c_str(),
                                                 W(dir).c_str(), SW_HIDE)) > 32;
}

}  // namespace hs
