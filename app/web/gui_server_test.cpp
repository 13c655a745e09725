// The portable page host: who may reach it, and how calls reach pages.
#include "app/web/gui_server.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "app/web/model_loop.h"
#include "app/web/page_bridge.h"

namespace hs {
namespace {

using namespace std::chrono_literals;

TEST(GuiAccess, OnlyLoopbackHostsWithThePortAndTheTokenPass) {
  const std::string t = "0123456789abcdef0123456789abcdef";
  EXPECT_EQ(GuiAccess::kAllowed, CheckGuiAccess("127.0.0.1:8080", "/" + t + "/home.html", t, 8080));
  EXPECT_EQ(GuiAccess::kAllowed, CheckGuiAccess("localhost:8080", "/" + t + "/api/poll", t, 8080));
  for (const char* host : {"evil.example:8080", "127.0.0.1:8081", "127.0.0.1", "localhost", "", "127.0.0.2:8080",
                           "127.0.0.1:8080.evil.example"})
    EXPECT_EQ(GuiAccess::kForeignHost, CheckGuiAccess(host, "/" + t + "/home.html", t, 8080)) << host;
  for (const std::string& path : std::vector<std::string>{"/home.html", "/", "/" + t, "/" + t + "x/home.html", "/x" + t + "/home.html",
                                 "/" + t.substr(0, 31) + "/home.html"})
    EXPECT_EQ(GuiAccess::kNoToken, CheckGuiAccess("127.0.0.1:8080", path, t, 8080)) << path;
  EXPECT_EQ(GuiAccess::kNoToken, CheckGuiAccess("127.0.0.1:8080", "//home.html", "", 8080));
  EXPECT_NE(NewGuiToken(), NewGuiToken());
  EXPECT_EQ(32u, NewGuiToken().size());
}

class GuiServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pages = std::filesystem::temp_directory_path() / ("hs-gui-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(pages);
    std::ofstream(pages / "home.html") << "<p>home</p>";
    std::ofstream(pages.parent_path() / ("hs-gui-secret-" + std::to_string(::getpid()) + ".html")) << "secret";
    GuiServerEvents events;
    events.page_loaded = [this](int page) { loaded.push_back(page); };
    events.click = [this](int page, const Text& id) { clicks.push_back(std::to_string(page) + ":" + ToUtf8(id)); };
    events.command = [this](int id) { commands.push_back(id); };
    server = std::make_unique<GuiServer>(bridge, pages, token, events, std::vector<GuiServer::NavItem>{{242, u"Home"}});
    ASSERT_TRUE(server->Bind(0));
    thread = std::thread([this] { server->Listen(); });
    client = std::make_unique<httplib::Client>("127.0.0.1", server->port());
    for (int i = 0; i < 100 && !client->Get(("/" + token + "/home.html").c_str()); ++i) std::this_thread::sleep_for(10ms);
  }
  void TearDown() override {
    server->Stop();
    thread.join();
    std::filesystem::remove_all(pages);
    std::filesystem::remove(pages.parent_path() / ("hs-gui-secret-" + std::to_string(::getpid()) + ".html"));
  }
  int Status(const std::string& path, const httplib::Headers& headers = {}, bool post = false) {
    auto res = post ? client->Post(path.c_str(), headers, "", "text/plain") : client->Get(path.c_str(), headers);
    return res ? res->status : -1;
  }
  std::string Host() const { return "127.0.0.1:" + std::to_string(server->port()); }

