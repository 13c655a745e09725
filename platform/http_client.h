// Fetching a file from the web (the update check's answer and installer).
// Adapters: Win32HttpClient (WinHTTP), CurlHttpClient (libcurl, portable).
// Both follow a few redirects, accept only http and https, and never hand
// over a body that is cut short or larger than asked.
// One call at a time per object; any thread.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/text.h"
#include "platform/win_error.h"

namespace hs {

// Redirects followed before a fetch fails.
inline constexpr int kMaxHttpRedirects = 5;

enum class FetchStatus {
  kOk,          // status 200 and the whole body
  kNoConnection,  // the host could not be reached (name, route, refused)
  kHttpError,   // another status; `status` says which
  kTruncated,   // the connection ended before the announced length
  kTooLarge,    // more than max_bytes
  kFailed,      // anything else (bad address, TLS, timeout)
};

struct FetchResult {
  FetchStatus outcome = FetchStatus::kFailed;
  int status = 0;  // the last HTTP status, 0 when none arrived
};

class HttpClient {
 public:
  virtual ~HttpClient() = default;
  // Whether the system has a network route at all (no probe of the host).
  virtual bool Connected() = 0;
  // GET `url`. *body holds the whole body only with kOk; otherwise it is empty.
  [[nodiscard]] virtual FetchResult Fetch(TextView url, std::uint64_t max_bytes, std::vector<std::uint8_t>* body) = 0;
};

}  // namespace hs
