#include "platform/win32/win32_shell_paths.h"

#include <windows.h>
#include <shlwapi.h>
// Unicode macros of <windows.h> and <shlwapi.h> that name ShellPaths members.
#undef ExpandEnvironmentStrings
#undef SearchPath
#undef PathFileExists
#undef PathFindOnPath
#undef PathSearchAndQualify
#undef PathGetArgs
#undef PathIsNetworkPath
#undef PathIsFileSpec

#include <algorithm>
#include <cwchar>
#include <exception>
#include <string>

namespace hs {

namespace {

// A NUL-terminated copy for the C-string calls.
std::wstring Wide(TextView text) { return std::wstring(text.begin(), text.end()); }

Text FromWide(const wchar_t* s, std::size_t n) { return Text(reinterpret_cast<const char16_t*>(s), n); }

// A path the file-system calls may see: no NUL (it would cut the path
// short) and within the length limit.
bool Usable(TextView path) {
  return path.find(u'\0') == TextView::npos && path.size() <= kMaxShellTextChars;
}

}  // namespace

FileKind Win32ShellPaths::FileAttributes(TextView path) {
  if (!Usable(path)) return FileKind::kMissing;
  const DWORD attrs = ::GetFileAttributesW(Wide(path).c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) return FileKind::kMissing;
  return (attrs & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::kDirectory : FileKind::kFile;
}

bool Win32ShellPaths::ListFolder(TextView folder, std::vector<FolderEntry>* out) {
  out->clear();
  if (folder.empty() || !Usable(folder)) return false;
  std::wstring pattern = Wide(folder);
  if (pattern.back() != L'\\') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW d;
  HANDLE h = ::FindFirstFileExW(pattern.c_str(), FindExInfoStandard, &d, FindExSearchNameMatch, nullptr, 0);
  if (h == INVALID_HANDLE_VALUE) return false;
  try {
    do {
      if (std::wcscmp(d.cFileName, L".") == 0 || std::wcscmp(d.cFileName, L"..") == 0) continue;
      const FileKind kind = (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::kDirectory : FileKind::kFile;
      out->push_back(FolderEntry{FromWide(d.cFileName, wcsnlen(d.cFileName, MAX_PATH)), kind});
      const std::size_t short_len = wcsnlen(d.cAlternateFileName, 14);
      if (short_len > 0) out->push_back(FolderEntry{FromWide(d.cAlternateFileName, short_len), kind});
    } while (::FindNextFileW(h, &d));
  } catch (const std::exception&) {
    ::FindClose(h);
    out->clear();
    return false;
  }
  const DWORD last = ::GetLastError();
  ::FindClose(h);
  if (last != ERROR_NO_MORE_FILES) {
    out->clear();
    return false;
  }
  return true;
}

bool Win32ShellPaths::PathFileExists(TextView path) {
  return Usable(path) && ::PathFileExistsW(Wide(path).c_str()) != FALSE;
}

std::vector<Text> Win32ShellPaths::LogicalDriveStrings() {
  constexpr DWORD kChars = 2048;
  std::vector<wchar_t> buf(kChars + 1, L'\0');
  const DWORD n = ::GetLogicalDriveStringsW(kChars, buf.data());
  std::vector<Text> roots;
  if (n == 0 || n > kChars) return roots;
  for (DWORD i = 0; i < n;) {
    const std::size_t len = wcsnlen(buf.data() + i, n - i);
    if (len == 0) break;
    roots.push_back(FromWide(buf.data() + i, len));
    i += static_cast<DWORD>(len) + 1;
  }
  return roots;
}

std::uint32_t Win32ShellPaths::DriveType(TextView root) {
  if (!Usable(root)) return drive_type::kNoRootDir;
  return ::GetDriveTypeW(Wide(root).c_str());
}

ExpandResult Win32ShellPaths::ExpandEnvironmentStrings(TextView text, std::uint32_t capacity, Text* out) {
  out->clear();
  text = UpToNul(text);
  if (text.size() > kMaxShellTextChars) return {};
  // Longer results come back cut short; nothing beyond the limit is trusted.
  const DWORD size = static_cast<DWORD>(capacity < kMaxShellTextChars + 1 ? capacity : kMaxShellTextChars + 1);
  std::vector<wchar_t> buf(size + 1, L'\0');
  const DWORD n = ::ExpandEnvironmentStringsW(Wide(text).c_str(), size ? buf.data() : nullptr, size);
  if (n == 0 || n > kMaxShellTextChars) return {};
  if (n > size) return {false, n};
  // n counts the terminator.
  *out = FromWide(buf.data(), wcsnlen(buf.data(), n - 1));
  return {true, n};
}

bool Win32ShellPaths::PathFindOnPath(Text* name) {
  if (name->find(u'\0') != Text::npos || name->size() >= kMaxPathChars || IsBlankName(*name)) return false;
  wchar_t buf[MAX_PATH + 1] = {};
  std::copy(name->begin(), name->end(), buf);
  if (!::PathFindOnPathW(buf, nullptr)) return false;
  *name = FromWide(buf, wcsnlen(buf, MAX_PATH));
  return true;
}

bool Win32ShellPaths::SearchPath(TextView name, Text* found) {
  found->clear();
  if (!Usable(name) || IsBlankName(name)) return false;
  const std::wstring w = Wide(name);
  std::vector<wchar_t> buf(MAX_PATH + 1, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD n = ::SearchPathW(nullptr, w.c_str(), nullptr, static_cast<DWORD>(buf.size()), buf.data(), nullptr);
    if (n == 0) return false;
    if (n < buf.size()) {
      *found = FromWide(buf.data(), n);
      return true;
    }
    // Too small: n is the size needed, terminator included.
    if (n > kMaxShellTextChars + 1) return false;
    buf.assign(n + 1, L'\0');
  }
  return false;
}

bool Win32ShellPaths::PathSearchAndQualify(TextView path, Text* out) {
  out->clear();
  if (!Usable(path)) return false;
  wchar_t buf[MAX_PATH + 1] = {};
  if (!::PathSearchAndQualifyW(Wide(path).c_str(), buf, MAX_PATH)) return false;
  const std::size_t len = wcsnlen(buf, MAX_PATH);
  if (len == 0 || len >= MAX_PATH) return false;
  *out = FromWide(buf, len);
  return true;
}

Text Win32ShellPaths::PathGetArgs(TextView text) {
  const std::wstring w = Wide(UpToNul(text));
  const wchar_t* args = ::PathGetArgsW(w.c_str());
  return args ? FromWide(args, wcslen(args)) : Text();
}

bool Win32ShellPaths::PathIsNetworkPath(TextView path) {
  return ::PathIsNetworkPathW(Wide(UpToNul(path)).c_str()) != FALSE;
}

bool Win32ShellPaths::PathIsFileSpec(TextView path) {
  return ::PathIsFileSpecW(Wide(UpToNul(path)).c_str()) != FALSE;
}

bool Win32ShellPaths::IsFileProtected(TextView path) {
  using Fn = BOOL(WINAPI*)(HANDLE, LPCWSTR);
  static const Fn fn = [] {
    HMODULE sfc = ::LoadLibraryW(L"sfc.dll");
    return sfc ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(sfc, "SfcIsFileProtected"))) : nullptr;
  }();
  if (!fn || !Usable(path) || path.empty()) return false;
  return fn(nullptr, Wide(path).c_str()) != FALSE;
}

}  // namespace hs
