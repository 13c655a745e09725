#include "app/web/gui_server.h"

#include <httplib.h>

#include <fstream>
#include <iterator>
#include <random>
#include <regex>

#include "app/page_texts.h"
#include "app/main_dialog.h"

namespace hs {

namespace {

constexpr std::chrono::milliseconds kPollWait{15000};
constexpr char kSecurityPolicy[] =
    "default-src 'self'; script-src 'self' 'unsafe-inline'; style-src 'self' 'unsafe-inline'; "
    "img-src 'self' data:; connect-src 'self'; frame-ancestors 'none'; base-uri 'none'; form-action 'none'";

int PageNumber(const std::string& file) {
  for (const PageTexts& p : AllPageTexts())
    if (file == p.file) return p.page;
  return 0;
}

const char* ContentType(const std::string& name) {
  const auto ends = [&](const char* ext) {
    const std::string e(ext);
    return name.size() > e.size() && name.compare(name.size() - e.size(), e.size(), e) == 0;
  };
  if (ends(".html")) return "text/html; charset=utf-8";
  if (ends(".css")) return "text/css; charset=utf-8";
  if (ends(".js")) return "text/javascript; charset=utf-8";
  if (ends(".svg")) return "image/svg+xml";
  if (ends(".png")) return "image/png";
  return nullptr;
}

bool LoopbackOrigin(const httplib::Request& req, int port) {
  if (!req.has_header("Origin")) return true;
  const std::string origin = req.get_header_value("Origin");
  const std::string p = std::to_string(port);
  return origin == "http://127.0.0.1:" + p || origin == "http://localhost:" + p;
}

}  // namespace

GuiAccess CheckGuiAccess(std::string_view host, std::string_view path, std::string_view token, int port) {
  const std::string p = ":" + std::to_string(port);
  if (host != "127.0.0.1" + p && host != "localhost" + p) return GuiAccess::kForeignHost;
  if (token.empty() || path.size() < token.size() + 2 || path[0] != '/' || path.substr(1, token.size()) != token ||
      path[token.size() + 1] != '/')
    return GuiAccess::kNoToken;
  return GuiAccess::kAllowed;
}

std::string NewGuiToken() {
  std::random_device random;
  std::string token;
  const char* digits = "0123456789abcdef";
  for (int i = 0; i < 32; ++i) token += digits[random() & 15];
  return token;
}

GuiServer::GuiServer(PageBridge& bridge, std::filesystem::path pages_folder, std::string token,
                     GuiServerEvents events, std::vector<NavItem> nav)
    : bridge_(bridge),
      pages_(std::move(pages_folder)),
      token_(std::move(token)),
      events_(std::move(events)),
      nav_(std::move(nav)),
      server_(std::make_unique<httplib::Server>()) {
  Routes();
}

GuiServer::~GuiServer() { Stop(); }

bool GuiServer::Bind(int port) {
  if (port == 0) {
    port_ = server_->bind_to_any_port("127.0.0.1");
    return port_ > 0;
  }
  if (!server_->bind_to_port("127.0.0.1", port)) return false;
  port_ = port;
  return true;
}

std::string GuiServer::Address() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/" + token_ + "/home.html";
}

void GuiServer::Listen() { (void)server_->listen_after_bind(); }

void GuiServer::Stop() {
  bridge_.Close();
  if (server_) server_->stop();
}

void GuiServer::Routes() {
  httplib::Server& s = *server_;
  s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    res.set_header("Cache-Control", "no-store");
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("Referrer-Policy", "no-referrer");
    res.set_header("Content-Security-Policy", kSecurityPolicy);
    switch (CheckGuiAccess(req.get_header_value("Host"), req.path, token_, port_)) {
      case GuiAccess::kForeignHost: res.status = 403; return httplib::Server::HandlerResponse::Handled;
      case GuiAccess::kNoToken: res.status = 404; return httplib::Server::HandlerResponse::Handled;
      case GuiAccess::kAllowed: break;
    }
    if (req.method != "GET" && !LoopbackOrigin(req, port_)) {
      res.status = 403;
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });

  const std::string base = "/" + token_ + "/";
  s.Get(base + "api/poll", [this](const httplib::Request& req, httplib::Response& res) {
    const std::string page = req.get_param_value("page");
    const PageBridge::Poll poll = bridge_.Take(page, kPollWait);
    res.set_content(PollJson(poll, bridge_.navigation_enabled()), "application/json; charset=utf-8");
  });
  s.Get(base + "api/nav", [this](const httplib::Request&, httplib::Response& res) {
    std::string out = "[";
    for (std::size_t i = 0; i < nav_.size(); ++i)
      out += (i ? ",[" : "[") + std::to_string(nav_[i].command) + "," + JsonString(ToUtf8(nav_[i].text)) + "]";
    res.set_content(out + "]", "application/json; charset=utf-8");
  });
  s.Post(base + "api/loaded", [this](const httplib::Request& req, httplib::Response& res) {
    const int page = PageNumber(req.get_param_value("page"));
    if (page == 0) {
      res.status = 400;
      return;
    }
    events_.page_loaded(page);
    res.status = 204;
  });
  s.Post(base + "api/click", [this](const httplib::Request& req, httplib::Response& res) {
    const int page = PageNumber(req.get_param_value("page"));
    const std::string id = req.get_param_value("id");
    static const std::regex kId("[A-Za-z][A-Za-z0-9_]{0,63}");
    if (page == 0 || !std::regex_match(id, kId)) {
      res.status = 400;
      return;
    }
    events_.click(page, FromUtf8(id));
    res.status = 204;
  });
  s.Post(base + "api/command", [this](const httplib::Request& req, httplib::Response& res) {
    const std::string id = req.get_param_value("id");
    for (const NavItem& n : nav_) {
      if (id != std::to_string(n.command)) continue;
      events_.command(n.command);
      res.status = 204;
      return;
    }
    res.status = 400;
  });
  s.Get(base, [this](const httplib::Request&, httplib::Response& res) {
    res.set_redirect("/" + token_ + "/" + bridge_.CurrentPage());
  });
  // The pages' own files: plain names in the pages folder.
  s.Get(base + "([A-Za-z0-9_-]+\\.[a-z]+)", [this](const httplib::Request& req, httplib::Response& res) {
    const std::string name = req.matches[1];
    const char* type = ContentType(name);
    std::ifstream in(pages_ / name, std::ios::binary);
    if (!type || !in) {
      res.status = 404;
      return;
    }
    res.set_content(std::string(std::istreambuf_iterator<char>(in), {}), type);
  });
}

}  // namespace hs
