#include "app/update_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "platform/recording_shell_open.h"
#include "testing/loopback_http_server.h"
#include "platform/sha256.h"
#include "testing/manual_clock.h"
#include "testing/memory_log.h"
#include "testing/recording_prompts.h"
#include "testing/scratch_fs.h"
#ifdef _WIN32
#include "platform/win32/win32_http_client.h"
#include "platform/win32/win32_ini_reader.h"
#else
#include "platform/portable/curl_http_client.h"
#include "platform/portable/portable_ini_reader.h"
#endif

namespace hs {
namespace {

using namespace hs::testing;
using hs::MemoryLog;

constexpr TextView kEndpoint = u"http://127.0.0.1:1/Corvanta/HiveSweep/update.asp";
constexpr TextView kInstallerUrl = u"https://downloads.hivesweep.example/setup.exe";

std::vector<std::uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

class FakeHttp final : public HttpClient {
 public:
  struct Answer {
    FetchResult result;
    std::vector<std::uint8_t> body;
  };
  bool Connected() override { return connected; }
  FetchResult Fetch(TextView url, std::uint64_t max_bytes, std::vector<std::uint8_t>* body) override {
    fetched.emplace_back(url);
    if (during_fetch) during_fetch();
    body->clear();
    auto it = answers.find(Text(url));
    if (it == answers.end()) return {FetchStatus::kHttpError, 404};
    if (it->second.body.size() > max_bytes) return {FetchStatus::kTooLarge, 200};
    if (it->second.result.outcome == FetchStatus::kOk) *body = it->second.body;
    return it->second.result;
  }
  void Serve(TextView url, std::string_view body) { answers[Text(url)] = {{FetchStatus::kOk, 200}, Bytes(body)}; }

  bool connected = true;
  std::map<Text, Answer> answers;
  std::vector<Text> fetched;
  std::function<void()> during_fetch;
};

class UpdateCheckTest : public ::testing::Test {
 protected:
  // `client`: the web client the checker uses; none: the fake one.
  explicit UpdateCheckTest(HttpClient* client = nullptr, TextView endpoint = kEndpoint)
      : ini(MakeIni()),
        clock(DateTime{2026, 12, 9, 10, 30}),
        checker(UpdateCheckEnv{client ? *client : http, scratch.fs(), *ini, prompts, shell, clock, log,
                               [](TextView key) { return Text(key); }, scratch.root(), u"2.0.72.2296",
                               Text(endpoint), [this](TextView path, TextView argument) {
                                 started.emplace_back(Text(path) + u" " + Text(argument));
                                 return true;
                               }}) {}

  std::unique_ptr<IniReader> MakeIni() {
#ifdef _WIN32
    return std::make_unique<Win32IniReader>();
#else
    return std::make_unique<PortableIniReader>(scratch.fs());
#endif
  }
  Text Request() { return UpdateRequestAddress(kEndpoint, u"2.0.72.2296"); }
  void Offer(std::string_view version, std::string_view extra = "") {
    http.Serve(Request(), "[Application]\r\nPROGRAM_VERSION=" + std::string(version) + "\r\nPROGRAM_URL=" +
                              ToUtf8(kInstallerUrl) + "\r\n" + std::string(extra));
  }
  Text InstallerPath() { return scratch.Path(InstallerFileName(clock.LocalTime())); }

