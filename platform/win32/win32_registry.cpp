#include "platform/win32/win32_registry.h"

#include <windows.h>
#include <shlwapi.h>

namespace hs {

namespace {

HKEY H(RegKey k) { return reinterpret_cast<HKEY>(k); }

// NUL-terminated copy (views are not terminated).
std::wstring W(TextView t) { return std::wstring(t.begin(), t.end()); }

Text T(const wchar_t* s, std::size_t n) { return Text(reinterpret_cast<const char16_t*>(s), n); }

using RegDeleteKeyExWFn = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);

RegDeleteKeyExWFn DeleteKeyExFn() {
  static RegDeleteKeyExWFn fn = reinterpret_cast<RegDeleteKeyExWFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"advapi32.dll"), "RegDeleteKeyExW")));
  return fn;
}

bool EnablePrivilege(const wchar_t* name, bool enable) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
  TOKEN_PRIVILEGES tp{};
  tp.PrivilegeCount = 1;
  bool ok = LookupPrivilegeValueW(nullptr, name, &tp.Privileges[0].Luid) != 0;
  if (ok) {
    tp.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    ok = AdjustTokenPrivileges(token, FALSE, &tp, sizeof(tp), nullptr, nullptr) && GetLastError() == ERROR_SUCCESS;
  }
  CloseHandle(token);
  return ok;
}

}  // namespace

WinError Win32Registry::Open(RegKey parent, TextView subkey, std::uint32_t sam, RegKey* out) {
  HKEY k = nullptr;
  LONG r = RegOpenKeyExW(H(parent), W(subkey).c_str(), 0, sam, &k);
  *out = r == ERROR_SUCCESS ? reinterpret_cast<RegKey>(k) : 0;
  return static_cast<WinError>(r);
}

