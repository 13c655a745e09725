// DebugLog over the platform's real file system (Win32 under Wine, the host
// adapter natively) in a temporary folder, with a hand-set clock.
#include "app/debug_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "testing/fault_file_system.h"
#include "testing/manual_clock.h"
#include "testing/test_env.h"
#ifdef _WIN32
#include "platform/win32/win32_file_system.h"
#else
#include "platform/portable/host_file_system.h"
#endif

namespace hs {
namespace {

namespace stdfs = std::filesystem;

class FixedFolders final : public ShellFolders {
 public:
  explicit FixedFolders(Text app_data) : app_data_(std::move(app_data)) {}
  Text AppDataFolder() override { return app_data_; }

 private:
  Text app_data_;
};

std::vector<std::uint8_t> Utf16(TextView text) { return ToUtf16leBytes(text); }

class DebugLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = stdfs::temp_directory_path() / ToUtf8(::hs::testing::UniqueName("hs_log"));
    stdfs::create_directories(host_);
#ifdef _WIN32
    const std::wstring w = host_.wstring();
    root_.assign(w.begin(), w.end());
    while (!root_.empty() && root_.back() == u'\\') root_.pop_back();
#else
    fs_.MapDrive(u'C', host_);
    root_ = u"C:";
#endif
    app_data_ = root_ + u"\\Users\\me\\AppData\\Roaming";
    folder_ = app_data_ + u"\\Corvanta\\HiveSweep";
  }
  void TearDown() override {
    std::error_code ec;
    stdfs::remove_all(host_, ec);
  }

  Text File(TextView name) const { return folder_ + u"\\" + Text(name); }

  Text ReadText(TextView name) {
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(fs_.ReadFile(File(name), 1 << 24, &bytes), err::kSuccess);
    EXPECT_EQ(bytes.size() % 2, 0u);
    return FromUtf16leBytes(bytes.data(), bytes.size());
  }

  stdfs::path host_;
  Text root_, app_data_, folder_;
#ifdef _WIN32
  Win32FileSystem fs_;
#else
  HostFileSystem fs_;
#endif
};

TEST_F(DebugLogTest, TimeStampsLinesMoreThanASecondApart) {
  ManualClock clock(DateTime{2026, 12, 7, 10, 20, 30, 0}, 0, 5000);
  FixedFolders folders(app_data_);
  DebugLog log(fs_, clock, folders);

  log.LogLine(u"first");
  clock.AdvanceMs(500);
  log.LogLine(u"second");
  clock.AdvanceMs(500);  // exactly 1000 ms since the stamp: not more
  log.LogLine(u"third");
  clock.AdvanceMs(1);
  log.LogLine(u"Gr\u00fc\u00dfe \u2603");
  log.LogLine(u"");

  std::vector<std::uint8_t> bytes;
  ASSERT_EQ(fs_.ReadFile(File(u"log_12-07-2026.log"), 1 << 20, &bytes), err::kSuccess);
  // UTF-16LE without a byte-order mark.
  EXPECT_EQ(bytes, Utf16(u"1   10:20:30   first\r\n"
                         u"2   second\r\n"
                         u"3   third\r\n"
                         u"4   10:20:31   Gr\u00fc\u00dfe \u2603\r\n"
                         u"5   \r\n"));
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes[0], '1');
  EXPECT_EQ(bytes[1], 0);
}

TEST_F(DebugLogTest, HostileDataCannotForgeLinesButTheProgramsOwnBreaksStay) {
  ManualClock clock(DateTime{2026, 3, 4, 5, 6, 7, 0});
  FixedFolders folders(app_data_);
  DebugLog log(fs_, clock, folders);
  log.LogLine(u"Entry:\r\n Key:" + LogSafe(u"key\r\n2   05:06:07   forged\rx\ny\u2028z"));
  EXPECT_EQ(ReadText(u"log_03-04-2026.log"), u"1   05:06:07   Entry:\r\n Key:key  2   05:06:07   forged x y z\r\n");
}

TEST_F(DebugLogTest, DateChangeClosesTheFileAndRestartsTheCount) {
  ManualClock clock(DateTime{2026, 12, 31, 23, 59, 59, 0}, 0, 100);
  FixedFolders folders(app_data_);
  DebugLog log(fs_, clock, folders);
  log.LogLine(u"a");
  log.LogLine(u"b");
  clock.AdvanceMs(1500);
  log.LogLine(u"c");
  log.LogLine(u"d");

  EXPECT_EQ(ReadText(u"log_12-31-2026.log"), u"1   23:59:59   a\r\n2   b\r\nClosing Log\r\n\r\n");
  EXPECT_EQ(ReadText(u"log_01-01-2027.log"), u"1   00:00:00   c\r\n2   d\r\n");

  // A date change within the second still switches files; the stamp
  // follows the 1000 ms rule only.
  clock.SetLocalTime(DateTime{2027, 1, 2, 8, 0, 0, 0});
  clock.AdvanceMs(10);
  log.LogLine(u"e");
  EXPECT_EQ(ReadText(u"log_01-02-2027.log"), u"1   e\r\n");
}

