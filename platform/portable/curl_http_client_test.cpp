// The libcurl client against a server on 127.0.0.1: whole bodies only, the
// status of a failure, bodies cut short or too large, and a closed port.
#include "platform/portable/curl_http_client.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace hs {
namespace {

class CurlHttpClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_.Get("/whole", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("[Application]\r\nPROGRAM_VERSION=2.1\r\n", "text/plain");
    });
    server_.Get("/moved", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/whole"); });
    server_.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
      res.status = 404;
      res.set_content("not here", "text/plain");
    });
    // Announces 100 bytes and sends 10 before the connection ends.
    server_.Get("/cut", [](const httplib::Request&, httplib::Response& res) {
      res.set_content_provider(100, "application/octet-stream",
                               [](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                 if (offset > 0) return false;
                                 return sink.write("0123456789", 10);
                               });
    });
    server_.Get("/big", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string(5000, 'x'), "application/octet-stream");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port_, 0);
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  void TearDown() override {
    server_.stop();
    if (thread_.joinable()) thread_.join();
  }
  Text Url(const char* path) { return FromUtf8("http://127.0.0.1:" + std::to_string(port_) + path); }

  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
  CurlHttpClient client_;
};

TEST_F(CurlHttpClientTest, WholeBodiesAndRedirects) {
  std::vector<std::uint8_t> body;
  for (const char* path : {"/whole", "/moved"}) {
    const FetchResult r = client_.Fetch(Url(path), 1000, &body);
    EXPECT_EQ(FetchStatus::kOk, r.outcome) << path;
    EXPECT_EQ(200, r.status);
    EXPECT_EQ("[Application]\r\nPROGRAM_VERSION=2.1\r\n", std::string(body.begin(), body.end()));
  }
  EXPECT_TRUE(client_.Connected());
}

TEST_F(CurlHttpClientTest, FailuresLeaveNoBody) {
  std::vector<std::uint8_t> body = {1, 2, 3};
  FetchResult r = client_.Fetch(Url("/missing"), 1000, &body);
  EXPECT_EQ(FetchStatus::kHttpError, r.outcome);
  EXPECT_EQ(404, r.status);
  EXPECT_TRUE(body.empty()) << "an error page is not a body";

  r = client_.Fetch(Url("/cut"), 1000, &body);
  EXPECT_EQ(FetchStatus::kTruncated, r.outcome);
  EXPECT_TRUE(body.empty());

  r = client_.Fetch(Url("/big"), 4096, &body);
  EXPECT_EQ(FetchStatus::kTooLarge, r.outcome);
  EXPECT_TRUE(body.empty());

  EXPECT_EQ(FetchStatus::kFailed, client_.Fetch(u"file:///etc/passwd", 1000, &body).outcome)
      << "only http and https";
}

// A loopback port that was free a moment ago: bound, then closed unheard.
int FreePort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t n = sizeof(a);
  const bool ok = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0 &&
                  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n) == 0;
  ::close(s);
  return ok ? ntohs(a.sin_port) : 0;
}

TEST(CurlHttpClient, AClosedPortIsNoConnection) {
  const int port = FreePort();
  ASSERT_GT(port, 0);
  CurlHttpClient client;
  std::vector<std::uint8_t> body;
  const FetchResult r = client.Fetch(FromUtf8("http://127.0.0.1:" + std::to_string(port) + "/x"), 1000, &body);
  EXPECT_EQ(FetchStatus::kNoConnection, r.outcome);
}

}  // namespace
}  // namespace hs