WinError Win32Registry::Create(RegKey parent, TextView subkey, std::uint32_t sam, RegKey* out, bool* created) {
  HKEY k = nullptr;
  DWORD disp = 0;
  LONG r = RegCreateKeyExW(H(parent), W(subkey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, sam, nullptr, &k,
                           &disp);
  *out = r == ERROR_SUCCESS ? reinterpret_cast<RegKey>(k) : 0;
  if (created) *created = r == ERROR_SUCCESS && disp == REG_CREATED_NEW_KEY;
  return static_cast<WinError>(r);
}

void Win32Registry::Close(RegKey key) {
  if (key && !IsPredefinedKey(key)) RegCloseKey(H(key));
}

WinError Win32Registry::QueryInfo(RegKey key, RegKeyInfo* info) {
  DWORD subkeys = 0, max_subkey = 0, values = 0, max_name = 0, max_data = 0;
  FILETIME ft{};
  LONG r = RegQueryInfoKeyW(H(key), nullptr, nullptr, nullptr, &subkeys, &max_subkey, nullptr, &values, &max_name,
                            &max_data, nullptr, &ft);
  if (r == ERROR_SUCCESS) {
    info->subkeys = subkeys;
    info->max_subkey_name = max_subkey;
    info->values = values;
    info->max_value_name = max_name;
    info->max_value_data = max_data;
    info->last_write = (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  }
  return static_cast<WinError>(r);
}

WinError Win32Registry::EnumKey(RegKey key, std::uint32_t index, std::uint32_t name_capacity, Text* name) {
  std::wstring buf(name_capacity ? name_capacity : 1, L'\0');
  DWORD len = name_capacity;
  LONG r = RegEnumKeyExW(H(key), index, buf.data(), &len, nullptr, nullptr, nullptr, nullptr);
  if (r == ERROR_SUCCESS) *name = T(buf.data(), len);
  return static_cast<WinError>(r);
}

WinError Win32Registry::EnumValue(RegKey key, std::uint32_t index, std::uint32_t name_capacity,
                                  std::uint32_t data_capacity, Text* name, RegValue* value) {
  std::wstring buf(name_capacity ? name_capacity : 1, L'\0');
  DWORD len = name_capacity;
  DWORD type = 0;
  LONG r;
  if (value) {
    std::vector<std::uint8_t> data(data_capacity ? data_capacity : 1);
    DWORD size = data_capacity;
    r = RegEnumValueW(H(key), index, buf.data(), &len, nullptr, &type, data.data(), &size);
    if (r == ERROR_SUCCESS) {
      data.resize(size);
      value->type = type;
      value->data = std::move(data);
    }
  } else {
    r = RegEnumValueW(H(key), index, buf.data(), &len, nullptr, &type, nullptr, nullptr);
  }
  if (r == ERROR_SUCCESS) *name = T(buf.data(), len);
  return static_cast<WinError>(r);
}

WinError Win32Registry::QueryValue(RegKey key, TextView name, RegValue* value) {
  std::wstring n = W(name);
  DWORD type = 0, size = 0;
  LONG r = RegQueryValueExW(H(key), n.c_str(), nullptr, &type, nullptr, &size);
  if (r != ERROR_SUCCESS || !value) return static_cast<WinError>(r);
  // The value may grow between the two calls: retry a few times.
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::vector<std::uint8_t> data(size ? size : 1);
    DWORD got = size;
    r = RegQueryValueExW(H(key), n.c_str(), nullptr, &type, data.data(), &got);
    if (r == ERROR_SUCCESS) {
      data.resize(got);
      value->type = type;
      value->data = std::move(data);
      return err::kSuccess;
    }
    if (r != ERROR_MORE_DATA) break;
    size = got;
  }
  return static_cast<WinError>(r);
}

WinError Win32Registry::SetValue(RegKey key, TextView name, std::uint32_t type,
                                 const std::vector<std::uint8_t>& data) {
  LONG r = RegSetValueExW(H(key), W(name).c_str(), 0, type, data.empty() ? nullptr : data.data(),
                          static_cast<DWORD>(data.size()));
  return static_cast<WinError>(r);
}

WinError Win32Registry::DeleteValue(RegKey key, TextView name) {
  return static_cast<WinError>(RegDeleteValueW(H(key), W(name).c_str()));
}

WinError Win32Registry::DeleteKey(RegKey parent, TextView subkey, std::uint32_t view_sam) {
  if (auto fn = DeleteKeyExFn()) return static_cast<WinError>(fn(H(parent), W(subkey).c_str(), view_sam, 0));
  return static_cast<WinError>(RegDeleteKeyW(H(parent), W(subkey).c_str()));
}

namespace {

// Depth-first delete that names the view on every open and delete.
LONG DeleteTreeInView(HKEY parent, const std::wstring& subkey, REGSAM view, int depth) {
  if (depth > 512) return ERROR_INVALID_PARAMETER;
  HKEY k = nullptr;
  LONG r = RegOpenKeyExW(parent, subkey.c_str(), 0, KEY_READ | DELETE | view, &k);
  if (r != ERROR_SUCCESS) return r;
  wchar_t name[256];
  for (;;) {
    DWORD len = 256;
    LONG e = RegEnumKeyExW(k, 0, name, &len, nullptr, nullptr, nullptr, nullptr);
    if (e == ERROR_NO_MORE_ITEMS) break;
    if (e != ERROR_SUCCESS) { r = e; break; }
    e = DeleteTreeInView(k, std::wstring(name, len), view, depth + 1);
    if (e != ERROR_SUCCESS) { r = e; break; }
  }
  RegCloseKey(k);
  if (r != ERROR_SUCCESS) return r;
  if (auto fn = DeleteKeyExFn()) return fn(parent, subkey.c_str(), view, 0);
  return RegDeleteKeyW(parent, subkey.c_str());
}

}  // namespace

WinError Win32Registry::DeleteTree(RegKey parent, TextView subkey, std::uint32_t view_sam) {
  if ((view_sam & KEY_WOW64_RES) == 0) return static_cast<WinError>(SHDeleteKeyW(H(parent), W(subkey).c_str()));
  return static_cast<WinError>(DeleteTreeInView(H(parent), W(subkey), view_sam & KEY_WOW64_RES, 0));
}

WinError Win32Registry::Flush(RegKey key) { return static_cast<WinError>(RegFlushKey(H(key))); }

WinError Win32Registry::SaveKey(RegKey key, TextView file) {
  bool had = EnablePrivilege(L"SeBackupPrivilege", true);
  LONG r = RegSaveKeyW(H(key), W(file).c_str(), nullptr);
  if (had) EnablePrivilege(L"SeBackupPrivilege", false);
  return static_cast<WinError>(r);
}

}  // namespace hs
