// The command-line front end: its arguments and exit codes, and (natively)
// the scan of the sample machine from the source tree.
#include "app/cli.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#ifndef _WIN32
#include <filesystem>
#include <fstream>

#include "app/data_folder.h"
#include "app/settings.h"
#include "app/update_check.h"
#include "platform/portable/curl_http_client.h"
#include "platform/portable/portable_machine.h"
#include "testing/loopback_http_server.h"
#include "testing/test_env.h"
#endif

namespace hs {
namespace {

CliArguments Parsed(std::vector<std::string> args) {
  CliArguments a;
  std::string error;
  EXPECT_TRUE(ParseCliArguments(args, &a, &error)) << error;
  return a;
}

std::string Refused(std::vector<std::string> args) {
  CliArguments a;
  std::string error;
  EXPECT_FALSE(ParseCliArguments(args, &a, &error));
  EXPECT_FALSE(error.empty());
  return error;
}

TEST(CliArguments, CommandsAndTheirOptions) {
  CliArguments a = Parsed({"scan", "--machine", "m", "--data=d", "--areas", "0x0102"});
  EXPECT_EQ(CliCommand::kScan, a.command);
  EXPECT_EQ("m", a.machine);
  EXPECT_EQ("d", a.data);
  ASSERT_TRUE(a.areas.has_value());
  EXPECT_EQ(0x0102u, *a.areas);

  a = Parsed({"scan"});
  EXPECT_TRUE(a.machine.empty() && a.data.empty() && !a.areas.has_value());
  EXPECT_EQ(0, a.language) << "English";
  EXPECT_EQ(14, Parsed({"scan", "--lang", "ru"}).language);
  EXPECT_EQ(19, Parsed({"gui", "--lang=zhcn"}).language);
  EXPECT_NE(std::string::npos, Refused({"scan", "--lang", "russian"}).find("not a language code"));
  Refused({"backups", "--lang", "de"});

  a = Parsed({"show", "--machine=samples/x"});
  EXPECT_EQ(CliCommand::kShow, a.command);
  EXPECT_EQ("samples/x", a.machine);

  a = Parsed({"regcheck", "a.reg", "--view", "32", "b.reg"});
  EXPECT_EQ(CliCommand::kRegCheck, a.command);
  EXPECT_TRUE(a.view32);
  EXPECT_EQ((std::vector<std::string>{"a.reg", "b.reg"}), a.files);

  a = Parsed({"defrag", "optimize", "--machine", "m", "--data", "d"});
  EXPECT_EQ(CliCommand::kDefragOptimize, a.command);
  EXPECT_EQ("m", a.machine);
  EXPECT_EQ("d", a.data);
  EXPECT_EQ(CliCommand::kDefragAnalyze, Parsed({"defrag", "analyze"}).command);
  EXPECT_EQ(CliCommand::kDefragSummary, Parsed({"defrag", "summary", "--data=x"}).command);
  EXPECT_EQ(CliCommand::kBootCompact, Parsed({"bootcompact", "--machine", "m"}).command);
  EXPECT_NE(std::string::npos, Refused({"defrag"}).find("analyze, optimize or summary"));
  EXPECT_NE(std::string::npos, Refused({"defrag", "--machine", "m"}).find("analyze, optimize or summary"));
  Refused({"defrag", "analyze", "--areas", "1"});
  Refused({"bootcompact", "extra"});
  a = Parsed({"schedule", "list", "--machine", "m", "--data", "d"});
  EXPECT_EQ(CliCommand::kScheduleList, a.command);
  EXPECT_EQ("m", a.machine);
  EXPECT_EQ("d", a.data);
  EXPECT_NE(std::string::npos, Refused({"schedule"}).find("schedule needs list"));
  EXPECT_NE(std::string::npos, Refused({"schedule", "weekly"}).find("schedule needs list"));
  Refused({"schedule", "list", "--areas", "1"});

  for (auto args : std::vector<std::vector<std::string>>{{"--help"}, {"-h"}, {"help"}, {"scan", "--bogus", "-h"}})
    EXPECT_EQ(CliCommand::kHelp, Parsed(args).command);
  EXPECT_NE(std::string::npos, CliUsage().find("hivesweep scan [--machine DIR] [--data DIR] [--areas MASK]"));
  EXPECT_NE(std::string::npos, CliUsage().find("0x2000 CDeepScanCU"));
}

TEST(CliArguments, BadCommandLinesAreRefused) {
  EXPECT_EQ("no command given", Refused({}));
  EXPECT_EQ("unknown command \"clean\"", Refused({"clean"}));
  EXPECT_EQ("unknown option \"--bogus\" for scan", Refused({"scan", "--bogus"}));
  EXPECT_EQ("unexpected argument \"extra\" for scan", Refused({"scan", "extra"}));
  EXPECT_EQ("unknown option \"--data\" for show", Refused({"show", "--data", "d"}));
  EXPECT_EQ("unknown option \"--machine\" for regcheck", Refused({"regcheck", "--machine", "m", "a.reg"}));
  EXPECT_EQ("--machine needs a value", Refused({"scan", "--machine"}));
  EXPECT_EQ("--machine needs a value", Refused({"scan", "--machine", "--data", "d"}));
  EXPECT_EQ("--data needs a value", Refused({"scan", "--data="}));
  EXPECT_EQ("--data is given twice", Refused({"scan", "--data", "a", "--data", "b"}));
  EXPECT_NE(std::string::npos, Refused({"scan", "--areas", "0x4000"}).find("--areas"));
  EXPECT_EQ("--view: 32 or 64, not \"16\"", Refused({"regcheck", "--view", "16", "a.reg"}));
  EXPECT_EQ("regcheck needs at least one .reg file", Refused({"regcheck", "--view", "64"}));
  EXPECT_EQ("unknown option \"--machinery\" for scan", Refused({"scan", "--machinery", "x"}));
}

TEST(CliArguments, BackupCommands) {
  EXPECT_EQ(CliCommand::kBackup, Parsed({"backup", "--data", "d"}).command);
  CliArguments a = Parsed({"restore", "1765204171.reg", "--machine", "m"});
  EXPECT_EQ(CliCommand::kRestore, a.command);
  EXPECT_EQ("1765204171.reg", a.file);
  a = Parsed({"delete-backup", "--undo", "2"});
  EXPECT_EQ(CliCommand::kDeleteBackup, a.command);
  EXPECT_EQ(2, a.undo_number);
  EXPECT_TRUE(a.file.empty());
  EXPECT_EQ("x.reg", Parsed({"delete-backup", "x.reg"}).file);
  EXPECT_NE(std::string::npos, Refused({"restore"}).find("restore needs"));
  EXPECT_NE(std::string::npos, Refused({"delete-backup"}).find("either"));
  EXPECT_NE(std::string::npos, Refused({"delete-backup", "x.reg", "--undo", "1"}).find("either"));
  EXPECT_EQ("unexpected argument \"y.reg\" for restore", Refused({"restore", "x.reg", "y.reg"}));
  EXPECT_EQ("unexpected argument \"x.reg\" for backup", Refused({"backup", "x.reg"}));
}

TEST(CliArguments, GuiTakesAPortAndNoBrowser) {
  const CliArguments a = Parsed({"gui", "--port", "8080", "--no-browser", "--machine", "m", "--data", "d"});
  EXPECT_EQ(CliCommand::kGui, a.command);
  EXPECT_EQ(8080, a.port);
  EXPECT_TRUE(a.no_browser);
  EXPECT_EQ("m", a.machine);
  const CliArguments defaults = Parsed({"gui"});
  EXPECT_EQ(0, defaults.port);
  EXPECT_FALSE(defaults.no_browser);
  for (const char* port : {"0", "65536", "80a", "-1", "123456"}) Refused({"gui", "--port", port});
  Refused({"gui", "--areas", "1"});
  Refused({"scan", "--no-browser"});
}

TEST(CliArguments, UpdateCheckTakesAnEndpoint) {
  const CliArguments a = Parsed({"update-check", "--endpoint", "http://127.0.0.1:1/u.asp", "--data", "d"});
  EXPECT_EQ(CliCommand::kUpdateCheck, a.command);
  EXPECT_EQ("http://127.0.0.1:1/u.asp", a.endpoint);
  EXPECT_EQ("d", a.data);
  EXPECT_TRUE(Parsed({"update-check"}).endpoint.empty());
  Refused({"update-check", "--endpoint"});
  Refused({"scan", "--endpoint", "http://127.0.0.1:1/u.asp"});
  Refused({"update-check", "--all"});
}

TEST(CliArguments, AreaMasks) {
  std::uint32_t m = 0;
  EXPECT_TRUE(ParseAreaMask("0x3FFF", &m));
  EXPECT_EQ(0x3FFFu, m);
  EXPECT_TRUE(ParseAreaMask("0x00ff", &m));
  EXPECT_EQ(0xFFu, m);
  EXPECT_TRUE(ParseAreaMask("16383", &m));
  EXPECT_EQ(0x3FFFu, m);
  for (const char* bad : {"0", "0x0", "0x4000", "16384", "", "0x", "-1", "+1", "12a", "0x1g", "0x000000001", " 1",
                          "99999999999"})
    EXPECT_FALSE(ParseAreaMask(bad, &m)) << bad;
}

TEST(CliOutput, RegistryDataCannotDriveTheTerminal) {
  EXPECT_EQ("a\\x1b[2Jb\\x0d\\x0ac\\x9b\\x2028", PrintableText(u"a\x1b[2Jb\r\nc\u009b\u2028"));
  EXPECT_EQ("\xC3\xA9t\xC3\xA9\\x09x", PrintableText(u"\u00e9t\u00e9\tx"));
  const std::string long_text = PrintableText(Text(5000, u'x'));
  EXPECT_EQ(1024u + 3, long_text.size());
  EXPECT_EQ("...", long_text.substr(1024));
}

#ifndef _WIN32

namespace stdfs = std::filesystem;
using ::hs::testing::LoopbackHttpServer;

// The sample machine of the source tree, with its data and program folders
// in a scratch folder.
class SampleScan : public ::testing::Test {
 protected:
  SampleScan() {
    base_ = stdfs::temp_directory_path() / ToUtf8(::hs::testing::UniqueName("hs_cli"));
    stdfs::create_directories(base_ / "prog");
    std::ofstream(base_ / "prog" / "eng_hsw.ini", std::ios::binary)
        << "[RESOURCESTRING]\r\nIDS_APPLICATION=Application Paths\r\nIDS_SOFTWARE=Installed Software\r\n"
           "IDS_ERROR=problem\r\nIDS_ERRORS=problems\r\n";
    options_.folder = stdfs::path(::hs::testing::SourceDir()) / "samples" / "demo-machine";
    options_.data_folder = base_ / "data";
    options_.program_folder = base_ / "prog";
    options_.data_folder_of = DataFolderPath;
  }
  ~SampleScan() override {
    std::error_code ec;
    stdfs::remove_all(base_, ec);
  }

