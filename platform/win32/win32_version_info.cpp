#include "platform/win32/win32_version_info.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace hs {

Text ProgramFileVersion() {
  std::wstring path(32768, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return FileVersionOf(Text(path.begin(), path.end()));
}

Text FileVersionOf(TextView file) {
  const std::wstring path(file.begin(), file.end());
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<unsigned char> block(size);
  if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return {};
  struct Translation {
    WORD language;
    WORD code_page;
  };
  Translation* translation = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                        &length) ||
      length < sizeof(Translation))
    return {};
  wchar_t query[64];
  std::swprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\FileVersion", translation->language,
                translation->code_page);
  wchar_t* text = nullptr;
  if (!::VerQueryValueW(block.data(), query, reinterpret_cast<void**>(&text), &length) || !text) return {};
  return Text(text, text + wcsnlen(text, length));
}

}  // namespace hs
