// User lists: matching, the two ways of adding exclusions, and the list files
// on the platform's real file system in a scratch folder.
#include "areas/user_lists.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "testing/fault_file_system.h"
#include "testing/memory_log.h"
#include "testing/test_env.h"
#ifdef _WIN32
#include "platform/win32/win32_file_system.h"
#else
#include "platform/portable/host_file_system.h"
#endif

namespace hs {
namespace {

namespace stdfs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

TEST(UserListTest, MatchesUpperCasedSubstringsAndSkipsEmptyEntries) {
  UserList list(UserListKind::kExclusion);
  EXPECT_FALSE(list.Matches(u"HKEY_CURRENT_USER\\Software\\Foo"));
  list.Add(u"");  // would match everything
  EXPECT_FALSE(list.Matches(u"HKEY_CURRENT_USER\\Software\\Foo"));
  list.Add(u"HKEY_CURRENT_USER\\SOFTWARE\\FOO");
  EXPECT_TRUE(list.Matches(u"HKEY_CURRENT_USER\\Software\\Foo\\Bar"));
  EXPECT_TRUE(list.Matches(u"hkey_current_user\\software\\FooBar"));
  EXPECT_FALSE(list.Matches(u"HKEY_CURRENT_USER\\Software\\Fo"));
  EXPECT_TRUE(list.EqualsAnyEntryNoCase(u"hkey_current_user\\software\\foo"));
  EXPECT_FALSE(list.EqualsAnyEntryNoCase(u"HKEY_CURRENT_USER\\Software\\Foo\\Bar"));
  const std::size_t drop[] = {0, 0, 9};
  list.RemoveAt(drop);
  EXPECT_EQ(list.entries(), std::vector<Text>{u"HKEY_CURRENT_USER\\SOFTWARE\\FOO"});
  EXPECT_TRUE(list.Matches(u"HKEY_CURRENT_USER\\SOFTWARE\\FOO"));
}

TEST(UserListTest, SettingsPageJoinsUpperCasedRootAndSubkeyWithOneBackslash) {
  UserList list(UserListKind::kExclusion);
  const struct { TextView root, subkey, stored; } joins[] = {
      {u"HKEY_LOCAL_MACHINE", u"\\Software\\X", u"HKEY_LOCAL_MACHINE\\SOFTWARE\\X"},
      {u"HKEY_CURRENT_USER\\", u"\\\\Software\\Y ", u"HKEY_CURRENT_USER\\SOFTWARE\\Y"},
      {u"hkey_users", u"\t.default\\\u00e4", u"HKEY_USERS\\.DEFAULT\\\u00c4"},
  };
  for (const auto& j : joins) EXPECT_EQ(AddExclusionFromSettings(list, j.root, j.subkey), AddExclusionResult::kAdded);
  ASSERT_EQ(list.entries().size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(list.entries()[i], joins[i].stored);
  for (TextView empty : {u"", u"  ", u"\\", u" \\\\ "}) {
    EXPECT_EQ(AddExclusionFromSettings(list, u"HKEY_USERS", empty), AddExclusionResult::kEmptyKey);
  }
  EXPECT_EQ(AddExclusionFromSettings(list, u"HKEY_LOCAL_MACHINE", u"software\\x"), AddExclusionResult::kAlreadyExists);
  EXPECT_EQ(list.entries().size(), 3u);
}

TEST(UserListTest, ResultsViewAddsKeyPathsThatBeginWithHkeyUnchanged) {
  UserList list(UserListKind::kExclusion);
  EXPECT_EQ(AddExclusionFromResults(list, u"HKEY_CLASSES_ROOT\\.abc"), AddExclusionResult::kAdded);
  EXPECT_EQ(AddExclusionFromResults(list, u"HKEY_classes_root\\.ABC"), AddExclusionResult::kAlreadyExists);
  for (TextView bad : {u"hkey_users\\x", u" HKEY_USERS\\x", u"HKEY", u"C:\\HKEY_X"}) {
    EXPECT_EQ(AddExclusionFromResults(list, bad), AddExclusionResult::kNotAKeyPath);
  }
  EXPECT_EQ(list.entries(), std::vector<Text>{u"HKEY_CLASSES_ROOT\\.abc"});
}

TEST(UserListFileTest, EncodesCountThenArchiveStringArray) {
  EXPECT_EQ(EncodeUserListFile({u"AB", u"\u00e9"}),
            (Bytes{2, 0, 0, 0, 2, 0, 0xFF, 0xFE, 0xFF, 2, 'A', 0, 'B', 0, 0xFF, 0xFE, 0xFF, 1, 0xE9, 0}));
  EXPECT_EQ(EncodeUserListFile({}), (Bytes{0, 0, 0, 0, 0, 0}));
  std::vector<Text> out;
  EXPECT_TRUE(DecodeUserListFile(Bytes{9, 0, 0, 0, 1, 0, 1, 'x'}, &out));  // the leading count is not used
  EXPECT_EQ(out, std::vector<Text>{u"x"});
}

class UserListFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = stdfs::temp_directory_path() / ToUtf8(::hs::testing::UniqueName("hs_lists"));
    stdfs::create_directories(host_);
#ifdef _WIN32
    const std::wstring w = host_.wstring();
    folder_.assign(w.begin(), w.end());
#else
    fs_.MapDrive(u'C', host_);
    folder_ = u"C:\\";
#endif
  }
  void TearDown() override {
    std::error_code ec;
    stdfs::remove_all(host_, ec);
  }
  Text File(TextView name) const { return folder_ + (folder_.back() == u'\\' ? u"" : u"\\") + Text(name); }
  Bytes Read(TextView name) {
    Bytes b;
    EXPECT_EQ(fs_.ReadFile(File(name), 1 << 20, &b), err::kSuccess);
    return b;
  }

