#include "platform/win32/win32_ini_reader.h"

#include <windows.h>

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

namespace hs {

namespace {

// Largest buffer handed to the function; values are never near this long.
constexpr std::size_t kMaxCapacity = 1u << 20;

std::wstring Wide(TextView t) {
  std::size_t nul = t.find(u'\0');
  if (nul != TextView::npos) t = t.substr(0, nul);
  return std::wstring(t.begin(), t.end());
}

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// A relative name would be looked up in the Windows folder.
bool IsAbsolute(TextView p) {
  bool drive = p.size() >= 3 && p[1] == u':' && IsSeparator(p[2]) &&
               ((p[0] >= u'A' && p[0] <= u'Z') || (p[0] >= u'a' && p[0] <= u'z'));
  bool unc = p.size() >= 3 && IsSeparator(p[0]) && IsSeparator(p[1]) && !IsSeparator(p[2]);
  return drive || unc;
}

}  // namespace

Text Win32IniReader::ReadString(TextView path, TextView section, TextView key, TextView default_value,
                                std::size_t capacity) {
  if (capacity == 0) return {};
  try {
    if (capacity > kMaxCapacity) capacity = kMaxCapacity;
    const std::wstring def = Wide(default_value);
    if (!IsAbsolute(path) || path.find(u'\0') != TextView::npos) {
      // As the function treats a default: trailing spaces go.
      std::size_t end = def.find_last_not_of(L' ');
      std::wstring d = end == std::wstring::npos ? std::wstring() : def.substr(0, end + 1);
      return Text(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(std::min(d.size(), capacity - 1)));
    }
    const std::wstring file = Wide(path);
    std::vector<wchar_t> buf(capacity, L'\0');
    DWORD n = ::GetPrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), def.c_str(), buf.data(),
                                         static_cast<DWORD>(capacity), file.c_str());
    if (n >= capacity) n = static_cast<DWORD>(capacity - 1);
    return Text(buf.begin(), buf.begin() + n);
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace hs
