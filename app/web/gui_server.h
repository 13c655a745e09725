// The HTTP side of the browser-hosted window (cpp-httplib): serves the pages
// of app/pages and the bridge's calls to them on 127.0.0.1 only, and passes
// page loads, element clicks and navigation commands on.
//
// Every request must name the run's random token as its first path
// segment and a loopback Host with the server's port; otherwise it is
// refused, so other users of the machine and web pages in the same browser
// cannot drive the program.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/web/page_bridge.h"

namespace httplib {
class Server;
}

namespace hs {

enum class GuiAccess { kAllowed, kForeignHost, kNoToken };
// The verdict on a request's Host header and path (HTTP 403 for a foreign
// host, 404 without the token).
GuiAccess CheckGuiAccess(std::string_view host, std::string_view path, std::string_view token, int port);
// 32 hexadecimal digits from the system's random source.
std::string NewGuiToken();

struct GuiServerEvents {
  std::function<void(int page)> page_loaded;
  std::function<void(int page, const Text& element_id)> click;
  std::function<void(int command)> command;  // only the navigation commands
};

class GuiServer {
 public:
  struct NavItem {
    int command;
    Text text;
  };
  GuiServer(PageBridge& bridge, std::filesystem::path pages_folder, std::string token, GuiServerEvents events,
            std::vector<NavItem> nav);
  ~GuiServer();

  // Binds 127.0.0.1 on `port` (0: a free one). False when it cannot.
  [[nodiscard]] bool Bind(int port);
  int port() const { return port_; }
  // http://127.0.0.1:PORT/TOKEN/home.html
  std::string Address() const;
  // Serves until Stop (from another thread).
  void Listen();
  void Stop();

 private:
  void Routes();

  PageBridge& bridge_;
  std::filesystem::path pages_;
  std::string token_;
  GuiServerEvents events_;
  std::vector<NavItem> nav_;
  std::unique_ptr<httplib::Server> server_;
  int port_ = 0;
};

}  // namespace hs
