// The FileSystem contract, checked against the platform's adapter: the Win32
// one in the win32 build (under Wine), the host one natively. Both run the
// same cases over a fresh temporary folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "platform/file_system.h"
#include "testing/test_env.h"
#ifdef _WIN32
#include "platform/win32/win32_file_system.h"
#else
#include "platform/portable/host_file_system.h"
#endif

namespace hs {
namespace {

namespace stdfs = std::filesystem;

std::vector<std::uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

class FileSystemContract : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = stdfs::temp_directory_path() / ToUtf8(::hs::testing::UniqueName("hs_fs"));
    stdfs::create_directories(host_);
#ifdef _WIN32
    const std::wstring w = host_.wstring();
    root_.assign(w.begin(), w.end());
    while (!root_.empty() && root_.back() == u'\\') root_.pop_back();
#else
    fs_.MapDrive(u'C', host_);
    root_ = u"C:";
#endif
  }
  void TearDown() override {
    std::error_code ec;
    stdfs::remove_all(host_, ec);
  }

  Text P(TextView rel) const { return root_ + u"\\" + Text(rel); }

  void Put(TextView rel, std::string_view content) {
    ASSERT_EQ(fs_.WriteFileAtomic(P(rel), Bytes(content)), err::kSuccess);
  }

  std::string Get(TextView rel) {
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(fs_.ReadFile(P(rel), 1 << 20, &bytes), err::kSuccess);
    return std::string(bytes.begin(), bytes.end());
  }

  std::vector<Text> Names(TextView rel) {
    std::vector<DirEntry> entries;
    EXPECT_EQ(fs_.ListDirectory(P(rel), &entries), err::kSuccess);
    std::vector<Text> names;
    for (const auto& e : entries) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
  }

  stdfs::path host_;
  Text root_;
#ifdef _WIN32
  Win32FileSystem fs_;
#else
  HostFileSystem fs_;
#endif
};

TEST_F(FileSystemContract, AtomicWriteCreatesAndReplacesWithoutLeftovers) {
  ASSERT_EQ(fs_.CreateDirectories(P(u"d")), err::kSuccess);
  Put(u"d\\f.bin", "a longer first content");
  EXPECT_EQ(Get(u"d\\f.bin"), "a longer first content");
  Put(u"d\\f.bin", "short");
  EXPECT_EQ(Get(u"d\\f.bin"), "short");
  Put(u"d\\f.bin", "");
  EXPECT_EQ(Get(u"d\\f.bin"), "");
  EXPECT_EQ(Names(u"d"), std::vector<Text>{u"f.bin"});
}

TEST_F(FileSystemContract, ReadFileEnforcesTheSizeLimit) {
  Put(u"f", "12345");
  std::vector<std::uint8_t> out = Bytes("stale");
  EXPECT_EQ(fs_.ReadFile(P(u"f"), 5, &out), err::kSuccess);
  EXPECT_EQ(out, Bytes("12345"));
  out = Bytes("stale");
  EXPECT_EQ(fs_.ReadFile(P(u"f"), 4, &out), err::kFileTooLarge);
  EXPECT_TRUE(out.empty());
}

TEST_F(FileSystemContract, RangesReadPiecesUpToTheEnd) {
  Put(u"f", "0123456789");
  std::vector<std::uint8_t> out = Bytes("stale");
  EXPECT_EQ(fs_.ReadFileRange(P(u"f"), 3, 4, &out), err::kSuccess);
  EXPECT_EQ(out, Bytes("3456"));
  EXPECT_EQ(fs_.ReadFileRange(P(u"f"), 8, 100, &out), err::kSuccess);
  EXPECT_EQ(out, Bytes("89"));
  EXPECT_EQ(fs_.ReadFileRange(P(u"f"), 10, 4, &out), err::kSuccess);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(fs_.ReadFileRange(P(u"f"), 50, 4, &out), err::kSuccess);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(fs_.ReadFileRange(P(u"missing"), 0, 4, &out), err::kFileNotFound);
  EXPECT_TRUE(out.empty());
}

