#include "platform/portable/curl_http_client.h"

#include <curl/curl.h>

#include <mutex>

namespace hs {

namespace {

constexpr long kConnectTimeoutSeconds = 15;
constexpr long kLowSpeedSeconds = 60;  // fail when under 1 byte/s this long

struct Sink {
  std::vector<std::uint8_t>* body;
  std::uint64_t max_bytes;
  bool too_large = false;
};

std::size_t Write(char* data, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  const std::size_t n = size * count;
  if (sink->body->size() + n > sink->max_bytes) {
    sink->too_large = true;
    return 0;  // aborts the transfer
  }
  sink->body->insert(sink->body->end(), data, data + n);
  return n;
}

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

CurlHttpClient::CurlHttpClient() { GlobalInit(); }
CurlHttpClient::~CurlHttpClient() = default;

FetchResult CurlHttpClient::Fetch(TextView url, std::uint64_t max_bytes, std::vector<std::uint8_t>* body) {
  body->clear();
  FetchResult result;
  CURL* curl = curl_easy_init();
  if (!curl) return result;
  const std::string address = ToUtf8(url);
  Sink sink{body, max_bytes};
  curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, static_cast<long>(kMaxHttpRedirects));
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kLowSpeedSeconds);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Write);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
  const CURLcode code = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(curl);
  result.status = static_cast<int>(status);
  if (sink.too_large) {
    result.outcome = FetchStatus::kTooLarge;
  } else if (code == CURLE_COULDNT_RESOLVE_HOST || code == CURLE_COULDNT_CONNECT ||
             code == CURLE_COULDNT_RESOLVE_PROXY) {
    result.outcome = FetchStatus::kNoConnection;
  } else if (code == CURLE_PARTIAL_FILE) {
    result.outcome = FetchStatus::kTruncated;
  } else if (code != CURLE_OK) {
    result.outcome = FetchStatus::kFailed;
  } else if (status != 200) {
    result.outcome = FetchStatus::kHttpError;
  } else {
    result.outcome = FetchStatus::kOk;
  }
  if (result.outcome != FetchStatus::kOk) body->clear();
  return result;
}

}  // namespace hs