  ScratchFs scratch{"hs_update"};
  std::unique_ptr<IniReader> ini;
  FakeHttp http;
  RecordingPrompts prompts;
  RecordingShellOpen shell;
  ManualClock clock;
  MemoryLog log;
  std::vector<Text> started;
  UpdateChecker checker;
};

TEST(UpdateVersions, ComparesMajorMinorThenBuildRevision) {
  const VersionParts own = ParseVersion(u"2.0.72.2296");
  EXPECT_FALSE(IsNewerVersion(ParseVersion(u"2.0.72.2296"), own));
  EXPECT_TRUE(IsNewerVersion(ParseVersion(u"2.0.73.0"), own));
  EXPECT_TRUE(IsNewerVersion(ParseVersion(u"2.1"), own)) << "missing parts are 0";
  EXPECT_FALSE(IsNewerVersion(ParseVersion(u"1.9.99.9999"), own));
  EXPECT_FALSE(IsNewerVersion(ParseVersion(u"2.0.72"), own));
  EXPECT_EQ(own, ParseVersion(u"2, 0, 72, 2296")) << "a resource's commas and blanks";
  EXPECT_EQ((VersionParts{1, 2, 0, 0}), ParseVersion(u"1.2beta.x"));
  EXPECT_EQ((VersionParts{0xFFFF, 0, 0, 0}), ParseVersion(u"65535"));
  EXPECT_EQ(u"http://h/u.asp?v=1.2.3.4", UpdateRequestAddress(u"http://h/u.asp", u"1.2.3.4"));
  EXPECT_EQ(u"productSetup_Setup_3_7_2027.exe", InstallerFileName(DateTime{2027, 3, 7}));
  EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", Sha256Hex(Bytes("abc")))
      << "the system's digest";
}

TEST_F(UpdateCheckTest, AVerifiedInstallerIsStartedSilently) {
  const std::string setup = "MZ installer bytes";
  Offer("2.0.73.0", "PROGRAM_SHA256= " + Sha256Hex(Bytes(setup)) + " \r\n");
  http.Serve(kInstallerUrl, setup);
  EXPECT_EQ(UpdateOutcome::kInstallerStarted, checker.Check({}));
  EXPECT_EQ(std::vector<Text>{u"IDS_NEW_UPDATE_ABLBLE"}, prompts.shown);
  ASSERT_EQ(1u, started.size());
  EXPECT_EQ(InstallerPath() + u" /verysilent", started[0]);
  std::vector<std::uint8_t> saved;
  ASSERT_EQ(err::kSuccess, scratch.fs().ReadFile(InstallerPath(), 1 << 20, &saved));
  EXPECT_EQ(Bytes(setup), saved);
  EXPECT_FALSE(scratch.fs().Exists(scratch.Path(kInstallerTempName)));
  EXPECT_TRUE(scratch.fs().Exists(scratch.Path(kUpdateFileName)));
  const auto lines = log.Lines();
  EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), u"ExitProcess : InstallUpdates"));
  EXPECT_FALSE(checker.checking());
}

TEST_F(UpdateCheckTest, AnInstallerWithoutTheAnnouncedDigestIsNeverRun) {
  http.Serve(kInstallerUrl, "tampered");
  for (const std::string& digest : {std::string(), "PROGRAM_SHA256=" + Sha256Hex(Bytes("original")) + "\r\n"}) {
    SCOPED_TRACE(digest);
    prompts.shown.clear();
    shell.opened.clear();
    Offer("3.0", digest);
    EXPECT_EQ(UpdateOutcome::kNotInstalled, checker.Check({}));
    EXPECT_TRUE(started.empty());
    EXPECT_FALSE(scratch.fs().Exists(InstallerPath()));
    EXPECT_EQ((std::vector<Text>{u"IDS_NEW_UPDATE_ABLBLE", u"IDS_UPDATE_NOT_VERIFIED"}), prompts.shown);
    EXPECT_EQ(std::vector<Text>{Text(kInstallerUrl)}, shell.opened) << "the page is offered instead";
  }
}

TEST_F(UpdateCheckTest, FailedFetchesNeverBecomeFiles) {
  // The answer: a 404 (Wine's downloader calls that success) leaves no update file.
  EXPECT_EQ(UpdateOutcome::kNothingNewer, checker.Check({}));
  EXPECT_FALSE(scratch.fs().Exists(scratch.Path(kUpdateFileName)));
  EXPECT_EQ(std::vector<Text>{u"IDS_NO_NEW_UPDATE_ABLBLE"}, prompts.shown);

  // The installer cut short: nothing saved, nothing run, nothing said.
  prompts.shown.clear();
  Offer("3.0", "PROGRAM_SHA256=" + Sha256Hex(Bytes("whole")) + "\r\n");
  http.answers[Text(kInstallerUrl)] = {{FetchStatus::kTruncated, 200}, Bytes("who")};
  EXPECT_EQ(UpdateOutcome::kNotInstalled, checker.Check({}));
  EXPECT_TRUE(started.empty());
  EXPECT_FALSE(scratch.fs().Exists(InstallerPath()));
  EXPECT_FALSE(scratch.fs().Exists(scratch.Path(kInstallerTempName)));
  EXPECT_EQ(std::vector<Text>{u"IDS_NEW_UPDATE_ABLBLE"}, prompts.shown);
}