TEST_F(DebugLogTest, AppendsToAnExistingFileWithoutTruncating) {
  ASSERT_EQ(fs_.CreateDirectories(folder_), err::kSuccess);
  ASSERT_EQ(fs_.WriteFileAtomic(File(u"log_05-06-2026.log"), Utf16(u"earlier run\r\n")), err::kSuccess);
  ManualClock clock(DateTime{2026, 5, 6, 7, 8, 9, 0});
  FixedFolders folders(app_data_);
  {
    DebugLog log(fs_, clock, folders);
    log.LogLine(u"x");
  }
  {
    DebugLog log(fs_, clock, folders);  // the next run of the program
    log.LogLine(u"y");
  }
  EXPECT_EQ(ReadText(u"log_05-06-2026.log"), u"earlier run\r\n1   07:08:09   x\r\n1   07:08:09   y\r\n");
}

TEST_F(DebugLogTest, CreatesTheDataFolderWhenMissing) {
  ManualClock clock(DateTime{2026, 1, 2});
  FixedFolders folders(app_data_ + u"\\");
  DebugLog log(fs_, clock, folders);
  log.LogLine(u"hello");
  EXPECT_TRUE(fs_.IsDirectory(folder_));
  EXPECT_EQ(ReadText(u"log_01-02-2026.log"), u"1   00:00:00   hello\r\n");
}

TEST_F(DebugLogTest, LinesAreDroppedWhileTheFileCannotBeOpened) {
  ManualClock clock(DateTime{2026, 7, 8, 9, 10, 11, 0});
  {
    // The application-data folder is a file: nothing can be created.
    ASSERT_EQ(fs_.WriteFileAtomic(root_ + u"\\blocker", Utf16(u"x")), err::kSuccess);
    FixedFolders folders(root_ + u"\\blocker");
    DebugLog log(fs_, clock, folders);
    log.LogLine(u"lost");
    log.LogLine(u"lost too");
    EXPECT_FALSE(fs_.Exists(root_ + u"\\blocker\\Corvanta"));
  }
  {
    // Unknown application-data folder: no relative fallback.
    FixedFolders folders(u"");
    DebugLog log(fs_, clock, folders);
    log.LogLine(u"lost");
  }
  {
    // The file cannot be opened for a while; the first line after that
    // starts the file.
    FaultFileSystem faulty(fs_);
    faulty.FailOp(FsOp::kOpenAppend, err::kSharingViolation);
    FixedFolders folders(app_data_);
    DebugLog log(faulty, clock, folders);
    log.LogLine(u"lost");
    clock.AdvanceMs(200);
    log.LogLine(u"lost");
    faulty.ClearFaults();
    log.LogLine(u"kept");
    EXPECT_EQ(ReadText(u"log_07-08-2026.log"), u"1   09:10:11   kept\r\n");
  }
}

TEST_F(DebugLogTest, FailedAppendsLeaveAGapInTheCount) {
  ManualClock clock(DateTime{2026, 7, 8, 9, 10, 11, 0});
  FaultFileSystem faulty(fs_);
  FixedFolders folders(app_data_);
  DebugLog log(faulty, clock, folders);
  log.LogLine(u"a");
  faulty.FailOp(FsOp::kAppend, err::kDiskFull);
  log.LogLine(u"b");
  faulty.ClearFaults();
  log.LogLine(u"c");
  EXPECT_EQ(ReadText(u"log_07-08-2026.log"), u"1   09:10:11   a\r\n3   c\r\n");
}

TEST_F(DebugLogTest, ConcurrentLinesStayWholeAndDistinct) {
  ManualClock clock(DateTime{2026, 2, 3, 4, 5, 6, 0});
  FixedFolders folders(app_data_);
  DebugLog log(fs_, clock, folders);
  constexpr int kThreads = 4, kPerThread = 250;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&log, t] {
      for (int i = 0; i < kPerThread; ++i) log.LogLine(u"thread " + ToText(t) + u" line " + ToText(i));
    });
  }
  for (auto& th : threads) th.join();

  std::vector<Text> lines = Split(ReadText(u"log_02-03-2026.log"), u'\n');
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kPerThread + 1));
  EXPECT_EQ(lines.back(), u"");
  lines.pop_back();
  std::set<Text> payloads;
  for (std::size_t n = 0; n < lines.size(); ++n) {
    Text prefix = ToText(static_cast<std::int64_t>(n + 1)) + (n == 0 ? u"   04:05:06   " : u"   ");
    ASSERT_TRUE(lines[n].starts_with(prefix)) << ToUtf8(lines[n]);
    ASSERT_TRUE(lines[n].ends_with(u"\r")) << ToUtf8(lines[n]);
    payloads.insert(lines[n].substr(prefix.size(), lines[n].size() - prefix.size() - 1));
  }
  EXPECT_EQ(payloads.size(), lines.size());
  EXPECT_TRUE(payloads.count(u"thread 3 line 249"));
  EXPECT_TRUE(payloads.count(u"thread 0 line 0"));
}

}  // namespace
}  // namespace hs