  int Scan(std::optional<std::uint32_t> areas = std::nullopt,
           const std::function<void(PortableMachine&)>& prepare = nullptr, ScanWatcher watcher = nullptr) {
    std::string error;
    machine_ = PortableMachine::Load(options_, &error);
    EXPECT_NE(nullptr, machine_) << error;
    if (!machine_) return -1;
    if (prepare) prepare(*machine_);
    ScanPorts ports = Ports();
    ScanOptions o;
    o.areas = areas;
    o.source = "the sample machine";
    o.data_display = "DATA";
    o.watcher = std::move(watcher);
    out_.str("");
    err_.str("");
    return RunScan(ports, o, out_, err_);
  }

  ScanPorts Ports() {
    PortableMachine& m = *machine_;
    return ScanPorts{m.registry(), m.wow64(), m.system(), m.protection(), m.fs(), m.clock(), m.folders(),
                     m.shell(), m.xml(), m.program_ini(), m.program_fs(), m.program_folder()};
  }

  stdfs::path base_;
  PortableMachine::Options options_;
  std::unique_ptr<PortableMachine> machine_;
  std::ostringstream out_, err_;
};

TEST_F(SampleScan, ScansEveryTickedAreaAndWritesTheResults) {
  ASSERT_EQ(kExitOk, Scan()) << err_.str();
  const std::string out = out_.str();
  EXPECT_EQ(0u, out.find("Scanning the sample machine\n")) << out;
  for (const AreaInfo& a : kAreas) {
    const bool named = a.bit == 0x0002 || a.bit == 0x0100;
    EXPECT_NE(std::string::npos, out.find(named ? "  Application Paths" : std::string("  ") + a.class_name))
        << a.class_name << "\n" << out;
  }
  EXPECT_NE(std::string::npos, out.find("  Total ")) << out;
  EXPECT_NE(std::string::npos, out.find("Results: DATA")) << out;
  EXPECT_NE(std::string::npos, err_.str().find("warning: no texts")) << "texts of other areas are missing";
  EXPECT_TRUE(stdfs::exists(options_.data_folder / "results.hsw"));
  EXPECT_TRUE(stdfs::exists(options_.data_folder / "HSWscanlog.xml"));
  std::ifstream xml(options_.data_folder / "HSWscanlog.xml");
  const std::string log((std::istreambuf_iterator<char>(xml)), std::istreambuf_iterator<char>());
  EXPECT_NE(std::string::npos, log.find("<HSWVERSION>0.1.0</HSWVERSION>"));
  // Nothing lands in the machine folder.
  EXPECT_FALSE(stdfs::exists(options_.folder / "drive_c" / "Users" / "demo" / "AppData" / "Roaming" / "Corvanta"));
}

TEST_F(SampleScan, AWatcherSeesItemsOfTheAreasAndCanStopTheScan) {
  std::set<std::uint32_t> areas;
  int items = 0;
  ASSERT_EQ(kExitOk, Scan(std::nullopt, nullptr, [&](TextView, std::uint32_t bit, const ScanManager&) {
              areas.insert(bit);
              ++items;
              return false;
            }));
  EXPECT_GT(items, 2);
  EXPECT_EQ(0u, areas.count(0)) << "every item comes with the area being scanned";
  EXPECT_GT(areas.size(), 2u);
  const std::string whole = out_.str();

  int after_stop = 0;
  ASSERT_EQ(kExitOk, Scan(std::nullopt, nullptr, [&](TextView, std::uint32_t, const ScanManager&) {
              ++after_stop;
              return true;
            }));
  EXPECT_LT(after_stop, items) << "the scan stops early";
  EXPECT_NE(whole, out_.str());
}

TEST_F(SampleScan, ProblemsArePrintedPerArea) {
  ASSERT_EQ(kExitOk, Scan(0x0002)) << err_.str();
  const std::string out = out_.str();
  EXPECT_EQ(std::string::npos, out.find("  Fonts")) << "unticked areas are not listed";
  // The sample's App Paths entry of a removed program, with its key and data.
  const std::size_t header = out.find("\nApplication Paths (");
  ASSERT_NE(std::string::npos, header) << out;
  EXPECT_NE(std::string::npos,
            out.find("  HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\oldtool.exe",
                     header))
      << out;
  EXPECT_NE(std::string::npos, out.find("    data:  C:\\Program Files\\Old Tool\\oldtool.exe", header)) << out;
  EXPECT_EQ(std::string::npos, out.find("PhotoFix.exe")) << "present programs are not reported\n" << out;
}

TEST_F(SampleScan, TheStoredSelectionChoosesTheAreas) {
  auto select = [](std::uint32_t mask) {
    return [mask](PortableMachine& m) {
      NullLog log;
      SettingsStore store(m.registry(), log);
      ASSERT_EQ(err::kSuccess, store.WriteProfileInt(settings_value::kSettingsSection,
                                                     settings_value::kSelectedCategories, mask));
    };
  };
  ASSERT_EQ(kExitOk, Scan(std::nullopt, select(0x0100))) << err_.str();
  EXPECT_NE(std::string::npos, out_.str().find("  Installed Software")) << out_.str();
  EXPECT_EQ(std::string::npos, out_.str().find("  Application Paths")) << out_.str();

  EXPECT_EQ(kExitFailed, Scan(std::nullopt, select(0x4000)));
  EXPECT_NE(std::string::npos, err_.str().find("no scan area is ticked")) << err_.str();
  EXPECT_EQ(kExitOk, Scan(0x0008, select(0))) << "--areas overrides the selection";
}

TEST_F(SampleScan, AnUnwritableResultsFileFailsTheRun) {
  stdfs::create_directories(options_.data_folder / "results.hsw");
  EXPECT_EQ(kExitFailed, Scan());
  EXPECT_NE(std::string::npos, err_.str().find("cannot write results.hsw in DATA")) << err_.str();
  EXPECT_TRUE(stdfs::exists(options_.data_folder / "HSWscanlog.xml")) << "the scan log is written all the same";
}


TEST_F(SampleScan, UpdateCheckDescribesTheOfferAndRunsNothing) {
  LoopbackHttpServer server;
  ASSERT_GT(server.port(), 0);
  const std::string answer = "/Corvanta/HiveSweep/update.asp?v=0.1.0";
  server.Reply(answer, LoopbackHttpServer::Ok("[Application]\r\nPROGRAM_VERSION=0.2\r\nPROGRAM_URL=" +
                                              server.Url("/setup.exe") + "\r\nPROGRAM_SHA256=AB12\r\n"));
  std::string error;
  machine_ = PortableMachine::Load(options_, &error);
  ASSERT_NE(nullptr, machine_) << error;
  // The endpoint of the settings value.
  NullLog log;
  SettingsStore store(machine_->registry(), log);
  ASSERT_EQ(err::kSuccess,
            store.WriteText(kUpdateEndpointValue, FromUtf8(server.Url("/Corvanta/HiveSweep/update.asp"))));
  CurlHttpClient http;
  ScanPorts ports = Ports();
  ports.http = &http;
  ports.data_ini = &machine_->ini();
  ports.own_version = u"0.1.0";
  ASSERT_EQ(kExitOk, RunUpdateCheck(ports, u"", out_, err_)) << err_.str();
  const std::string out = out_.str();
  EXPECT_NE(std::string::npos, out.find("Own version: " + ToUtf8(kProgramVersion) + "\nRequest: " + server.Url(answer) + "\n")) << out;
  EXPECT_NE(std::string::npos, out.find("PROGRAM_VERSION = 0.2\n")) << out;
  EXPECT_NE(std::string::npos, out.find("Would do: ask to install, download " + server.Url("/setup.exe"))) << out;
  EXPECT_NE(std::string::npos, out.find("only if its SHA-256 is ab12")) << out;
  EXPECT_EQ(std::vector<std::string>{"GET " + answer}, server.Requests()) << "nothing but the answer is fetched";

  // An endpoint given on the command line wins; a 404 is no answer.
  out_.str("");
  EXPECT_EQ(kExitFailed, RunUpdateCheck(ports, FromUtf8(server.Url("/gone.asp")), out_, err_));
  EXPECT_NE(std::string::npos, out_.str().find("Answer: none (HTTP status 404)")) << out_.str();
  EXPECT_NE(std::string::npos, out_.str().find("Would do: nothing")) << out_.str();
}

#endif

TEST(CliSchedule, TriggersAreDescribedMondayFirst) {
  EXPECT_EQ("weekly from 2026-12-10 09:30, every 2 week on Mon, Fri, Sun",
            DescribeTrigger(TaskTrigger{TriggerKind::kWeekly, 2026, 12, 10, 9, 30, 2, 0x23}));
  EXPECT_EQ("daily from 2026-12-09 15:01, every 1 day", DescribeTrigger(TaskTrigger{TriggerKind::kDaily, 2026, 12, 9, 15, 1}));
  EXPECT_EQ("once at 2027-01-02 03:04", DescribeTrigger(TaskTrigger{TriggerKind::kOnce, 2027, 1, 2, 3, 4}));
  EXPECT_EQ("monthly from 2026-12-01 12:00 on day 1, 31",
            DescribeTrigger(TaskTrigger{TriggerKind::kMonthlyDate, 2026, 12, 1, 12, 0, 1, 0, 0x40000001u, kAllMonths}));
}

}  // namespace
}  // namespace hs
