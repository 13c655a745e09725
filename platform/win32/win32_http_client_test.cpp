// The WinHTTP client against a minimal server on 127.0.0.1 (a thread of this
// test, over Winsock): whole bodies, the status of a failure, a body cut
// short of its Content-Length, a too large one, and a closed port.
#include "platform/win32/win32_http_client.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>

#include "platform/sha256.h"

namespace hs {
namespace {

// Answers each connection with the canned response of its request path.
class TinyServer {
 public:
  explicit TinyServer(std::map<std::string, std::string> responses) : responses_(std::move(responses)) {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int n = sizeof(a);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0 &&
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &n) == 0 && listen(listener_, 8) == 0)
      port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~TinyServer() {
    closesocket(listener_);  // ends accept
    thread_.join();
    WSACleanup();
  }
  int port() const { return port_; }

 private:
  void Serve() {
    for (;;) {
      SOCKET c = accept(listener_, nullptr, nullptr);
      if (c == INVALID_SOCKET) return;
      std::string request;
      char buffer[1024];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const int got = recv(c, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        request.append(buffer, got);
      }
      const std::size_t start = request.find(' ') + 1;
      const std::string path = request.substr(start, request.find(' ', start) - start);
      auto it = responses_.find(path);
      const std::string reply = it != responses_.end() ? it->second : "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";
      send(c, reply.data(), static_cast<int>(reply.size()), 0);
      shutdown(c, SD_SEND);
      closesocket(c);
    }
  }

  std::map<std::string, std::string> responses_;
  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
  std::thread thread_;
};

std::string Ok(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

TEST(Win32HttpClient, FetchesWholeBodiesOnly) {
  TinyServer server({{"/whole?v=1.2", Ok("[Application]\r\nPROGRAM_VERSION=2.1\r\n")},
                     {"/gone", "HTTP/1.1 404 Not Found\r\nContent-Length: 8\r\nConnection: close\r\n\r\nnot here"},
                     {"/cut", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\n0123456789"},
                     {"/big", Ok(std::string(5000, 'x'))}});
  ASSERT_GT(server.port(), 0);
  const auto url = [&](const char* path) {
    return FromUtf8("http://127.0.0.1:" + std::to_string(server.port()) + path);
  };
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
    TinyServer gone({});
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
