#include "defrag/hive_installer.h"

#include <gtest/gtest.h>

#include <random>

#include "defrag/boot_compact.h"
#include "testing/defrag_doubles.h"
#include "testing/fake_hives.h"
#include "testing/memory_log.h"

namespace hs {
namespace {

using testing::FakeHives;
using testing::RecordingPrompts;

Text Texts(TextView key) {
  if (key == u"IDS_OPT_AT_NEXT_RESTART") return u"Restart now?";
  if (key == u"IDS_SHUTDOWN_MSG_DEFRAG") return u"Restarting to optimize";
  return Text(key);
}

constexpr TextView kParamPath = u"C:\\Windows\\system32\\QTMKXSet.bin";

struct Install {
  FakeHives hives;
  RecordingPrompts prompts{PromptAnswer::kNo};
  MemoryLog log;
  int major = 6;
  bool windows64 = true;

  Install() {
    hives.AddHive(u"\\REGISTRY\\MACHINE\\HARDWARE", u"C:\\none", 0, 0);
    hives.hivelist.back().path.clear();
    hives.AddHive(u"\\REGISTRY\\USER\\S-1-5-21-1", u"C:\\Users\\demo\\NTUSER.DAT", 300, 100);
    hives.AddHive(u"\\REGISTRY\\MACHINE\\SYSTEM", u"C:\\Windows\\System32\\config\\SYSTEM", 400, 100);
    hives.AddHive(u"\\REGISTRY\\MACHINE\\SOFTWARE", u"C:\\Windows\\System32\\config\\SOFTWARE", 500, 100);
    hives.AddHive(u"\\REGISTRY\\USER\\.DEFAULT", u"C:\\Windows\\System32\\config\\DEFAULT", 600, 100);
    hives.AddHive(u"\\REGISTRY\\MACHINE\\SECURITY", u"C:\\Windows\\System32\\config\\SECURITY", 700, 100);
    hives.AddHive(u"\\REGISTRY\\MACHINE\\SAM", u"C:\\Windows\\System32\\config\\SAM", 800, 100);
    hives.AddHive(u"\\REGISTRY\\MACHINE\\COMPONENTS", u"C:\\Windows\\System32\\config\\COMPONENTS", 900, 100);
    hives.AddHive(u"\\REGISTRY\\USER\\S-1-5-21-1_Classes", u"C:\\Users\\demo\\UsrClass.dat", 1000, 100);
    hives.PutFile(u"C:\\Windows\\system32\\KXBoot64.exe", {1});
    hives.PutFile(u"C:\\Windows\\system32\\KXBoot.exe", {1});
  }
  HiveInstaller Make() { return HiveInstaller({hives, prompts, log, Texts, major, windows64}); }
  std::vector<Text> Listed() {
    HiveInstaller i = Make();
    EXPECT_TRUE(i.BuildHiveList());
    std::vector<Text> names;
    for (const SHiveInfoParams& p : i.params) names.push_back(p.name);
    return names;
  }
};

TEST(HiveInstaller, HiveListOrderAndSelection) {
  Install t;
  EXPECT_EQ(t.Listed(), (std::vector<Text>{u"\\REGISTRY\\MACHINE\\SAM", u"\\REGISTRY\\MACHINE\\SECURITY",
                                            u"\\REGISTRY\\MACHINE\\SOFTWARE", u"\\REGISTRY\\MACHINE\\SYSTEM",
                                            u"\\REGISTRY\\USER\\S-1-5-21-1", u"\\REGISTRY\\USER\\S-1-5-21-1_Classes"}));
  HiveInstaller i = t.Make();
  ASSERT_TRUE(i.BuildHiveList());
  EXPECT_EQ(i.params[0].filePath, u"C:\\Windows\\System32\\config\\SAM");
  EXPECT_EQ(i.params[0].devicePath, u"\\Device\\HarddiskVolume1\\Windows\\System32\\config\\SAM");
  EXPECT_EQ(i.params[0].size, 800u);
  EXPECT_EQ(i.params[0].mode, 1u);
}

TEST(HiveInstaller, SoftwareLeftOutOnVista64Only) {
  const auto has_software = [](Install& t) {
    const std::vector<Text> names = t.Listed();
    return std::find(names.begin(), names.end(), u"\\REGISTRY\\MACHINE\\SOFTWARE") != names.end();
  };
  Install vista64;
  vista64.hives.minor_version = 0;
  EXPECT_FALSE(has_software(vista64));
  Install vista32;
  vista32.hives.minor_version = 0;
  vista32.windows64 = false;
  EXPECT_TRUE(has_software(vista32));
  Install seven64;
  EXPECT_TRUE(has_software(seven64));
  Install xp64;
  xp64.major = 5;
  xp64.hives.minor_version = 0;
  EXPECT_TRUE(has_software(xp64));
}

TEST(HiveInstaller, HivesOffFixedDrivesOrEmptyAreLeftOut) {
  Install t;
  t.hives.hivelist[1].path = u"\\Device\\CdRom0\\Users\\demo\\NTUSER.DAT";  // no fixed drive
  t.hives.PutFile(u"C:\\Windows\\System32\\config\\SYSTEM", {});             // empty file
  t.hives.hivelist.push_back({u"\\REGISTRY\\MACHINE\\SAMX", u"C:\\samx"});
  const std::vector<Text> names = t.Listed();
  EXPECT_EQ(names, (std::vector<Text>{u"\\REGISTRY\\MACHINE\\SAM", u"\\REGISTRY\\MACHINE\\SECURITY",
                                       u"\\REGISTRY\\MACHINE\\SOFTWARE", u"\\REGISTRY\\USER\\S-1-5-21-1_Classes"}));
  t.hives.list_error = err::kFileNotFound;
  HiveInstaller i = t.Make();
  EXPECT_FALSE(i.BuildHiveList());
}

TEST(HiveInstaller, ParameterFileBytes) {
  Install t;
  t.hives.hivelist.resize(1);
  t.hives.hivelist[0] = {u"\\REGISTRY\\MACHINE\\SAM", u"\\Device\\HarddiskVolume1\\S"};
  t.hives.PutFile(u"C:\\S", {1, 2, 3});
  HiveInstaller i = t.Make();
  Text nt;
  ASSERT_TRUE(i.BuildHiveList());
  ASSERT_TRUE(i.WriteParameterFile(&nt));
  EXPECT_EQ(nt, u"\\??\\" + Text(kParamPath));
  std::vector<std::uint8_t> want = {1, 0, 0, 0, 6, 0, 0, 0, 2, 0, 0, 0, 21, 0, 0, 0, 25, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0};
  for (TextView t16 : {TextView(u"\\REGISTRY\\MACHINE\\SAM"), TextView(u"\\Device\\HarddiskVolume1\\S")}) {
    for (char16_t c : t16) {
      want.push_back(static_cast<std::uint8_t>(c));
      want.push_back(static_cast<std::uint8_t>(c >> 8));
    }
  }
  EXPECT_EQ(t.hives.File(kParamPath), want);
}

TEST(HiveInstaller, BootExecuteKeepsOtherEntries) {
  EXPECT_EQ(BootExecuteWithEntry({}, u"KXBoot64 \\??\\p"), (std::vector<Text>{u"autocheck autochk *", u"KXBoot64 \\??\\p"}));
  EXPECT_EQ(BootExecuteWithEntry({u"otherchk x", u"KXBoot \\??\\old", u"autocheck autochk /k:D *", u"kxboot64 y",
                                  u"autocheck autochk *", u"last"},
                                 u"KXBoot64 \\??\\p"),
            (std::vector<Text>{u"autocheck autochk /k:D *", u"KXBoot64 \\??\\p", u"otherchk x", u"last"}));
  const std::vector<Text> entries{u"a b", u"c"};
  EXPECT_EQ(MultiStringEntries(MultiStringData(entries)), entries);
  // An odd last byte is dropped, a missing terminator tolerated.
  EXPECT_EQ(MultiStringEntries({0x61, 0, 0x62}), (std::vector<Text>{u"a"}));
}

TEST(HiveInstaller, AnsweringNoStillInstalls) {
  Install t;
  RegValue old{kRegMultiSz, MultiStringData({u"autocheck autochk *", u"othercheck \\??\\C:\\x.log"})};
  t.hives.boot_execute = old;
  HiveInstaller i = t.Make();
  bool quit = true;
  ASSERT_TRUE(i.InstallBootCompaction(&quit));
  EXPECT_FALSE(quit);
  EXPECT_TRUE(i.installed);
  EXPECT_TRUE(t.hives.shutdowns.empty());
  EXPECT_EQ(t.prompts.shown, (std::vector<Text>{u"Restart now?"}));
  EXPECT_TRUE(t.hives.HasFile(kParamPath));
  EXPECT_EQ(MultiStringEntries(t.hives.boot_execute->data),
            (std::vector<Text>{u"autocheck autochk *", u"KXBoot64 \\??\\" + Text(kParamPath), u"othercheck \\??\\C:\\x.log"}));
}

TEST(HiveInstaller, AnsweringYesRestartsInSixtySeconds) {
  Install t;
  t.windows64 = false;
  t.prompts.answer = PromptAnswer::kYes;
  HiveInstaller i = t.Make();
  bool quit = false;
  ASSERT_TRUE(i.InstallBootCompaction(&quit));
  EXPECT_TRUE(quit);
  EXPECT_EQ(t.hives.shutdowns, (std::vector<Text>{u"-r -t 60 -c \"Restarting to optimize\""}));
  EXPECT_EQ(MultiStringEntries(t.hives.boot_execute->data)[1], u"KXBoot \\??\\" + Text(kParamPath));
  EXPECT_EQ(t.log.Lines().back(), u"PostQuitMessage : Restarting to optimize");
}

TEST(HiveInstaller, NoBootProgramNoInstallation) {
  Install t;
  t.hives.files.erase(u"C:\\WINDOWS\\SYSTEM32\\KXBOOT64.EXE");
  HiveInstaller i = t.Make();
  EXPECT_FALSE(i.InstallBootCompaction());
  EXPECT_FALSE(t.hives.HasFile(kParamPath));
  EXPECT_FALSE(t.hives.boot_execute.has_value());
  ASSERT_EQ(t.prompts.shown.size(), 1u);
  EXPECT_EQ(t.prompts.icons[0], PromptIcon::kError);
  EXPECT_NE(t.prompts.shown[0].find(u"KXBoot64.exe"), Text::npos);
}

TEST(HiveInstaller, FailureTexts) {
  {
    Install t;
    t.hives.create_error = err::kAccessDenied;
    HiveInstaller i = t.Make();
    EXPECT_FALSE(i.InstallBootCompaction());
    EXPECT_EQ(t.prompts.shown, (std::vector<Text>{u"Install failed!\r\nFailed to create parameter file2.\r\n"
                                                  u"Error code 0x05.\r\nmessage 5"}));
  }
  {
    Install t;
    t.hives.write_error = err::kDiskFull;
    HiveInstaller i = t.Make();
    EXPECT_FALSE(i.InstallBootCompaction());
    EXPECT_FALSE(t.hives.HasFile(kParamPath));  // deleted after the failed write
    EXPECT_EQ(t.prompts.shown[0], u"Install failed!\r\nError during file write.\r\nError code 0x70.\r\nmessage 112");
  }
  {
    Install t;
    t.hives.boot_open_error = err::kAccessDenied;
    HiveInstaller i = t.Make();
    EXPECT_FALSE(i.InstallBootCompaction());
    EXPECT_EQ(t.prompts.shown[0], u"Install failed!\r\nFailed to open registry key1\r\nError code 0x05.\r\nmessage 5");
  }
  {
    Install t;
    t.hives.boot_write_error = err::kAccessDenied;
    HiveInstaller i = t.Make();
    EXPECT_FALSE(i.InstallBootCompaction());
    EXPECT_EQ(t.prompts.shown[0], u"Install failed!\r\nFailed to write registry key1\r\nError code 0x05.\r\nmessage 5");
    EXPECT_FALSE(i.installed);
  }
  EXPECT_EQ(ErrorDetail(0, u"x"), u"Unknown error");
}

std::vector<std::uint8_t> ReadBack(std::uint32_t status, const std::vector<ParameterRecord>& records) {
  ParameterFile f;
  f.count = static_cast<std::uint32_t>(records.size());
  f.status = status;
  f.records = records;
  return EncodeParameterFile(f, ParameterForm::kReadBack);
}

TEST(HiveResultsReadBack, ReturnValuesAndCleanup) {
  Install t;
  const Text sam = u"C:\\Windows\\System32\\config\\SAM";
  t.hives.PutFile(sam + u".sav.log", {1});
  t.hives.PutFile(sam + u".bak", {1});
  {
    HiveInstaller i = t.Make();
    EXPECT_EQ(i.ReadCompactionResults(), -1);
  }
  // Still pending: 1, and no file is touched.
  t.hives.PutFile(kParamPath, ReadBack(kCompactionPending, {{u"\\REGISTRY\\MACHINE\\SAM", sam, 2000, 0}}));
  {
    HiveInstaller i = t.Make();
    EXPECT_EQ(i.ReadCompactionResults(), 1);
    EXPECT_TRUE(t.hives.deleted.empty());
    EXPECT_TRUE(t.hives.HasFile(sam + u".bak"));
  }
  t.hives.PutFile(kParamPath, ReadBack(kCompactionSucceeded, {{u"\\REGISTRY\\MACHINE\\SAM", sam, 2000, 0},
                                                              {u"\\REGISTRY\\MACHINE\\GONE", u"C:\\gone", 500, 0}}));
  {
    HiveInstaller i = t.Make();
    EXPECT_EQ(i.ReadCompactionResults(), 0);
    EXPECT_FALSE(t.hives.HasFile(sam + u".sav.log"));
    EXPECT_FALSE(t.hives.HasFile(sam + u".bak"));
    ASSERT_EQ(i.results.size(), 2u);
    EXPECT_EQ(i.results[0].sizeBefore, 2000u);
    EXPECT_EQ(i.results[0].sizeAfter, 2000u);  // the larger of 800 and 2000
    EXPECT_EQ(i.results[1].sizeAfter, 500u);   // no file: the size before
    EXPECT_EQ(i.header[2], kCompactionSucceeded);
  }
  t.hives.PutFile(kParamPath, ReadBack(7, {{u"\\REGISTRY\\MACHINE\\SAM", sam, 100, 0}}));
  {
    HiveInstaller i = t.Make();
    EXPECT_EQ(i.ReadCompactionResults(), 2);
    EXPECT_EQ(i.results[0].sizeAfter, 800u);
  }
}

TEST(HiveResultsReadBack, TruncatedOrGarbageFilesNeverCrash) {
  Install t;
  const std::vector<std::uint8_t> good = ReadBack(kCompactionSucceeded, {{u"\\REGISTRY\\MACHINE\\SAM", u"C:\\a", 9, 0},
                                                                         {u"\\REGISTRY\\MACHINE\\SECURITY", u"C:\\b", 9, 0}});
  for (std::size_t n = 0; n < good.size(); ++n) {
    t.hives.PutFile(kParamPath, std::vector<std::uint8_t>(good.begin(), good.begin() + n));
    HiveInstaller i = t.Make();
    EXPECT_EQ(i.ReadCompactionResults(), n < 12 ? -2 : -3) << n;
  }
  // A count far beyond the records present.
  std::vector<std::uint8_t> huge = good;
  huge[0] = huge[1] = huge[2] = huge[3] = 0xFF;
  t.hives.PutFile(kParamPath, huge);
  EXPECT_EQ(t.Make().ReadCompactionResults(), -3);
  std::mt19937 rng(42);
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::uint8_t> junk(rng() % 200);
    for (auto& b : junk) b = static_cast<std::uint8_t>(rng() % 4 == 0 ? rng() : rng() % 3);
    t.hives.PutFile(kParamPath, junk);
    HiveInstaller i = t.Make();
    const int r = i.ReadCompactionResults();
    EXPECT_TRUE(r >= -3 && r <= 2) << r;
    ParameterFile parsed;
    std::string why;
    (void)ParseParameterFile(junk, ParameterForm::kWritten, &parsed, &why);
    EXPECT_LE(parsed.records.size(), junk.size() / 16);
  }
}

TEST(BootCompaction, CompactsEveryListedHiveAndWritesStatusEight) {
  Install t;
  HiveInstaller i = t.Make();
  Text nt;
  ASSERT_TRUE(i.BuildHiveList() && i.WriteParameterFile(&nt));
  const BootCompactionOutcome r = RunBootCompaction(t.hives, t.hives);
  EXPECT_TRUE(r.ran);
  EXPECT_EQ(r.status, kCompactionSucceeded);
  EXPECT_EQ(t.hives.compacted.size(), 6u);
  EXPECT_EQ(t.hives.File(u"C:\\Windows\\System32\\config\\SAM").size(), 200u);
  HiveInstaller after = t.Make();
  EXPECT_EQ(after.ReadCompactionResults(), 0);
  ASSERT_EQ(after.results.size(), 6u);
  EXPECT_EQ(after.results[0].name, u"\\REGISTRY\\MACHINE\\SAM");
  EXPECT_EQ(after.results[0].sizeBefore, 800u);
  // Run again: nothing is pending.
  EXPECT_FALSE(RunBootCompaction(t.hives, t.hives).ran);
}

TEST(BootCompaction, AFailedHiveFailsTheStatusAndStaysAsItWas) {
  Install t;
  HiveInstaller i = t.Make();
  Text nt;
  ASSERT_TRUE(i.BuildHiveList() && i.WriteParameterFile(&nt));
  t.hives.compact_fails.insert(u"C:\\WINDOWS\\SYSTEM32\\CONFIG\\SECURITY");
  const BootCompactionOutcome r = RunBootCompaction(t.hives, t.hives);
  EXPECT_EQ(r.status, kCompactionFailed);
  EXPECT_EQ(t.hives.File(u"C:\\Windows\\System32\\config\\SECURITY").size(), 700u);
  EXPECT_EQ(t.Make().ReadCompactionResults(), 2);
  // A garbage parameter file is left alone.
  t.hives.PutFile(kParamPath, {1, 2, 3, 4, 5});
  EXPECT_FALSE(RunBootCompaction(t.hives, t.hives).ran);
  EXPECT_EQ(t.hives.File(kParamPath).size(), 5u);
}

}  // namespace
}  // namespace hs