TEST_F(FileSystemContract, MissingEntriesReportFileOrPathNotFound) {
  Put(u"file", "x");
  ASSERT_EQ(fs_.CreateDirectories(P(u"dir")), err::kSuccess);
  std::vector<std::uint8_t> out;
  std::vector<DirEntry> entries;
  std::unique_ptr<AppendFile> append;

  EXPECT_EQ(fs_.ReadFile(P(u"dir\\nope"), 100, &out), err::kFileNotFound);
  EXPECT_EQ(fs_.ReadFile(P(u"nodir\\nope"), 100, &out), err::kPathNotFound);
  EXPECT_EQ(fs_.ReadFile(P(u"file\\nope"), 100, &out), err::kPathNotFound);
  EXPECT_EQ(fs_.DeleteFile(P(u"dir\\nope")), err::kFileNotFound);
  EXPECT_EQ(fs_.MoveFile(P(u"dir\\nope"), P(u"dir\\other"), false), err::kFileNotFound);
  EXPECT_EQ(fs_.ListDirectory(P(u"nodir"), &entries), err::kPathNotFound);
  EXPECT_EQ(fs_.ListDirectory(P(u"file"), &entries), err::kPathNotFound);
  EXPECT_EQ(fs_.OpenAppend(P(u"nodir\\log"), &append), err::kPathNotFound);
  EXPECT_EQ(append, nullptr);
  EXPECT_EQ(fs_.WriteFileAtomic(P(u"nodir\\f"), Bytes("x")), err::kPathNotFound);
  EXPECT_FALSE(fs_.Exists(P(u"dir\\nope")));
  EXPECT_FALSE(fs_.IsDirectory(P(u"file")));
  EXPECT_TRUE(fs_.Exists(P(u"file")));
  EXPECT_TRUE(fs_.IsDirectory(P(u"dir")));
}

TEST_F(FileSystemContract, WrongKindOfEntryIsRefused) {
  Put(u"file", "keep");
  ASSERT_EQ(fs_.CreateDirectories(P(u"dir")), err::kSuccess);
  std::vector<std::uint8_t> out;
  std::unique_ptr<WritableFile> created;

  EXPECT_EQ(fs_.ReadFile(P(u"dir"), 100, &out), err::kAccessDenied);
  EXPECT_EQ(fs_.DeleteFile(P(u"dir")), err::kAccessDenied);
  EXPECT_EQ(fs_.MoveFile(P(u"file"), P(u"dir"), true), err::kAccessDenied);
  EXPECT_EQ(fs_.CreateDirectories(P(u"file")), err::kAlreadyExists);
  EXPECT_EQ(fs_.CreateDirectories(P(u"file\\sub")), err::kPathNotFound);
  EXPECT_EQ(fs_.CreateNewFile(P(u"file"), &created), err::kFileExists);
  EXPECT_EQ(Get(u"file"), "keep");
  EXPECT_TRUE(fs_.IsDirectory(P(u"dir")));
}

TEST_F(FileSystemContract, MalformedPathsAreRejected) {
  std::vector<std::uint8_t> out;
  EXPECT_EQ(fs_.ReadFile(u"relative\\file", 100, &out), err::kPathNotFound);
  EXPECT_EQ(fs_.CreateDirectories(u"Corvanta\\HiveSweep"), err::kPathNotFound);
  Put(u"a", "x");
  // A NUL would cut the path short at the OS: "...\a\0b" must not reach "...\a".
  Text with_nul = P(u"a");
  with_nul += u'\0';
  with_nul += u"b";
  EXPECT_EQ(fs_.DeleteFile(with_nul), err::kInvalidName);
  EXPECT_EQ(fs_.ReadFile(with_nul, 100, &out), err::kInvalidName);
  EXPECT_FALSE(fs_.Exists(with_nul));
  EXPECT_EQ(Get(u"a"), "x");
}

TEST_F(FileSystemContract, CreateDirectoriesMakesParentsAndIsIdempotent) {
  EXPECT_EQ(fs_.CreateDirectories(P(u"a\\b\\c")), err::kSuccess);
  EXPECT_TRUE(fs_.IsDirectory(P(u"a\\b\\c")));
  EXPECT_EQ(fs_.CreateDirectories(P(u"a\\b\\c")), err::kSuccess);
  EXPECT_EQ(fs_.CreateDirectories(P(u"a\\b\\d\\")), err::kSuccess);
  EXPECT_EQ(fs_.CreateDirectories(root_ + u"\\"), err::kSuccess);
  EXPECT_EQ(Names(u"a\\b"), (std::vector<Text>{u"c", u"d"}));
}

TEST_F(FileSystemContract, MoveFileHonoursReplace) {
  Put(u"src", "new");
  Put(u"dst", "old");
  EXPECT_EQ(fs_.MoveFile(P(u"src"), P(u"dst"), false), err::kAlreadyExists);
  EXPECT_EQ(Get(u"src"), "new");
  EXPECT_EQ(Get(u"dst"), "old");
  EXPECT_EQ(fs_.MoveFile(P(u"src"), P(u"dst"), true), err::kSuccess);
  EXPECT_EQ(Get(u"dst"), "new");
  EXPECT_FALSE(fs_.Exists(P(u"src")));

  ASSERT_EQ(fs_.CreateDirectories(P(u"d1\\inner")), err::kSuccess);
  EXPECT_EQ(fs_.MoveFile(P(u"d1"), P(u"d2"), false), err::kSuccess);
  EXPECT_TRUE(fs_.IsDirectory(P(u"d2\\inner")));
  EXPECT_EQ(fs_.MoveFile(P(u"dst"), P(u"nodir\\dst"), true), err::kPathNotFound);
}

