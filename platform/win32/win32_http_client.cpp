#include "platform/win32/win32_http_client.h"

#include <windows.h>
#include <winhttp.h>

#include <exception>
#include <string>

namespace hs {

namespace {

constexpr int kTimeoutMs = 60000;

class Handle {
 public:
  explicit Handle(HINTERNET h = nullptr) : h_(h) {}
  ~Handle() {
    if (h_) WinHttpCloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HINTERNET get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  HINTERNET h_;
};

FetchStatus TransportFailure(DWORD error) {
  switch (error) {
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
    case ERROR_WINHTTP_CANNOT_CONNECT:
    case ERROR_WINHTTP_CONNECTION_ERROR: return FetchStatus::kNoConnection;
    default: return FetchStatus::kFailed;
  }
}

FetchResult FetchOnce(const std::wstring& url, std::uint64_t max_bytes, std::vector<std::uint8_t>* body) {
  FetchResult result;
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof(parts);
  wchar_t host[256] = {};
  std::wstring path(url.size() + 1, L'\0');
  parts.lpszHostName = host;
  parts.dwHostNameLength = 256;
  parts.lpszUrlPath = path.data();
  parts.dwUrlPathLength = static_cast<DWORD>(path.size());
  std::wstring extra(url.size() + 1, L'\0');
  parts.lpszExtraInfo = extra.data();
  parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
  if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return result;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return result;
  const std::wstring object = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                              std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);

  Handle session(WinHttpOpen(L"HiveSweep", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                             WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return result;
  WinHttpSetTimeouts(session.get(), kTimeoutMs, kTimeoutMs, kTimeoutMs, kTimeoutMs);
  Handle connection(WinHttpConnect(session.get(), std::wstring(host, parts.dwHostNameLength).c_str(), parts.nPort, 0));
  if (!connection) return result;
  Handle request(WinHttpOpenRequest(connection.get(), L"GET", object.c_str(), nullptr, WINHTTP_NO_REFERER,
                                    WINHTTP_DEFAULT_ACCEPT_TYPES,
                                    parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
  if (!request) return result;
  DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
  WinHttpSetOption(request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof(policy));
  DWORD redirects = kMaxHttpRedirects;
  WinHttpSetOption(request.get(), WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &redirects, sizeof(redirects));
  if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !WinHttpReceiveResponse(request.get(), nullptr)) {
    result.outcome = TransportFailure(GetLastError());
    return result;
  }
  DWORD status = 0, size = sizeof(status);
  WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                      &status, &size, WINHTTP_NO_HEADER_INDEX);
  result.status = static_cast<int>(status);
  if (status != 200) {
    result.outcome = FetchStatus::kHttpError;
    return result;
  }
  wchar_t length_text[32] = {};
  DWORD length_size = sizeof(length_text);
  const bool has_length = WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX,
                                              length_text, &length_size, WINHTTP_NO_HEADER_INDEX) != FALSE;
  const std::uint64_t announced = has_length ? _wcstoui64(length_text, nullptr, 10) : 0;
  if (has_length && announced > max_bytes) {
    result.outcome = FetchStatus::kTooLarge;
    return result;
  }
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request.get(), &available)) {
      result.outcome = FetchStatus::kTruncated;
      return result;
    }
    if (available == 0) break;
    if (body->size() + available > max_bytes) {
      result.outcome = FetchStatus::kTooLarge;
      return result;
    }
    const std::size_t at = body->size();
    body->resize(at + available);
    DWORD read = 0;
    if (!WinHttpReadData(request.get(), body->data() + at, available, &read)) {
      result.outcome = FetchStatus::kTruncated;
      return result;
    }
    body->resize(at + read);
    if (read == 0) break;
  }
  result.outcome = has_length && body->size() != announced ? FetchStatus::kTruncated : FetchStatus::kOk;
  return result;
}

}  // namespace

FetchResult Win32HttpClient::Fetch(TextView url, std::uint64_t max_bytes, std::vector<std::uint8_t>* body) {
  body->clear();
  try {
    FetchResult result = FetchOnce(std::wstring(url.begin(), url.end()), max_bytes, body);
    if (result.outcome != FetchStatus::kOk) body->clear();
    return result;
  } catch (const std::exception&) {
    body->clear();
    return {};
  }
}

}  // namespace hs
