// The Start menu and shortcut areas on the build's registry and file
// system, with the committed shortcut files of platform/contract/shortcuts
// (their targets lie in C:\hs-shortcut-fixture) copied into folders of the
// test's own, and the Programs folders pointed there.
#include "areas/start_menu.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "areas/shell_area.h"
#include "areas/shortcuts.h"
#include "testing/area_fixture.h"
#include "testing/fixture_files.h"

namespace hs {
namespace {

using ::hs::testing::AreaFixture;

constexpr std::uint32_t kShortcutsBit = 0x0080, kStartMenuBit = 0x0400;
const Text kTargets = u"C:\\hs-shortcut-fixture";
const Text kShellFolders = Text(kShellFoldersKey);

// The shortcut targets, present except App\gone.exe and Never\made.exe;
// removed with their folders at the end.
class Targets {
 public:
  explicit Targets(AreaFixture& fx) {
    fx.Put(kTargets + u"\\App\\present.exe");
    fx.MakeFolder(kTargets + u"\\Docs");
  }
  ~Targets() {
#ifdef _WIN32
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::path(std::wstring(kTargets.begin(), kTargets.end())), ec);
#endif
  }
};

void PutLink(AreaFixture& fx, const std::string& file, const Text& path) {
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(::hs::testing::ReadSourceFile("platform/contract/shortcuts/" + file, &bytes)) << file;
  fx.PutBytes(path, bytes);
}

void SetProgramsFolders(AreaFixture& fx, const Text& user, const Text& common) {
  fx.Override(kHkeyCurrentUser, kShellFolders, true, u"Programs", kRegSz, AreaFixture::Utf16z(user));
  fx.Override(kHkeyLocalMachine, kShellFolders, true, u"Common Programs", kRegSz, AreaFixture::Utf16z(common));
}

std::vector<Text> Details(const CProblem* p) { return p ? p->details : std::vector<Text>{}; }

// Problems of an area whose details name the test's folder.
std::vector<const CProblem*> Own(AreaFixture& fx, std::uint32_t bit) {
  std::vector<const CProblem*> out;
  for (const auto& p : fx.manager().AreaByBit(bit)->problems())
    if (StartsWithNoCase(p->Detail(1), fx.root())) out.push_back(p.get());
  return out;
}

const CProblem* ByLink(AreaFixture& fx, std::uint32_t bit, const Text& link) {
  for (const CProblem* p : Own(fx, bit))
    if (EqualsNoCase(p->Detail(1), link)) return p;
  return nullptr;
}

TEST(StartMenuArea, MenuOrderKeysForMissingFoldersAndWithoutValues) {
  AreaFixture fx;
  const Text user = fx.Path(u"User\\Programs"), common = fx.Path(u"Common\\Programs");
  SetProgramsFolders(fx, user, common);
  const Text n = fx.name();
  fx.MakeFolder(user + u"\\" + n + u"-Games");
  fx.MakeFolder(common + u"\\" + n + u"-Office\\Tools");
  const Text order = Text(kMenuOrderKey) + u"\\";
  const std::vector<std::uint8_t> blob{1, 2, 3};
  fx.Set(kHkeyCurrentUser, order + n + u"-Games", true, u"Order", kRegBinary, blob);
  fx.Set(kHkeyCurrentUser, order + n + u"-Games\\Gone", true, u"Order", kRegBinary, blob);
  fx.Key(kHkeyCurrentUser, order + n + u"-Office", true);  // present in the common folder, no values
  fx.Set(kHkeyCurrentUser, order + n + u"-Office\\Tools", true, u"Order", kRegBinary, blob);
  fx.Set(kHkeyCurrentUser, order + n + u"-Missing", true, u"Order", kRegBinary, blob);
  fx.Set(kHkeyCurrentUser, Text(kMenuOrderKey2) + u"\\" + n + u"-Missing2", true, u"Order", kRegBinary, blob);

  EXPECT_EQ(1, fx.area<CStartMenu>(kStartMenuBit).Scan());

  const Text cu = u"HKEY_CURRENT_USER\\";
  auto one = [&](const Text& key) {
    const auto found = fx.Find(kStartMenuBit, cu + key);
    EXPECT_EQ(1u, found.size()) << ToUtf8(key);
    return found.empty() ? nullptr : found[0];
  };
  const CProblem* missing = one(order + n + u"-Missing");
  ASSERT_NE(nullptr, missing);
  EXPECT_EQ(39, missing->entry_type);
  EXPECT_EQ((std::vector<Text>{u"IDS_INVALID_REF_STARTMENU " + n + u"-Missing", n + u"-Missing"}), missing->details);
  const CProblem* nested = one(order + n + u"-Games\\Gone");
  ASSERT_NE(nullptr, nested);
  EXPECT_EQ(39, nested->entry_type) << "Games\\Gone is looked for below the Programs folders";
  const CProblem* empty = one(order + n + u"-Office");
  ASSERT_NE(nullptr, empty);
  EXPECT_EQ(38, empty->entry_type);
  EXPECT_EQ((std::vector<Text>{u"IDS_EMPTY_KEY_STARTMENU " + n + u"-Office", n + u"-Office"}), empty->details);
  EXPECT_TRUE(fx.Find(kStartMenuBit, cu + order + n + u"-Games").empty());
  EXPECT_TRUE(fx.Find(kStartMenuBit, cu + order + n + u"-Office\\Tools").empty());
  EXPECT_EQ(fx.manager().major_version() > 5 ? 1u : 0u,
            fx.Find(kStartMenuBit, cu + Text(kMenuOrderKey2) + u"\\" + n + u"-Missing2").size());
}

TEST(StartMenuArea, ShortcutsWithMissingTargetsInBothProgramsFolders) {
  AreaFixture fx;
  Targets targets(fx);
  const Text user = fx.Path(u"User\\Programs"), common = fx.Path(u"Common\\Programs");
  SetProgramsFolders(fx, user, common);
  const Text grouped = user + u"\\Games\\Old Game.lnk", root = common + u"\\Gone Tool.lnk";
  PutLink(fx, "gone.lnk", grouped);
  PutLink(fx, "nowhere.lnk", root);
  for (const char* ok : {"present.lnk", "args.lnk", "folder.lnk", "unc.lnk", "notalink.lnk", "empty.lnk"})
    PutLink(fx, ok, common + u"\\Fine\\" + FromUtf8(ok));
  PutLink(fx, "gone.lnk", user + u"\\Games\\not-a-shortcut.txt");

  EXPECT_EQ(1, fx.area<CStartMenu>(kStartMenuBit).Scan());

  EXPECT_EQ(2u, Own(fx, kStartMenuBit).size());
  const CProblem* p = ByLink(fx, kStartMenuBit, grouped);
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(40, p->entry_type);
  EXPECT_EQ(u"", p->key);
  EXPECT_EQ((std::vector<Text>{u"Old Game", grouped, kTargets + u"\\App\\gone.exe", u"Games"}), Details(p));
  EXPECT_EQ((std::vector<Text>{u"Gone Tool", root, kTargets + u"\\Never\\made.exe", u"<Root folder>"}),
            Details(ByLink(fx, kStartMenuBit, root)));
}

TEST(StartMenuArea, GroupIsTheFirstFolderBelowPrograms) {
  EXPECT_EQ(u"Games", StartMenuGroup(u"C:\\Users\\u\\Start Menu\\Programs\\Games\\Sub\\x.lnk"));
  EXPECT_EQ(u"<Root folder>", StartMenuGroup(u"C:\\Users\\u\\Start Menu\\programs\\x.lnk"));
  EXPECT_EQ(u"<Root folder>", StartMenuGroup(u"C:\\Elsewhere\\x.lnk"));
}

TEST(ShortcutsArea, EnclosingFoldersAreLeftToTheFolderTheyHold) {
  AreaFixture fx;
  fx.SetSpecialFolder(0x00, fx.Path(u"Desktop"));
  fx.SetSpecialFolder(0x1c, fx.Path(u"Local"));
  fx.SetSpecialFolder(0x1a, fx.Path(u"Roaming"));
  fx.SetSpecialFolder(0x08, fx.Path(u"Roaming\\Microsoft\\Recent"));
  fx.SetSpecialFolder(0x19, fx.Path(u"Desktop"));  // the same folder twice
  const Text r = Lowercase(fx.root());
  EXPECT_EQ((std::vector<Text>{r + u"\\desktop\\", r + u"\\local\\", u"", r + u"\\roaming\\microsoft\\recent\\", u""}),
            fx.area<CShortcuts>(kShortcutsBit).CollectShortcutFolders());
}

TEST(ShortcutsArea, ShortcutsWithMissingTargetsOnFixedDrives) {
  AreaFixture fx;
  Targets targets(fx);
  fx.SetSpecialFolder(0x00, fx.Path(u"Desktop"));
  fx.SetSpecialFolder(0x1a, fx.Path(u"Roaming"));
  fx.SetSpecialFolder(0x08, fx.Path(u"Roaming\\Recent"));
  fx.SetSpecialFolder(0x19, fx.Path(u"Public"));
  const Text desk = fx.Path(u"Desktop\\gone.lnk"), recent = fx.Path(u"Roaming\\Recent\\Sub\\nowhere.lnk");
  PutLink(fx, "gone.lnk", desk);
  PutLink(fx, "nowhere.lnk", recent);
  PutLink(fx, "gone.lnk", fx.Path(u"Roaming\\Elsewhere\\gone.lnk"));  // the emptied folder
  const Text deep = fx.Path(u"Desktop\\" + Text(226 - fx.root().size() - 18, u'd') + u"\\gone.lnk");
  ASSERT_GT(deep.size(), kMaxShortcutPathChars);
  PutLink(fx, "gone.lnk", deep);
  for (const char* ok : {"present.lnk", "args.lnk", "folder.lnk", "unc.lnk", "notalink.lnk", "truncated.lnk"})
    PutLink(fx, ok, fx.Path(u"Public\\") + FromUtf8(ok));

  EXPECT_EQ(1, fx.area<CShortcuts>(kShortcutsBit).Scan());

  EXPECT_EQ(2u, Own(fx, kShortcutsBit).size());
  const CProblem* p = ByLink(fx, kShortcutsBit, desk);
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(34, p->entry_type);
  EXPECT_EQ(u"", p->key);
  EXPECT_EQ((std::vector<Text>{u"gone", Lowercase(desk), kTargets + u"\\App\\gone.exe"}), Details(p));
  EXPECT_NE(nullptr, ByLink(fx, kShortcutsBit, recent));
}

TEST(ShellAreas, CancelEndsTheShortcutScansWithTwo) {
  AreaFixture fx;
  SetProgramsFolders(fx, fx.Path(u"User\\Programs"), fx.Path(u"Common\\Programs"));
  fx.SetSpecialFolder(0x00, fx.Path(u"Desktop"));
  PutLink(fx, "gone.lnk", fx.Path(u"Desktop\\gone.lnk"));
  PutLink(fx, "gone.lnk", fx.Path(u"User\\Programs\\gone.lnk"));
  fx.manager().Cancel();
  EXPECT_EQ(2, fx.area<CShortcuts>(kShortcutsBit).Scan());
  EXPECT_EQ(2, fx.area<CStartMenu>(kStartMenuBit).Scan());
  EXPECT_TRUE(Own(fx, kShortcutsBit).empty());
  EXPECT_TRUE(Own(fx, kStartMenuBit).empty());
}

}  // namespace
}  // namespace hs
