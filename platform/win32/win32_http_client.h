// HttpClient over WinHTTP (see platform/http_client.h); Connected() asks
// WinINet's InternetGetConnectedState.
#pragma once

#include "platform/http_client.h"

namespace hs {

class Win32HttpClient final : public HttpClient {
 public:
  bool Connected() override;
  [[nodiscard]] FetchResult Fetch(TextView url, std::uint64_t max_bytes, std::vector<std::uint8_t>* body) override;
};

}  // namespace hs
