#include "platform/win32/win32_key_protection.h"

#include <windows.h>

#include <string>

namespace hs {

bool Win32KeyProtection::IsKeyProtected(RegKey root, TextView subkey, std::uint32_t sam) {
  using Fn = BOOL(WINAPI*)(HKEY, LPCWSTR, REGSAM);
  static Fn fn = [] {
    HMODULE sfc = LoadLibraryW(L"sfc.dll");
    return sfc ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(sfc, "SfcIsKeyProtected"))) : nullptr;
  }();
  if (!fn) return false;
  std::wstring s(subkey.begin(), subkey.end());
  return fn(reinterpret_cast<HKEY>(root), s.c_str(), sam) != FALSE;
}

}  // namespace hs
