// HttpClient over libcurl (see platform/http_client.h). Connected() is
// always true: a portable machine has no connection state to ask.
#pragma once

#include "platform/http_client.h"

namespace hs {

class CurlHttpClient final : public HttpClient {
 public:
  CurlHttpClient();
  ~CurlHttpClient() override;
  CurlHttpClient(const CurlHttpClient&) = delete;
  CurlHttpClient& operator=(const CurlHttpClient&) = delete;

  bool Connected() override { return true; }
  [[nodiscard]] FetchResult Fetch(TextView url, std::uint64_t max_bytes, std::vector<std::uint8_t>* body) override;
};

}  // namespace hs
