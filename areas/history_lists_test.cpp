// The history lists area on the build's registry and file system: file
// extension histories, open/save and application lists, and usage records,
// seeded under unique names (the Programs folders pointed at the test's
// own folders for the usage records).
#include "areas/history_lists.h"

#include <gtest/gtest.h>

#include "testing/area_fixture.h"

namespace hs {
namespace {

using ::hs::testing::AreaFixture;

constexpr std::uint32_t kHistoryBit = 0x0020;
const Text kCu = u"HKEY_CURRENT_USER\\";

// History keys are read in the 32-bit view on 64-bit Windows (the user's
// keys are shared by both views).
const CProblem* One(AreaFixture& fx, const Text& key, const Text& value_name = u"") {
  const auto found = fx.Find(kHistoryBit, key, value_name);
  EXPECT_EQ(1u, found.size()) << ToUtf8(key) << " " << ToUtf8(value_name);
  return found.empty() ? nullptr : found[0];
}

TEST(HistoryListsArea, ExtensionsWhoseOnlyContentIsAnEmptyOpenWithList) {
  AreaFixture fx;
  const Text base = Text(kFileExtsKey) + u"\\." + fx.name();
  fx.Key(kHkeyCurrentUser, base + u"-empty\\OpenWithList", true);
  fx.Key(kHkeyCurrentUser, base + u"-nothing", true);
  fx.Sz(kHkeyCurrentUser, base + u"-used\\OpenWithList", true, u"a", u"notepad.exe");
  fx.Key(kHkeyCurrentUser, base + u"-more\\OpenWithList", true);
  fx.Key(kHkeyCurrentUser, base + u"-more\\OpenWithProgids", true);
  fx.Sz(kHkeyCurrentUser, base + u"-valued", true, u"Progid", u"txtfile");

  EXPECT_EQ(1, fx.area<CHistoryLists>(kHistoryBit).Scan());

  const Text ext = u"." + fx.name() + u"-empty";
  const CProblem* p = One(fx, kCu + base + u"-empty");
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(26, p->entry_type);
  EXPECT_EQ(kCu + base + u"-empty\\OpenWithList", p->alternate_key);
  EXPECT_EQ(fx.windows64() ? 1 : 0, p->entry32);
  EXPECT_EQ((std::vector<Text>{Upcase(ext) + u" file (*" + ext + u")",
                               u"Explorer IDS_HISTLIST_UNNEEDED " + Upcase(ext) + u" file (*" + ext + u")",
                               kCu + base + u"-empty"}),
            p->details);
  EXPECT_NE(nullptr, One(fx, kCu + base + u"-nothing"));
  for (const char16_t* ok : {u"-used", u"-more", u"-valued"})
    EXPECT_TRUE(fx.Find(kHistoryBit, kCu + base + ok).empty()) << ToUtf8(ok);
}

TEST(HistoryListsArea, OpenSaveAndApplicationListsNameMissingItems) {
  AreaFixture fx;
  fx.Put(fx.Path(u"Docs\\here.txt"));
  fx.MakeFolder(fx.Path(u"Extract\\here"));
  const Text n = fx.name();
  const Text mru = Text(kOpenSaveKey) + u"\\" + n;
  fx.Sz(kHkeyCurrentUser, mru, true, u"a", fx.Path(u"Docs\\gone.txt"));
  fx.Sz(kHkeyCurrentUser, mru, true, u"b", fx.Path(u"Docs\\here.txt"));
  fx.Sz(kHkeyCurrentUser, mru, true, u"MRUList", u"ba");
  const Text extract = u"Software\\Nico Mak Computing\\WinZip\\extract";
  fx.Sz(kHkeyCurrentUser, extract, true, n + u"-gone", fx.Path(u"Extract\\gone\\"));
  fx.Sz(kHkeyCurrentUser, extract, true, n + u"-here", fx.Path(u"Extract\\here"));
  const Text player = u"Software\\Microsoft\\MediaPlayer\\Player\\RecentFileList";
  fx.Sz(kHkeyCurrentUser, player, true, n + u"-gone", fx.Path(u"Music\\song.mp3"));
  fx.Sz(kHkeyCurrentUser, player, true, n + u"-net", u"\\\\server\\share\\" + n + u".mp3");

  EXPECT_EQ(1, fx.area<CHistoryLists>(kHistoryBit).Scan());

  const CProblem* open = One(fx, kCu + mru, u"a");
  ASSERT_NE(nullptr, open);
  EXPECT_EQ(27, open->entry_type);
  EXPECT_EQ(fx.Path(u"Docs\\gone.txt"), open->value_data);
  EXPECT_EQ((std::vector<Text>{u"File IDS_HISTLIST_INVALID gone.txt", fx.Path(u"Docs"), u"File"}), open->details);
  EXPECT_TRUE(fx.Find(kHistoryBit, kCu + mru, u"b").empty());
  EXPECT_TRUE(fx.Find(kHistoryBit, kCu + mru, u"MRUList").empty());

  const CProblem* folder = One(fx, kCu + extract, n + u"-gone");
  ASSERT_NE(nullptr, folder);
  EXPECT_EQ(28, folder->entry_type);
  EXPECT_EQ((std::vector<Text>{u"WinZip IDS_HISTLIST_INVALID gone", fx.Path(u"Extract"), u"WinZip"}), folder->details);
  EXPECT_TRUE(fx.Find(kHistoryBit, kCu + extract, n + u"-here").empty());
  EXPECT_NE(nullptr, One(fx, kCu + player, n + u"-gone"));
  EXPECT_TRUE(fx.Find(kHistoryBit, kCu + player, n + u"-net").empty()) << "network paths are not judged";
}

TEST(HistoryListsArea, UsageRecordsOfStartMenuItemsEncodedOrNot) {
  AreaFixture fx;
  const Text user = fx.Path(u"User\\Programs"), common = fx.Path(u"Common\\Programs");
  const Text folders = Text(u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
  fx.Override(kHkeyCurrentUser, folders, true, u"Programs", kRegSz, AreaFixture::Utf16z(user));
  fx.Override(kHkeyLocalMachine, folders, true, u"Common Programs", kRegSz, AreaFixture::Utf16z(common));
  const Text n = fx.name();
  fx.Put(common + u"\\" + n + u"\\here.lnk");
  fx.MakeFolder(user + u"\\" + n + u"-folder");
  const Text count = Text(kUsageKeys[1]);
  const std::vector<std::uint8_t> data(16, 1);
  auto record = [&](const Text& name) { fx.Set(kHkeyCurrentUser, count, true, name, kRegBinary, data); };
  const Text prefix = u"UEME_RUNPIDL:%csidl2%\\";
  const Text gone_link = Rot13(prefix + n + u"\\Games\\x.lnk"), gone_folder = Rot13(prefix + n + u"-gone");
  record(gone_link);
  record(gone_folder);
  record(Rot13(prefix + n + u"\\here.lnk"));
  record(Rot13(prefix + n + u"-folder"));
  record(Rot13(u"UEME_RUNPATH:" + n + u"\\gone.exe"));
  record(prefix + n + u"\\plain.lnk");  // stored as it reads: not a record while names are encoded
  const Text settings = Text(kUsageSettingsKey);

  fx.Override(kHkeyCurrentUser, settings, true, u"NoEncrypt", kRegDword, {0, 0, 0, 0});
  fx.manager().CreateAreas(kHistoryBit, 1);
  EXPECT_EQ(1, fx.area<CHistoryLists>(kHistoryBit).Scan());
  const CProblem* link = One(fx, kCu + count, gone_link);
  ASSERT_NE(nullptr, link);
  EXPECT_EQ(29, link->entry_type);
  EXPECT_EQ((std::vector<Text>{u"IDS_STARTMENU_HIST", n + u"\\Games", n + u"\\Games\\x.lnk"}), link->details);
  const CProblem* folder = One(fx, kCu + count, gone_folder);
  ASSERT_NE(nullptr, folder);
  EXPECT_EQ(30, folder->entry_type);
  EXPECT_EQ(u"<Root folder>", folder->Detail(1));
  std::size_t own = 0;
  for (const auto& p : fx.manager().AreaByBit(kHistoryBit)->problems())
    if (p->key == kCu + count && Rot13(p->value_name).find(n) != Text::npos) ++own;
  EXPECT_EQ(2u, own) << "present items, other records and unencoded names are not reported";

  fx.Override(kHkeyCurrentUser, settings, true, u"NoEncrypt", kRegDword, {1, 0, 0, 0});
  fx.manager().CreateAreas(kHistoryBit, 1);
  EXPECT_EQ(1, fx.area<CHistoryLists>(kHistoryBit).Scan());
  EXPECT_NE(nullptr, One(fx, kCu + count, prefix + n + u"\\plain.lnk"));
  EXPECT_TRUE(fx.Find(kHistoryBit, kCu + count, gone_link).empty()) << "encoded names do not read as records";
}

TEST(HistoryListsArea, Rot13MovesLettersOnly) {
  EXPECT_EQ(u"HRZR_EHACVQY:%pfvqy2%\\Tnzrf\\k.yax", Rot13(u"UEME_RUNPIDL:%csidl2%\\Games\\x.lnk"));
  EXPECT_EQ(u"Games 1.lnk", Rot13(Rot13(u"Games 1.lnk")));
}

TEST(HistoryListsArea, CancelEndsTheScanWithTwo) {
  AreaFixture fx;
  fx.Key(kHkeyCurrentUser, Text(kFileExtsKey) + u"\\." + fx.name(), true);
  fx.manager().Cancel();
  EXPECT_EQ(2, fx.area<CHistoryLists>(kHistoryBit).Scan());
  EXPECT_EQ(0u, fx.OwnCount(kHistoryBit));
}

}  // namespace
}  // namespace hs