  std::string token = NewGuiToken();
  std::filesystem::path pages;
  PageBridge bridge{"home.html"};
  std::unique_ptr<GuiServer> server;
  std::thread thread;
  std::unique_ptr<httplib::Client> client;
  std::vector<int> loaded, commands;
  std::vector<std::string> clicks;
};

TEST_F(GuiServerTest, RequestsWithoutTheTokenOrWithAForeignHostAreRefused) {
  const std::string base = "/" + token + "/";
  EXPECT_EQ(200, Status(base + "home.html"));
  EXPECT_EQ(404, Status("/home.html"));
  EXPECT_EQ(404, Status("/" + NewGuiToken() + "/home.html"));
  EXPECT_EQ(403, Status(base + "home.html", {{"Host", "evil.example:" + std::to_string(server->port())}}));
  EXPECT_EQ(403, Status(base + "home.html", {{"Host", "evil.example"}}));
  EXPECT_EQ(200, Status(base + "home.html", {{"Host", "localhost:" + std::to_string(server->port())}}));
  // Nothing outside the pages folder, and only page file types.
  EXPECT_EQ(404, Status(base + "../hs-gui-secret-" + std::to_string(::getpid()) + ".html"));
  EXPECT_EQ(404, Status(base + "%2e%2e/hs-gui-secret-" + std::to_string(::getpid()) + ".html"));
  EXPECT_EQ(404, Status(base + "missing.html"));
  // A page of another origin cannot post clicks; the run's own page can.
  EXPECT_EQ(403, Status(base + "api/click?page=home.html&id=btnBottomStartscan", {{"Origin", "http://evil.example"}},
                        true));
  EXPECT_TRUE(clicks.empty());
  EXPECT_EQ(204, Status(base + "api/click?page=home.html&id=btnBottomStartscan",
                        {{"Origin", "http://" + Host()}}, true));
  EXPECT_EQ((std::vector<std::string>{"444:btnBottomStartscan"}), clicks);
  EXPECT_EQ(400, Status(base + "api/click?page=home.html&id=a%22b", {}, true));
  EXPECT_EQ(400, Status(base + "api/click?page=nope.html&id=x", {}, true));
  // Only the navigation commands pass.
  EXPECT_EQ(400, Status(base + "api/command?id=1154", {}, true));
  EXPECT_EQ(204, Status(base + "api/command?id=242", {}, true));
  EXPECT_EQ(std::vector<int>{242}, commands);
}

TEST_F(GuiServerTest, PollsDeliverTheCallsOfTheShownPageAndSendOthersThere) {
  BridgePageHost home(bridge, "home.html"), results(bridge, "results.html");
  ASSERT_TRUE(home.CallScript(u"OnWelcomeNext", {u"3", u"a \"b\" <c>"}));
  auto res = client->Get(("/" + token + "/api/poll?page=home.html").c_str());
  ASSERT_TRUE(res);
  EXPECT_EQ(R"({"navigate":"","calls":[["OnWelcomeNext","3","a \"b\" \u003cc\u003e"]],"nav":true,"closed":false})",
            res->body);

  // A document of a page the browser left takes the calls queued before the
  // switch, then is sent on; later calls wait for the page's next document.
  ASSERT_TRUE(home.CallScript(u"before", {}));
  ASSERT_TRUE(results.CallScript(u"UpdateResultsPage", {u"1"}));
  bridge.ShowPage("results.html");
  ASSERT_TRUE(home.CallScript(u"after", {}));
  auto left = bridge.Take("home.html", 0ms);
  ASSERT_EQ(1u, left.calls.size());
  EXPECT_EQ("before", left.calls[0].function);
  EXPECT_EQ("results.html", bridge.Take("home.html", 0ms).navigate);
  ASSERT_EQ(1u, bridge.Take("results.html", 0ms).calls.size());
  bridge.ShowPage("home.html");
  // The set-up of a document that has loaded goes before the waiting calls.
  bridge.SetAnswering("home.html");
  ASSERT_TRUE(home.CallScript(u"setlanguage", {u"en"}));
  bridge.SetAnswering("");
  auto next = bridge.Take("home.html", 0ms);
  ASSERT_EQ(2u, next.calls.size());
  EXPECT_EQ("setlanguage", next.calls[0].function);
  EXPECT_EQ("after", next.calls[1].function);
}

TEST(PageBridge, TheLoadingPageStaysItsMinimumBeforeTheResultsReturn) {
  PageBridge bridge("results.html");
  bridge.ShowPage("list_loading.html");
  bridge.ShowPageAfterMinimum("results.html");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(bridge.Take("list_loading.html", 0ms).navigate.empty());
  EXPECT_EQ("results.html", bridge.Take("list_loading.html", 5000ms).navigate);
  EXPECT_GE(std::chrono::steady_clock::now() - start, PageBridge::kMinLoadingShow - 50ms);
}

TEST(ModelLoop, RunsTasksInOrderAndTimersUntilKilled) {
  ModelLoop loop;
  std::vector<std::string> seen;
  int fired = 0;
  loop.SetTimer(7, 5, [&](int id) {
    seen.push_back("timer " + std::to_string(id));
    if (++fired == 3) {
      loop.KillTimer(id);
      loop.Post([&] { loop.Stop(); });
    }
  });
  loop.Post([&] { seen.push_back("a"); });
  loop.Post([&] { seen.push_back("b"); });
  loop.Run();
  EXPECT_EQ((std::vector<std::string>{"a", "b", "timer 7", "timer 7", "timer 7"}), seen);
}

}  // namespace
}  // namespace hs
