#include "platform/win32/win32_wow64.h"

#include <windows.h>

namespace hs {

namespace {
template <typename Fn>
Fn Kernel32(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}
}  // namespace

bool Win32Wow64::IsWow64Process() {
  using Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
  static Fn fn = Kernel32<Fn>("IsWow64Process");
  BOOL wow = FALSE;
  return fn && fn(GetCurrentProcess(), &wow) && wow;
}

bool Win32Wow64::DisableFsRedirection(void** cookie) {
  using Fn = BOOL(WINAPI*)(PVOID*);
  static Fn fn = Kernel32<Fn>("Wow64DisableWow64FsRedirection");
  return fn && IsWow64Process() && fn(cookie);
}

bool Win32Wow64::RevertFsRedirection(void* cookie) {
  using Fn = BOOL(WINAPI*)(PVOID);
  static Fn fn = Kernel32<Fn>("Wow64RevertWow64FsRedirection");
  return fn && IsWow64Process() && fn(cookie);
}

}  // namespace hs
