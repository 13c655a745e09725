#include "areas/safe_lists.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include "platform/portable/host_shell_folders.h"

namespace hs {
namespace {

class CountingFolders final : public ShellFolders {
 public:
  Text AppDataFolder() override { return Text(); }
  Text SpecialFolderPath(int csidl) override {
    ++calls;
    return csidl == kCsidlNetHood ? u"C:\\Users\\Me\\NetHood" : Text();
  }
  std::atomic<int> calls{0};
};

constexpr std::size_t kPathEntriesWithoutFolders = 52 * 8 + 164 + 132;

TEST(SafeListsTest, ListsHoldTheNormalisedEntriesInBuildOrder) {
  const auto source = SafeKeySourceEntries();
  ASSERT_EQ(source.size(), 1657u);
  EXPECT_EQ(source[5], u"\\lavasoft");
  EXPECT_EQ(source[828], u"netwaiting");
  EXPECT_EQ(source[1656], u"google");

  CountingFolders folders;
  SafeLists lists(folders);
  const auto& keys = lists.KeyEntries();
  ASSERT_EQ(keys.size(), 1657u);
  EXPECT_EQ(keys[0], u"{00022603-0000-0000-c000-000000000046}");
  for (const Text& k : keys) EXPECT_EQ(k, Lowercase(Trim(k)));
  EXPECT_EQ(folders.calls, 0);  // the key list needs no shell folder

  const auto& paths = lists.PathEntries();
  ASSERT_EQ(paths.size(), kPathEntriesWithoutFolders + 1);
  const std::pair<std::size_t, TextView> samples[] = {
      {0, u"ntdetect.exe"}, {7, u"ntdetect.ini"}, {415, u"edb.ini"}, {416, u"ntldr"},
      {580, u"c:\\users\\me\\nethood"},  // Network (0x12) is unresolved here
      {581, u"\\safeit security"}, {kPathEntriesWithoutFolders, u"\\oem links"}};
  for (const auto& [i, entry] : samples) EXPECT_EQ(paths[i], entry) << i;
  EXPECT_EQ(std::count(paths.begin(), paths.end(), u"win"), 0);  // bare base names would match nearly anything
}

TEST(SafeListsTest, ShellFoldersThatAreRootsOrEmptyAddNoEntry) {
  for (Text root : {u"C:\\", u"  ", u"\\\\server\\share\\", u"relative\\dir"}) {
    HostShellFolders folders({Text(), {{kCsidlNetwork, root}, {kCsidlNetHood, u" \\\\srv\\share\\NetHood\\ "}}});
    SafeLists lists(folders);
    ASSERT_EQ(lists.PathEntries().size(), kPathEntriesWithoutFolders + 1) << ToUtf8(root);
    EXPECT_EQ(lists.PathEntries()[580], u"\\\\srv\\share\\nethood\\");
  }
}

TEST(SafeListsTest, MatchesFragmentsWithoutRegardToCaseAndNothingBroader) {
  CountingFolders folders;
  SafeLists lists(folders);
  EXPECT_TRUE(lists.IsSafeKey(u"HKEY_CLASSES_ROOT\\exefile\\shell\\open\\command"));
  EXPECT_TRUE(lists.IsSafePath(u"C:\\Program Files\\Norton AntiVirus\\x.dll"));
  EXPECT_TRUE(lists.IsSafePath(u"D:\\NTIX\\burn.exe"));  // "\NTI " is held without its blank
  EXPECT_TRUE(lists.IsSafePath(u"C:\\Users\\Me\\NETHOOD\\link"));
  EXPECT_FALSE(lists.IsSafePath(u"C:\\Program Files\\PhotoFix\\PhotoFix.exe"));
  EXPECT_FALSE(lists.IsSafePath(u"C:\\Users\\demo\\Pictures\\holiday.pfx3"));
  EXPECT_FALSE(lists.IsSafeKey(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Lumen Labs\\PhotoFix"));
}

TEST(SafeListsTest, BuildsEachListOnceUnderConcurrentFirstUse) {
  CountingFolders folders;
  SafeLists lists(folders);
  std::atomic<int> safe{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&] { safe += lists.IsSafePath(u"c:\\ntdll.dll") && lists.IsSafeKey(u"x\\batfile"); });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(safe, 8);
  EXPECT_EQ(folders.calls, 2);
}

// The indexed search answers exactly as searching every entry in turn.
TEST(SubstringSetTest, AgreesWithAPlainSearchOfEveryEntry) {
  CountingFolders folders;
  SafeLists lists(folders);
  std::vector<Text> entries = lists.PathEntries();
  entries.insert(entries.end(), lists.KeyEntries().begin(), lists.KeyEntries().end());
  entries.insert(entries.end(), {u"", u"#"});
  const SubstringSet set(entries);
  std::mt19937 rng(7);
  const TextView alphabet = u"abeinost\\.{}-03 #";
  for (const Text& e : entries) {
    if (e.empty()) continue;
    Text t = Text(alphabet.substr(rng() % alphabet.size())) + e;
    ASSERT_TRUE(set.FoundIn(t)) << ToUtf8(t);
    t[t.size() - 1 - rng() % e.size()] = alphabet[rng() % alphabet.size()];
    if (rng() % 2) t.pop_back();
    const bool plain = std::any_of(entries.begin(), entries.end(),
                                   [&](const Text& x) { return !x.empty() && t.find(x) != Text::npos; });
    ASSERT_EQ(set.FoundIn(t), plain) << ToUtf8(t);
  }
  EXPECT_FALSE(SubstringSet({u""}).FoundIn(u"anything"));
  EXPECT_FALSE(SubstringSet({u"abc"}).FoundIn(u"ab"));
  EXPECT_TRUE(SubstringSet({u"b"}).FoundIn(u"ab"));
}

}  // namespace
}  // namespace hs