  stdfs::path host_;
  Text folder_;
  MemoryLog log_;
#ifdef _WIN32
  Win32FileSystem fs_;
#else
  HostFileSystem fs_;
#endif
};

TEST_F(UserListFileSystemTest, FileWrittenByTheProgramReadsBackByteIdentical) {
  UserList list(UserListKind::kExclusion);
  EXPECT_EQ(list.Load(fs_, folder_, log_), ListLoadResult::kMissing);
  for (TextView e : {u"HKEY_USERS\\X", u"", u"HKEY_CURRENT_USER\\\u0416\u00e9"}) list.Add(e);
  list.Add(Text(300, u'k'));  // length past 0xFF: the 16-bit length form
  ASSERT_EQ(list.Save(fs_, folder_, log_), err::kSuccess);
  const Bytes first = Read(kExcludeListFileName);
  UserList again(UserListKind::kExclusion);
  ASSERT_EQ(again.Load(fs_, folder_, log_), ListLoadResult::kLoaded);
  EXPECT_EQ(again.entries(), list.entries());
  ASSERT_EQ(again.Save(fs_, folder_, log_), err::kSuccess);
  EXPECT_EQ(Read(kExcludeListFileName), first);
  EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(UserListFileSystemTest, DamagedFileIsSetAsideLoggedAndLeavesTheOtherListAlone) {
  UserList temp(UserListKind::kTempIgnore), exclusions(UserListKind::kExclusion);
  temp.Add(u"HKEY_USERS\\T");
  exclusions.Add(u"HKEY_USERS\\E");
  ASSERT_EQ(temp.Save(fs_, folder_, log_), err::kSuccess);
  ASSERT_EQ(exclusions.Save(fs_, folder_, log_), err::kSuccess);
  const Bytes good = Read(kExcludeListFileName);
  std::vector<Bytes> damaged{good};
  damaged[0].push_back(0);  // trailing garbage, then every truncation
  for (std::size_t size = 0; size < good.size(); ++size) damaged.emplace_back(good.begin(), good.begin() + size);
  ASSERT_LT(damaged.size(), static_cast<std::size_t>(kMaxDamagedCopies));
  for (std::size_t i = 0; i < damaged.size(); ++i) {
    const Bytes& bad = damaged[i];
    ASSERT_EQ(fs_.WriteFileAtomic(File(kExcludeListFileName), bad), err::kSuccess);
    log_.Clear();
    EXPECT_EQ(exclusions.Load(fs_, folder_, log_), ListLoadResult::kDamaged) << bad.size();
    EXPECT_TRUE(exclusions.entries().empty());
    ASSERT_EQ(log_.Lines().size(), 2u);
    EXPECT_NE(log_.Lines()[0].find(u"ExcludeList.hsw is damaged"), Text::npos);
    // Each damaged file gets the next free name; earlier copies stay.
    const Text copy = i == 0 ? Text(u"ExcludeList.hsw.bad") : u"ExcludeList.hsw." + ToText(static_cast<std::int64_t>(i + 1)) + u".bad";
    EXPECT_EQ(Read(copy), bad);
    EXPECT_FALSE(fs_.Exists(File(kExcludeListFileName)));
  }
  EXPECT_EQ(Read(u"ExcludeList.hsw.bad"), damaged[0]) << "the first copy is never replaced";
  EXPECT_EQ(temp.Load(fs_, folder_, log_), ListLoadResult::kLoaded);
  EXPECT_EQ(temp.entries(), std::vector<Text>{u"HKEY_USERS\\T"});
}

TEST_F(UserListFileSystemTest, FailuresAreLoggedAndNeverDamageTheStoredFile) {
  UserList list(UserListKind::kExclusion);
  list.Add(u"HKEY_USERS\\A");
  ASSERT_EQ(list.Save(fs_, folder_, log_), err::kSuccess);
  const Bytes stored = Read(kExcludeListFileName);
  FaultFileSystem faulty(fs_);
  faulty.FailWritesAfter(3);
  list.Add(u"HKEY_USERS\\B");
  EXPECT_EQ(list.Save(faulty, folder_, log_), err::kDiskFull);
  EXPECT_EQ(Read(kExcludeListFileName), stored);
  faulty.ClearFaults();
  // A file that cannot be read now is not damaged: it stays where it is, and
  // the list (empty, or what the user adds) is not saved over it.
  for (WinError e : {err::kSharingViolation, err::kAccessDenied, err::kReadFault}) {
    faulty.FailOp(FsOp::kReadFile, e);
    EXPECT_EQ(list.Load(faulty, folder_, log_), ListLoadResult::kUnreadable) << e;
    EXPECT_TRUE(list.entries().empty());
    EXPECT_EQ(list.unreadable_error(), e);
    EXPECT_FALSE(fs_.Exists(File(u"ExcludeList.hsw.bad")));
    faulty.ClearFaults();
    list.Add(u"HKEY_USERS\\C");
    EXPECT_EQ(list.Save(faulty, folder_, log_), e);
    EXPECT_EQ(Read(kExcludeListFileName), stored);
  }
  EXPECT_NE(log_.Lines().back().find(u"not saved: it could not be read at load"), Text::npos);
  // Read again, the list loads and saves as usual.
  ASSERT_EQ(list.Load(fs_, folder_, log_), ListLoadResult::kLoaded);
  EXPECT_EQ(list.entries(), std::vector<Text>{u"HKEY_USERS\\A"});
  EXPECT_EQ(list.Save(fs_, folder_, log_), err::kSuccess);
  EXPECT_EQ(list.Load(fs_, Text(), log_), ListLoadResult::kUnreadable);
  EXPECT_EQ(list.Save(fs_, Text(), log_), err::kPathNotFound);
}

}  // namespace
}  // namespace hs
