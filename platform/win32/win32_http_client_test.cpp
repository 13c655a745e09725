// The WinHTTP client against a server on 127.0.0.1: whole bodies, the status
// of a failure, a body cut short of its Content-Length, a too large one, and
// a closed port.
#include "platform/win32/win32_http_client.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "testing/loopback_http_server.h"

namespace hs {
namespace {

using testing::LoopbackHttpServer;
std::string Ok(const std::string& body) { return LoopbackHttpServer::Ok(body); }

TEST(Win32HttpClient, FetchesWholeBodiesOnly) {
  LoopbackHttpServer server({{"/whole?v=1.2", Ok("[Application]\r\nPROGRAM_VERSION=2.1\r\n")},
                             {"/gone", "HTTP/1.1 404 Not Found\r\nContent-Length: 8\r\nConnection: close\r\n\r\nnot here"},
                             {"/cut", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\n0123456789"},
                             {"/big", Ok(std::string(5000, 'x'))}});
  ASSERT_GT(server.port(), 0);
  const auto url = [&](const char* path) { return FromUtf8(server.Url(path)); };
  Win32HttpClient client;
  std::vector<std::uint8_t> body;
  FetchResult r = client.Fetch(url("/whole?v=1.2"), 1000, &body);
  EXPECT_EQ(FetchStatus::kOk, r.outcome);
  EXPECT_EQ("[Application]\r\nPROGRAM_VERSION=2.1\r\n", std::string(body.begin(), body.end()));

  r = client.Fetch(url("/gone"), 1000, &body);
  EXPECT_EQ(FetchStatus::kHttpError, r.outcome) << "a 404 is no answer";
  EXPECT_EQ(404, r.status);
  EXPECT_TRUE(body.empty());

  r = client.Fetch(url("/cut"), 1000, &body);
  EXPECT_EQ(FetchStatus::kTruncated, r.outcome);
  EXPECT_TRUE(body.empty());

  r = client.Fetch(url("/big"), 4096, &body);
  EXPECT_EQ(FetchStatus::kTooLarge, r.outcome);
  EXPECT_TRUE(body.empty());
}

TEST(Win32HttpClient, AClosedPortIsNoConnection) {
  int port = 0;
  {
    LoopbackHttpServer gone;
    port = gone.port();
  }
  ASSERT_GT(port, 0);
  Win32HttpClient client;
  std::vector<std::uint8_t> body;
  EXPECT_EQ(FetchStatus::kNoConnection,
            client.Fetch(FromUtf8("http://127.0.0.1:" + std::to_string(port) + "/x"), 1000, &body).outcome);
}

}  // namespace
}  // namespace hs
