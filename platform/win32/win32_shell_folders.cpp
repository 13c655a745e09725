#include "platform/win32/win32_shell_folders.h"

#include <windows.h>
#include <shlobj.h>

namespace hs {

namespace {

Text FolderPath(int csidl) {
  wchar_t buf[MAX_PATH + 1] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buf))) return Text();
  Text out;
  for (const wchar_t* p = buf; *p; ++p) out.push_back(static_cast<char16_t>(*p));
  // A drive root comes back as "C:\"; other folders have no trailing separator.
  if (out.size() > 3 && out.back() == u'\\') out.pop_back();
  return out;
}

}  // namespace

Text Win32ShellFolders::AppDataFolder() { return FolderPath(CSIDL_APPDATA); }

Text Win32ShellFolders::SpecialFolderPath(int csidl) {
  // Flag bits (CSIDL_FLAG_CREATE and others) would change what the call does.
  if (csidl < 0 || csidl > 0xFF) return Text();
  return FolderPath(csidl);
}

}  // namespace hs
