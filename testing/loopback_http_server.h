// A small HTTP server on 127.0.0.1 for tests: answers each request with the
// raw reply stored for its path (query included), else 404, one connection
// at a time, and records the request lines. Winsock on Windows, sockets
// elsewhere. Started by the constructor, stopped by the destructor.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace hs::testing {

class LoopbackHttpServer {
 public:
  explicit LoopbackHttpServer(std::map<std::string, std::string> replies = {});
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  // 0 when the server could not start.
  int port() const { return port_; }
  std::string Url(const std::string& path) const;
  // Replaces or adds the raw reply for `path`.
  void Reply(const std::string& path, std::string raw);
  // "GET <path>" of every request so far.
  std::vector<std::string> Requests() const;

  // A 200 reply carrying `body` with its length.
  static std::string Ok(const std::string& body);

 private:
  void Serve();

  mutable std::mutex mutex_;
  std::map<std::string, std::string> replies_;
  std::vector<std::string> requests_;
  std::intptr_t listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};

}  // namespace hs::testing
