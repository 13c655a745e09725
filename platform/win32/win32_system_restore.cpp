#include "platform/win32/win32_system_restore.h"

#include <windows.h>
#include <srrestoreptapi.h>

#include <algorithm>
#include <string>

namespace hs {
namespace {

// The system header packs both structures to 1 byte.
static_assert(sizeof(RESTOREPOINTINFOW) == 4 + 4 + 8 + 2 * MAX_DESC_W);
static_assert(sizeof(STATEMGRSTATUS) == 4 + 8);

using SetRestorePointFn = BOOL(WINAPI*)(PRESTOREPOINTINFOW, PSTATEMGRSTATUS);

// The real version: RtlGetVersion is not subject to the compatibility shims
// that make GetVersionExW report an older system.
bool ReadVersion(unsigned* major, unsigned* minor) {
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  OSVERSIONINFOW v{};
  v.dwOSVersionInfoSize = sizeof(v);
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto rtl = ntdll ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                   : nullptr;
  if (!(rtl && rtl(&v) == 0)) {
    v = OSVERSIONINFOW{};
    v.dwOSVersionInfoSize = sizeof(v);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&v)) return false;
#pragma GCC diagnostic pop
  }
  *major = v.dwMajorVersion;
  *minor = v.dwMinorVersion;
  return true;
}

// Loaded once per process (a function-local static is initialised once, also
// under concurrent first calls). The library is named by its full path in the
// system folder so that no copy in the program's folder is loaded.
SetRestorePointFn LoadSetRestorePoint() {
  static const SetRestorePointFn fn = []() -> SetRestorePointFn {
    try {
      unsigned major = 0, minor = 0;
      if (!ReadVersion(&major, &minor) || !SystemRestoreVersion(major, minor)) return nullptr;
      wchar_t folder[MAX_PATH + 1] = {};
      const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
      if (n == 0 || n >= MAX_PATH) return nullptr;
      const std::wstring dll = std::wstring(folder, n) + L"\\srclient.dll";
      HMODULE module = LoadLibraryW(dll.c_str());
      if (!module) return nullptr;
      return reinterpret_cast<SetRestorePointFn>(reinterpret_cast<void*>(GetProcAddress(module, "SRSetRestorePointW")));
    } catch (...) {
      return nullptr;
    }
  }();
  return fn;
}

}  // namespace

bool SystemRestoreVersion(unsigned major, unsigned minor) {
  if (major == 4) return minor >= 90;
  if (major == 5) return minor != 0;
  return major > 5;
}

bool Win32SystemRestore::CreatePoint(TextView description) {
  try {
    const SetRestorePointFn set = LoadSetRestorePoint();
    if (!set) return false;
    RESTOREPOINTINFOW info{};
    info.dwEventType = BEGIN_SYSTEM_CHANGE;
    info.dwRestorePtType = APPLICATION_INSTALL;
    info.llSequenceNumber = 0;
    std::size_t n = std::min(description.size(), kMaxRestorePointDescription);
    // A cut between the halves of a surrogate pair drops the first half too.
    if (n < description.size() && n > 0 && description[n - 1] >= 0xD800 && description[n - 1] <= 0xDBFF) --n;
    std::copy_n(description.begin(), n, info.szDescription);
    info.szDescription[n] = L'\0';
    STATEMGRSTATUS status{};
    // The BOOL answers: a stub may leave status 0 (success) while failing.
    if (!set(&info, &status)) return false;
    info.dwEventType = END_SYSTEM_CHANGE;
    info.llSequenceNumber = status.llSequenceNumber;
    STATEMGRSTATUS end_status{};
    return set(&info, &end_status) != FALSE;
  } catch (...) {
    return false;
  }
}

}  // namespace hs