TEST_F(FileSystemContract, ListDirectoryReportsNamesKindsAndSizes) {
  ASSERT_EQ(fs_.CreateDirectories(P(u"d\\Sub")), err::kSuccess);
  Put(u"d\\Seven.txt", "1234567");
  Put(u"d\\empty", "");
  std::vector<DirEntry> entries{DirEntry{u"stale"}};
  ASSERT_EQ(fs_.ListDirectory(P(u"d"), &entries), err::kSuccess);
  std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].name, u"Seven.txt");
  EXPECT_FALSE(entries[0].is_directory);
  EXPECT_EQ(entries[0].size, 7u);
  EXPECT_EQ(entries[1].name, u"Sub");
  EXPECT_TRUE(entries[1].is_directory);
  EXPECT_EQ(entries[1].size, 0u);
  EXPECT_EQ(entries[2].name, u"empty");
  EXPECT_EQ(entries[2].size, 0u);
  EXPECT_EQ(fs_.ListDirectory(P(u"d\\Sub"), &entries), err::kSuccess);
  EXPECT_TRUE(entries.empty());
}

TEST_F(FileSystemContract, AppendCreatesNeverTruncatesAndIsShared) {
  std::unique_ptr<AppendFile> a, b;
  ASSERT_EQ(fs_.OpenAppend(P(u"log"), &a), err::kSuccess);
  ASSERT_EQ(a->Append(Bytes("one;")), err::kSuccess);
  // A second handle, as a second process would hold; both land at the end.
  ASSERT_EQ(fs_.OpenAppend(P(u"log"), &b), err::kSuccess);
  ASSERT_EQ(b->Append(Bytes("two;")), err::kSuccess);
  ASSERT_EQ(a->Append(Bytes("three;")), err::kSuccess);
  // Readable while open for appending.
  EXPECT_EQ(Get(u"log"), "one;two;three;");
  a.reset();
  b.reset();
  ASSERT_EQ(fs_.OpenAppend(P(u"log"), &a), err::kSuccess);
  ASSERT_EQ(a->Append(Bytes("four;")), err::kSuccess);
  EXPECT_EQ(Get(u"log"), "one;two;three;four;");
}

TEST_F(FileSystemContract, WritableFileRefusesUseAfterClose) {
  std::unique_ptr<WritableFile> f;
  ASSERT_EQ(fs_.CreateNewFile(P(u"n"), &f), err::kSuccess);
  ASSERT_EQ(f->Write(Bytes("abc")), err::kSuccess);
  ASSERT_EQ(f->Sync(), err::kSuccess);
  ASSERT_EQ(f->Close(), err::kSuccess);
  EXPECT_EQ(f->Write(Bytes("d")), err::kInvalidHandle);
  EXPECT_EQ(f->Close(), err::kInvalidHandle);
  EXPECT_EQ(Get(u"n"), "abc");
}

TEST_F(FileSystemContract, FileInfoGivesSizeKindAndWriteTime) {
  Put(u"f", "12345");
  ASSERT_EQ(fs_.CreateDirectories(P(u"d")), err::kSuccess);
  FileInfo info;
  ASSERT_EQ(fs_.GetFileInfo(P(u"F"), &info), err::kSuccess);
  EXPECT_FALSE(info.is_directory);
  EXPECT_EQ(info.size, 5u);
  // Written just now: after 2020-01-01 (FILETIME 132223104000000000).
  EXPECT_GT(info.last_write, 132223104000000000u);
  const std::uint64_t first = info.last_write;
  Put(u"f", "a longer content");
  ASSERT_EQ(fs_.GetFileInfo(P(u"f"), &info), err::kSuccess);
  EXPECT_EQ(info.size, 16u);
  EXPECT_GE(info.last_write, first);
  ASSERT_EQ(fs_.GetFileInfo(P(u"d"), &info), err::kSuccess);
  EXPECT_TRUE(info.is_directory);
  EXPECT_EQ(info.size, 0u);

  EXPECT_EQ(fs_.GetFileInfo(P(u"nope"), &info), err::kFileNotFound);
  EXPECT_EQ(info.last_write, 0u) << "reset on failure";
  EXPECT_EQ(fs_.GetFileInfo(P(u"nodir\\nope"), &info), err::kPathNotFound);
  EXPECT_EQ(fs_.GetFileInfo(u"relative", &info), err::kPathNotFound);
}

}  // namespace
}  // namespace hs
