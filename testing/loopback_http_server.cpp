#include "testing/loopback_http_server.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace hs::testing {

namespace {

#ifdef _WIN32
using Socket = SOCKET;
using AddressLength = int;
constexpr Socket kNoSocket = INVALID_SOCKET;
void CloseSocket(Socket s) { closesocket(s); }
void EndSending(Socket s) { shutdown(s, SD_SEND); }
constexpr int kSendFlags = 0;
#else
using Socket = int;
using AddressLength = socklen_t;
constexpr Socket kNoSocket = -1;
void CloseSocket(Socket s) { close(s); }
void EndSending(Socket s) { shutdown(s, SHUT_WR); }
constexpr int kSendFlags = MSG_NOSIGNAL;  // a client gone early is no signal
#endif

Socket AsSocket(std::intptr_t s) { return static_cast<Socket>(s); }

}  // namespace

LoopbackHttpServer::LoopbackHttpServer(std::map<std::string, std::string> replies) : replies_(std::move(replies)) {
#ifdef _WIN32
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
#endif
  const Socket s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == kNoSocket) return;
  listener_ = static_cast<std::intptr_t>(s);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  AddressLength n = sizeof(a);
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&a), &n) == 0 && listen(s, 8) == 0)
    port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  if (listener_ != -1) {
#ifdef _WIN32
    CloseSocket(AsSocket(listener_));  // ends accept
#else
    shutdown(AsSocket(listener_), SHUT_RDWR);  // ends accept
#endif
  }
  if (thread_.joinable()) thread_.join();
#ifdef _WIN32
  WSACleanup();
#else
  if (listener_ != -1) CloseSocket(AsSocket(listener_));
#endif
}

std::string LoopbackHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void LoopbackHttpServer::Reply(const std::string& path, std::string raw) {
  std::lock_guard<std::mutex> lock(mutex_);
  replies_[path] = std::move(raw);
}

std::vector<std::string> LoopbackHttpServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::string LoopbackHttpServer::Ok(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

void LoopbackHttpServer::Serve() {
  if (port_ == 0) return;
  for (;;) {
    const Socket c = accept(AsSocket(listener_), nullptr, nullptr);
    if (c == kNoSocket) return;
    std::string request;
    char buffer[1024];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
      const int got = static_cast<int>(recv(c, buffer, sizeof buffer, 0));
      if (got <= 0) break;
      request.append(buffer, static_cast<std::size_t>(got));
    }
    const std::size_t start = request.find(' ') + 1;
    const std::string path = start == 0 ? std::string() : request.substr(start, request.find(' ', start) - start);
    std::string reply = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back("GET " + path);
      if (auto it = replies_.find(path); it != replies_.end()) reply = it->second;
    }
    std::size_t sent = 0;
    while (sent < reply.size()) {
      const int n = static_cast<int>(send(c, reply.data() + sent, static_cast<int>(reply.size() - sent), kSendFlags));
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
    EndSending(c);
    CloseSocket(c);
  }
}

}  // namespace hs::testing