TEST_F(UpdateCheckTest, BrowserModeAndEmptyAddress) {
  Offer("2.0.72.2297", "OPEN_BROWSER= 1 \r\n");
  EXPECT_EQ(UpdateOutcome::kBrowserOpened, checker.Check({}));
  EXPECT_EQ(std::vector<Text>{u"IDS_NEW_UPDATE_ABLBLE_BROWSER"}, prompts.shown);
  EXPECT_EQ(std::vector<Text>{Text(kInstallerUrl)}, shell.opened);
  EXPECT_EQ(1u, http.fetched.size()) << "nothing downloaded in browser mode";

  prompts.shown.clear();
  http.Serve(Request(), "[Application]\r\nPROGRAM_VERSION=9.0\r\nPROGRAM_URL=\r\n");
  EXPECT_EQ(UpdateOutcome::kNothingNewer, checker.Check({}));
  EXPECT_EQ(std::vector<Text>{u"IDS_NO_NEW_UPDATE_ABLBLE"}, prompts.shown);
}

TEST_F(UpdateCheckTest, AutomaticAndUnattendedChecksAskNothing) {
  http.connected = false;
  EXPECT_EQ(UpdateOutcome::kNothingNewer, checker.Check({.automatic = true}));
  EXPECT_EQ(UpdateOutcome::kNothingNewer, checker.Check({.unattended = true}));
  EXPECT_TRUE(prompts.shown.empty());
  EXPECT_TRUE(http.fetched.empty());
  EXPECT_EQ(UpdateOutcome::kNothingNewer, checker.Check({}));
  EXPECT_EQ(std::vector<Text>{u"IDS_CANNOT_CONNECT"}, prompts.shown);

  prompts.shown.clear();
  http.connected = true;
  Offer("2.1");
  EXPECT_EQ(UpdateOutcome::kNewer, checker.Check({.unattended = true}));
  EXPECT_TRUE(prompts.shown.empty());
  EXPECT_TRUE(started.empty());
}

TEST_F(UpdateCheckTest, ASecondCheckWhileOneRunsDoesNothing) {
  Offer("1.0");
  UpdateOutcome inner = UpdateOutcome::kNothingNewer;
  http.during_fetch = [&] {
    http.during_fetch = nullptr;
    inner = checker.Check({});
  };
  EXPECT_EQ(UpdateOutcome::kNothingNewer, checker.Check({.automatic = true}));
  EXPECT_EQ(UpdateOutcome::kBusy, inner);
  EXPECT_EQ(1u, http.fetched.size());
}


// The build's own web client against a service on 127.0.0.1.
#ifdef _WIN32
using SystemHttpClient = Win32HttpClient;
#else
using SystemHttpClient = CurlHttpClient;
#endif
struct LoopbackService {
  LoopbackHttpServer server;
  SystemHttpClient client;
  std::string Answer(std::string_view version, std::string_view extra) const {
    return LoopbackHttpServer::Ok("[Application]\r\nPROGRAM_VERSION=" + std::string(version) +
                                  "\r\nPROGRAM_URL=" + server.Url("/setup.exe") + "\r\n" + std::string(extra));
  }
};

class UpdateOverLoopback : protected LoopbackService, public UpdateCheckTest {
 protected:
  UpdateOverLoopback()
      : UpdateCheckTest(&client, FromUtf8(server.Url("/Corvanta/HiveSweep/update.asp"))) {}
  const std::string kAnswerPath = "/Corvanta/HiveSweep/update.asp?v=2.0.72.2296";
  const std::string kSetup = std::string("MZ\x90\0 installer ") + std::string(3000, 'x');
};

