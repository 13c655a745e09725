// HostFileSystem: the mapping of Windows paths onto host folders, and atomic
// writes under injected faults. The behaviour shared with the Win32 adapter
// is covered by platform/contract/file_system_contract_test.cpp.
#include "platform/portable/host_file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <string>
#include <thread>

#include "testing/fault_file_system.h"
#include "testing/test_env.h"

namespace hs {
namespace {

namespace stdfs = std::filesystem;

std::vector<std::uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

class HostFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = stdfs::temp_directory_path() / ToUtf8(::hs::testing::UniqueName("hs_hostfs"));
    root_ = base_ / "c";
    stdfs::create_directories(root_);
    fs_.MapDrive(u'c', root_);
  }
  void TearDown() override {
    std::error_code ec;
    stdfs::remove_all(base_, ec);
  }

  void HostPut(const stdfs::path& rel, std::string_view content) {
    stdfs::create_directories((root_ / rel).parent_path());
    std::ofstream(root_ / rel, std::ios::binary) << content;
  }
  std::string HostGet(const stdfs::path& rel) {
    std::ifstream in(root_ / rel, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string Read(TextView path) {
    std::vector<std::uint8_t> out;
    EXPECT_EQ(fs_.ReadFile(path, 1 << 20, &out), err::kSuccess);
    return std::string(out.begin(), out.end());
  }
  std::vector<std::string> HostNames(const stdfs::path& rel) {
    std::vector<std::string> names;
    for (const auto& e : stdfs::directory_iterator(root_ / rel)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  stdfs::path base_, root_;
  HostFileSystem fs_;
};

TEST_F(HostFileSystemTest, ComponentsMatchExistingEntriesIgnoringCase) {
  HostPut("Users/Me/File.TXT", "abc");
  EXPECT_EQ(Read(u"C:\\users\\ME\\file.txt"), "abc");
  EXPECT_TRUE(fs_.IsDirectory(u"c:\\USERS\\me"));
  stdfs::path host;
  ASSERT_EQ(fs_.HostPath(u"C:\\USERS\\me\\FILE.txt", &host), err::kSuccess);
  EXPECT_EQ(host, root_ / "Users/Me/File.TXT");

  // Replacing keeps the one stored entry instead of adding a second spelling.
  ASSERT_EQ(fs_.WriteFileAtomic(u"C:\\USERS\\me\\FILE.txt", Bytes("new")), err::kSuccess);
  EXPECT_EQ(HostNames("Users/Me"), std::vector<std::string>{"File.TXT"});
  EXPECT_EQ(HostGet("Users/Me/File.TXT"), "new");

  std::vector<DirEntry> entries;
  ASSERT_EQ(fs_.ListDirectory(u"C:\\users\\me", &entries), err::kSuccess);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, u"File.TXT");
}

TEST_F(HostFileSystemTest, LookupsWrittenPartlyAsStoredAndDanglingLinks) {
  HostPut("Users/Me/File.TXT", "abc");
  // The folder as stored, the last name in another case; then the reverse.
  EXPECT_EQ(Read(u"C:\\Users\\Me\\file.txt"), "abc");
  EXPECT_EQ(Read(u"C:\\USERS\\ME\\File.TXT"), "abc");
  FileInfo info;
  EXPECT_EQ(fs_.GetFileInfo(u"C:\\Users\\Me\\gone.txt", &info), err::kFileNotFound);
  EXPECT_EQ(fs_.GetFileInfo(u"C:\\Users\\Gone\\gone.txt", &info), err::kPathNotFound);
  // A link whose target is gone is an entry of its folder, as a reparse
  // point is: found, a file, not a folder.
  stdfs::create_symlink(root_ / "Users/Me/nowhere", root_ / "Users/Me/link");
  ASSERT_EQ(fs_.GetFileInfo(u"C:\\Users\\Me\\LINK", &info), err::kSuccess);
  EXPECT_FALSE(info.is_directory);
  EXPECT_TRUE(fs_.Exists(u"C:\\Users\\Me\\link"));
  EXPECT_FALSE(fs_.IsDirectory(u"C:\\Users\\Me\\link"));
}

TEST_F(HostFileSystemTest, NewComponentsKeepTheirCaseUnderStoredParents) {
  HostPut("Users/keep", "");
  ASSERT_EQ(fs_.CreateDirectories(u"C:\\USERS\\NewDir\\Sub"), err::kSuccess);
  EXPECT_EQ(HostNames(""), std::vector<std::string>{"Users"});
  EXPECT_TRUE(stdfs::is_directory(root_ / "Users/NewDir/Sub"));
  ASSERT_EQ(fs_.WriteFileAtomic(u"C:\\users\\newdir\\SUB\\Data.Bin", Bytes("x")), err::kSuccess);
  EXPECT_EQ(HostGet("Users/NewDir/Sub/Data.Bin"), "x");
}

TEST_F(HostFileSystemTest, ExactSpellingWinsAmongHostEntriesDifferingInCase) {
  HostPut("a.txt", "lower");
  HostPut("A.txt", "upper");
  EXPECT_EQ(Read(u"C:\\a.txt"), "lower");
  EXPECT_EQ(Read(u"C:\\A.txt"), "upper");
  EXPECT_EQ(Read(u"C:\\a.TXT"), "upper");  // first in byte order
}

TEST_F(HostFileSystemTest, CaseOnlyRenameChangesTheStoredName) {
  HostPut("name.txt", "x");
  ASSERT_EQ(fs_.MoveFile(u"C:\\name.txt", u"C:\\Name.TXT", false), err::kSuccess);
  EXPECT_EQ(HostNames(""), std::vector<std::string>{"Name.TXT"});
}

TEST_F(HostFileSystemTest, PathsOutsideTheMappedDrivesAreRejected) {
  HostPut("inside.txt", "x");
  std::vector<std::uint8_t> out;
  for (TextView bad : {u"inside.txt", u"\\inside.txt", u"C:inside.txt", u"C:", u"D:\\inside.txt",
                       u"1:\\inside.txt", u"\\\\server\\share\\inside.txt", u"C:\\..\\c\\inside.txt",
                       u"C:\\sub\\..\\inside.txt"}) {
    SCOPED_TRACE(ToUtf8(bad));
    EXPECT_EQ(fs_.ReadFile(bad, 100, &out), err::kPathNotFound);
  }
  // ".." must not reach the host folder above the drive.
  EXPECT_EQ(fs_.WriteFileAtomic(u"C:\\..\\escaped.txt", Bytes("x")), err::kPathNotFound);
  EXPECT_EQ(fs_.CreateDirectories(u"C:\\a\\..\\..\\escaped"), err::kPathNotFound);
  EXPECT_EQ(HostNames(".."), std::vector<std::string>{"c"});
}

TEST_F(HostFileSystemTest, NamesFollowWindowsRules) {
  std::vector<std::uint8_t> out;
  for (TextView bad : {u"C:\\a<b", u"C:\\a>b", u"C:\\a:b", u"C:\\a\"b", u"C:\\a|b", u"C:\\a?b", u"C:\\a*b",
                       u"C:\\a\tb", u"C:\\...", u"C:\\ "}) {
    SCOPED_TRACE(ToUtf8(bad));
    EXPECT_EQ(fs_.WriteFileAtomic(bad, Bytes("x")), err::kInvalidName);
  }
  EXPECT_TRUE(HostNames("").empty());

  // Trailing dots and spaces go, "." and empty components are skipped, and
  // '/' separates like '\'.
  ASSERT_EQ(fs_.CreateDirectories(u"C:\\dir.."), err::kSuccess);
  ASSERT_EQ(fs_.WriteFileAtomic(u"C:\\dir. \\.\\\\name. .", Bytes("x")), err::kSuccess);
  EXPECT_EQ(HostGet("dir/name"), "x");
  EXPECT_EQ(Read(u"\\\\?\\C:/DIR/Name"), "x");

  // Host entries a Windows machine cannot hold are not listed.
  HostPut("dir/bad:name", "");
  HostPut("dir/trailing.", "");
  std::vector<DirEntry> entries;
  ASSERT_EQ(fs_.ListDirectory(u"C:\\dir", &entries), err::kSuccess);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, u"name");
}

// Each injected failure of an atomic write must leave the old content and
// no temporary file.
TEST_F(HostFileSystemTest, FailedAtomicWriteKeepsTheOldFile) {
  HostPut("d/target", "old content");
  struct Case {
    const char* name;
    void (*inject)(FaultFileSystem&);
    WinError expected;
  };
  const Case cases[] = {
      {"disk full mid-write", [](FaultFileSystem& f) { f.FailWritesAfter(5); }, err::kDiskFull},
      {"disk full at once", [](FaultFileSystem& f) { f.FailWritesAfter(0); }, err::kDiskFull},
      {"sync fails", [](FaultFileSystem& f) { f.FailOp(FsOp::kSync, err::kWriteFault); }, err::kWriteFault},
      {"close fails", [](FaultFileSystem& f) { f.FailOp(FsOp::kClose, err::kDiskFull); }, err::kDiskFull},
      {"rename fails", [](FaultFileSystem& f) { f.FailOp(FsOp::kMoveFile, err::kAccessDenied); },
       err::kAccessDenied},
      {"create fails", [](FaultFileSystem& f) { f.FailOp(FsOp::kCreateNewFile, err::kAccessDenied); },
       err::kAccessDenied},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FaultFileSystem faulty(fs_);
    c.inject(faulty);
    EXPECT_EQ(faulty.WriteFileAtomic(u"C:\\d\\target", Bytes("brand new content")), c.expected);
    EXPECT_EQ(HostGet("d/target"), "old content");
    EXPECT_EQ(HostNames("d"), std::vector<std::string>{"target"});
  }
}

TEST_F(HostFileSystemTest, FaultsApplyAfterTheGivenAllowance) {
  FaultFileSystem faulty(fs_);
  std::unique_ptr<AppendFile> log;
  ASSERT_EQ(faulty.OpenAppend(u"C:\\log", &log), err::kSuccess);

  // A filling disk: the crossing call writes what fits, later ones nothing.
  faulty.FailWritesAfter(6);
  EXPECT_EQ(log->Append(Bytes("1234")), err::kSuccess);
  EXPECT_EQ(log->Append(Bytes("5678")), err::kDiskFull);
  EXPECT_EQ(log->Append(Bytes("9")), err::kDiskFull);
  EXPECT_EQ(HostGet("log"), "123456");

  faulty.ClearFaults();
  faulty.FailOp(FsOp::kAppend, err::kAccessDenied, /*skip=*/1);
  EXPECT_EQ(log->Append(Bytes("a")), err::kSuccess);
  EXPECT_EQ(log->Append(Bytes("b")), err::kAccessDenied);
  EXPECT_EQ(HostGet("log"), "123456a");
  EXPECT_EQ(faulty.Calls(FsOp::kAppend), 5);

  faulty.FailOp(FsOp::kAppend, err::kSuccess);
  EXPECT_EQ(log->Append(Bytes("c")), err::kSuccess);
  EXPECT_EQ(HostGet("log"), "123456ac");
}

// Readers racing two writers see one whole version or the other, never a
// mix or a truncated file.
TEST_F(HostFileSystemTest, ConcurrentAtomicWritesNeverExposePartialContent) {
  const std::string a(40000, 'a'), b(40000, 'b');
  ASSERT_EQ(fs_.WriteFileAtomic(u"C:\\shared", Bytes(a)), err::kSuccess);
  std::atomic<bool> stop{false};
  std::atomic<int> write_errors{0}, bad_reads{0};
  auto writer = [&](const std::string& content) {
    for (int i = 0; i < 30; ++i)
      if (fs_.WriteFileAtomic(u"C:\\shared", Bytes(content)) != err::kSuccess) ++write_errors;
  };
  std::thread reader([&] {
    std::vector<std::uint8_t> out;
    while (!stop) {
      if (fs_.ReadFile(u"C:\\shared", 1 << 20, &out) != err::kSuccess || out.size() != a.size() ||
          std::count(out.begin(), out.end(), out[0]) != static_cast<std::ptrdiff_t>(out.size()))
        ++bad_reads;
    }
  });
  std::thread w1(writer, a), w2(writer, b);
  w1.join();
  w2.join();
  stop = true;
  reader.join();
  EXPECT_EQ(write_errors, 0);
  EXPECT_EQ(bad_reads, 0);
  EXPECT_EQ(HostNames(""), std::vector<std::string>{"shared"});
}

}  // namespace
}  // namespace hs
