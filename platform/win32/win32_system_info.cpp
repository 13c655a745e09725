#include "platform/win32/win32_system_info.h"

#include <windows.h>

#include <vector>

namespace hs {

int Win32SystemInfo::MajorVersion() {
  OSVERSIONINFOW v{};
  v.dwOSVersionInfoSize = sizeof(v);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExW(&v)) return 5;
#pragma GCC diagnostic pop
  return static_cast<int>(v.dwMajorVersion);
}

bool Win32SystemInfo::IsAdministrator() {
  // Access check of the (impersonation) token against a descriptor whose
  // only entry grants the Administrators group access.
  bool result = false;
  if (!ImpersonateSelf(SecurityImpersonation)) return false;
  HANDLE token = nullptr;
  PSID admins = nullptr;
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, FALSE, &token) &&
      AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                               &admins)) {
    const DWORD kRead = 1;
    DWORD acl_size = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(admins) - sizeof(DWORD);
    std::vector<BYTE> acl_buf(acl_size);
    PACL acl = reinterpret_cast<PACL>(acl_buf.data());
    SECURITY_DESCRIPTOR sd;
    if (InitializeAcl(acl, acl_size, ACL_REVISION2) && AddAccessAllowedAce(acl, ACL_REVISION2, kRead, admins) &&
        InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE)) {
      SetSecurityDescriptorGroup(&sd, admins, FALSE);
      SetSecurityDescriptorOwner(&sd, admins, FALSE);
      GENERIC_MAPPING mapping{kRead, 0, 0, kRead};
      PRIVILEGE_SET ps;
      DWORD ps_size = sizeof(ps);
      DWORD granted = 0;
      BOOL status = FALSE;
      if (AccessCheck(&sd, token, kRead, &mapping, &ps, &ps_size, &granted, &status)) result = status != FALSE;
    }
  }
  if (admins) FreeSid(admins);
  if (token) CloseHandle(token);
  RevertToSelf();
  return result;
}

Text Win32SystemInfo::SystemDirectory() {
  wchar_t buf[MAX_PATH + 1];
  UINT n = GetSystemDirectoryW(buf, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return {};
  return Text(reinterpret_cast<const char16_t*>(buf), n);
}

Text Win32SystemInfo::SystemWow64Directory() {
  using Fn = UINT(WINAPI*)(LPWSTR, UINT);
  static Fn fn = reinterpret_cast<Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetSystemWow64DirectoryW")));
  if (!fn) return {};
  wchar_t buf[MAX_PATH + 1];
  UINT n = fn(buf, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return {};
  return Text(reinterpret_cast<const char16_t*>(buf), n);
}

}  // namespace hs