TEST_F(UpdateOverLoopback, OnlyAWholeVerifiedDownloadIsStarted) {
  ASSERT_GT(server.port(), 0);
  server.Reply("/setup.exe", LoopbackHttpServer::Ok(kSetup));
  server.Reply(kAnswerPath, Answer("2.0.73.0", "PROGRAM_SHA256=" + Sha256Hex(Bytes(kSetup)) + "\r\n"));
  EXPECT_EQ(UpdateOutcome::kInstallerStarted, checker.Check({}));
  ASSERT_EQ(1u, started.size());
  EXPECT_EQ(InstallerPath() + u" /verysilent", started[0]);
  std::vector<std::uint8_t> saved;
  ASSERT_EQ(err::kSuccess, scratch.fs().ReadFile(InstallerPath(), 1 << 20, &saved));
  EXPECT_EQ(Bytes(kSetup), saved);
  EXPECT_EQ((std::vector<std::string>{"GET " + kAnswerPath, "GET /setup.exe"}), server.Requests());
  ASSERT_EQ(err::kSuccess, scratch.fs().DeleteFile(InstallerPath()));

  // Another digest: fetched, never saved or started.
  started.clear();
  server.Reply(kAnswerPath, Answer("2.1", "PROGRAM_SHA256=" + Sha256Hex(Bytes("other")) + "\r\n"));
  EXPECT_EQ(UpdateOutcome::kNotInstalled, checker.Check({}));
  EXPECT_TRUE(started.empty());
  EXPECT_FALSE(scratch.fs().Exists(InstallerPath()));

  // The installer missing (404) or cut short: nothing saved, nothing started.
  server.Reply(kAnswerPath, Answer("2.1", "PROGRAM_SHA256=" + Sha256Hex(Bytes(kSetup)) + "\r\n"));
  for (const std::string& reply : {std::string("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found"),
                                   "HTTP/1.1 200 OK\r\nContent-Length: 5000\r\nConnection: close\r\n\r\n" +
                                       kSetup.substr(0, 100)}) {
    server.Reply("/setup.exe", reply);
    EXPECT_EQ(UpdateOutcome::kNotInstalled, checker.Check({}));
    EXPECT_TRUE(started.empty());
    EXPECT_FALSE(scratch.fs().Exists(InstallerPath()));
    EXPECT_FALSE(scratch.fs().Exists(scratch.Path(kInstallerTempName)));
  }
}

TEST_F(UpdateOverLoopback, VersionsAndAnswersOverTheWire) {
  ASSERT_GT(server.port(), 0);
  const struct {
    const char* offered;
    std::string extra;
    UpdateOutcome expected;
  } cases[] = {{"2.0.72.2296", "", UpdateOutcome::kNothingNewer},
               {"2.0.73.0", "", UpdateOutcome::kNewer},
               {"2.1", "", UpdateOutcome::kNewer},
               {"1.9.99.9999", "", UpdateOutcome::kNothingNewer}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.offered);
    server.Reply(kAnswerPath, Answer(c.offered, c.extra));
    EXPECT_EQ(c.expected, checker.Check({.unattended = true}));
  }
  // An answer without an installer address offers nothing.
  server.Reply(kAnswerPath, LoopbackHttpServer::Ok("[Application]\r\nPROGRAM_VERSION=9.0\r\nPROGRAM_URL=\r\n"));
  EXPECT_EQ(UpdateOutcome::kNothingNewer, checker.Check({.unattended = true}));
  // " 1 " in OPEN_BROWSER: the page opens, nothing is downloaded.
  server.Reply(kAnswerPath, Answer("3.0", "OPEN_BROWSER= 1 \r\n"));
  EXPECT_EQ(UpdateOutcome::kBrowserOpened, checker.Check({}));
  EXPECT_EQ(std::vector<Text>{FromUtf8(server.Url("/setup.exe"))}, shell.opened);
  const auto requests = server.Requests();
  EXPECT_EQ(0, std::count(requests.begin(), requests.end(), "GET /setup.exe"));
  EXPECT_TRUE(started.empty());
  EXPECT_TRUE(prompts.shown.size() == 1) << "only the browser question";
}

// A port where a service was and is no more.
struct GoneService {
  static int DeadPort() {
    LoopbackHttpServer gone;
    return gone.port();
  }
  int port = DeadPort();
  SystemHttpClient client;
};

class UpdateServiceGone : protected GoneService, public UpdateCheckTest {
 protected:
  UpdateServiceGone() : UpdateCheckTest(&client, FromUtf8("http://127.0.0.1:" + std::to_string(port) + "/u.asp")) {}
};

TEST_F(UpdateServiceGone, IsNothingNewerAndSaysNothingUnattended) {
  ASSERT_GT(port, 0);
  EXPECT_EQ(UpdateOutcome::kNothingNewer, checker.Check({.unattended = true}));
  EXPECT_TRUE(prompts.shown.empty());
  EXPECT_TRUE(started.empty());
  EXPECT_FALSE(scratch.fs().Exists(scratch.Path(kUpdateFileName)));
  EXPECT_EQ(UpdateOutcome::kNothingNewer, checker.Check({}));
  EXPECT_EQ(std::vector<Text>{u"IDS_CANNOT_CONNECT"}, prompts.shown) << "asked by the user: no connection";
}

}  // namespace
}  // namespace hs
