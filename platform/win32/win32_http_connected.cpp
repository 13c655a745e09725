// Win32HttpClient::Connected, apart from the WinHTTP code: <wininet.h> and
// <winhttp.h> cannot share a translation unit.
#include <windows.h>
#include <wininet.h>

#include "platform/win32/win32_http_client.h"

namespace hs {

bool Win32HttpClient::Connected() {
  DWORD flags = 0;
  return InternetGetConnectedState(&flags, 0) != FALSE;
}

}  // namespace hs
