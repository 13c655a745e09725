// The deep scan on the build's registry and file system: its own subtrees
// under unique names are walked directly; one test runs the whole scan.
#include <gtest/gtest.h>

#include "areas/deep_scan.h"
#include "testing/area_fixture.h"

namespace hs {
namespace {

using ::hs::testing::AreaFixture;

constexpr std::uint32_t kLmBit = 0x1000, kCuBit = 0x2000;
const Text kLm = u"HKEY_LOCAL_MACHINE\\";
const Text kCu = u"HKEY_CURRENT_USER\\";

std::vector<std::uint8_t> Bytes(TextView text, bool terminated) {
  std::vector<std::uint8_t> b = ToUtf16leBytes(text);
  if (terminated) b.insert(b.end(), {0, 0});
  return b;
}

TEST(DeepScanRules, SkipListIsTheWholeListInOrder) {
  const auto list = CDeepScan::SkipListEntries();
  ASSERT_EQ(336u, list.size());
  EXPECT_EQ(u"\\windows\\currentversion\\sidebyside\\", list[0]);
  EXPECT_EQ(u"\\wow6432node", list[3]);
  EXPECT_EQ(u"{85bbd92o-42a0-1o69-a2e4-08002b30309d}", list[11]) << "kept as written, letter o and all";
  EXPECT_EQ(u"software\\classes\\clsid", list[32]);
  EXPECT_EQ(u"-11d0-", list[171]);
  EXPECT_EQ(u"\\svcid\\ced2de40-bff6-11ce-9de8-00aa00a3f464 datafactory\\", list[225]);
  EXPECT_EQ(u"microsoft\\windows\\currentversion\\explorer\\menuorder\\start menu", list[335]);
  for (TextView e : list) EXPECT_EQ(Lowercase(e), Text(e));

  EXPECT_TRUE(CDeepScan::IsSkippedPath(u"software\\classes\\clsid\\{x}\\inprocserver32"));
  EXPECT_TRUE(CDeepScan::IsSkippedPath(u"software\\wow6432node"));
  EXPECT_TRUE(CDeepScan::IsSkippedPath(u"appevents\\schemes\\apps"));
  EXPECT_FALSE(CDeepScan::IsSkippedPath(u"software\\classes"));
  EXPECT_FALSE(CDeepScan::IsSkippedPath(u"software\\lumen\\viewer"));
}

TEST(DeepScanRules, LooksLikePath) {
  AreaFixture fx;
  const CDeepScan& area = fx.area<CDeepScan>(kLmBit);
  for (const char16_t* yes : {u"C:\\x\\y.dll", u"C:", u"res://C:\\x\\y.dll/2/1", u"FILE://c:\\a.txt", u"a\\b",
                              u"1\\x", u"12:3"})
    EXPECT_TRUE(area.LooksLikePath(yes, false)) << ToUtf8(yes);
  for (const char16_t* no : {u"http://C:\\x.exe", u"mailto://a:\\b", u"1C:\\x\\y.dll", u"x9:\\file.dll",
                             u"plain text", u"", u"ab"})
    EXPECT_FALSE(area.LooksLikePath(no, false)) << ToUtf8(no);
  EXPECT_FALSE(area.LooksLikePath(u"C:\\x\\y.dll", true)) << "value names are never paths";
}

// Machine-hive values of every kind, in both views of 64-bit Windows.
TEST(DeepScanArea, MachineHiveValuesInEachView) {
  AreaFixture fx;
  fx.Put(fx.Path(u"Deep\\here.dll"));
  std::vector<bool> views = fx.windows64() ? std::vector<bool>{true, false} : std::vector<bool>{true};
  const Text gone = fx.Path(u"Deep\\gone.dll");
  const Text long_gone = fx.Path(u"Deep\\" + Text(1100, u'x') + u".dll");  // 2,2xx bytes: not read
  for (bool v : views) {
    const Text base = u"SOFTWARE\\" + fx.name() + (v ? u"-64" : u"-32");
    fx.Sz(kHkeyLocalMachine, base + u"\\App", v, u"Gone", gone);
    fx.Sz(kHkeyLocalMachine, base + u"\\App", v, u"", u"\"" + gone + u"\" /quiet");
    fx.Sz(kHkeyLocalMachine, base + u"\\App", v, u"Here", fx.Path(u"Deep\\here.dll") + u" /arg");
    fx.Set(kHkeyLocalMachine, base + u"\\App", v, u"Expand", kRegExpandSz, Bytes(fx.Path(u"Deep\\gone2.dll"), true));
    fx.Sz(kHkeyLocalMachine, base + u"\\App", v, u"Res", u"res://" + fx.Path(u"Deep\\gone3.dll") + u"/1");
    // Never tested: other schemes, a digit before ":\", long data, binary
    // data in the machine hive, value names, skipped subtrees.
    fx.Sz(kHkeyLocalMachine, base + u"\\App", v, u"Url", u"http://" + gone);
    fx.Sz(kHkeyLocalMachine, base + u"\\App", v, u"Digit", u"1;" + gone);
    fx.Sz(kHkeyLocalMachine, base + u"\\App", v, u"Long", long_gone);
    fx.Set(kHkeyLocalMachine, base + u"\\App", v, u"Binary", kRegBinary, Bytes(gone, true));
    fx.Sz(kHkeyLocalMachine, base + u"\\App", v, gone, u"data");
    fx.Sz(kHkeyLocalMachine, base + u"\\Shared Tools\\X", v, u"Gone", gone);
    fx.Sz(kHkeyLocalMachine, base + u"\\Fonts-like\\Windows Mail\\Y", v, u"Gone", gone);
  }

  CDeepScan& area = fx.area<CDeepScan>(kLmBit);
  for (bool v : views) {
    const Text path = u"software\\" + fx.name() + (v ? u"-64" : u"-32");
    EXPECT_EQ(1, fx.windows64() ? area.WalkKeyInView(kHkeyLocalMachine, path, u"HKEY_LOCAL_MACHINE", v)
                                : area.WalkKey(kHkeyLocalMachine, path, u"HKEY_LOCAL_MACHINE"));
    const Text key = kLm + path + u"\\App";
    struct Expect {
      const char16_t* name;
      Text data;
    } expected[] = {{u"Gone", gone},
                    {u"", u"\"" + gone + u"\" /quiet"},
                    {u"Expand", fx.Path(u"Deep\\gone2.dll")},
                    {u"Res", u"res://" + fx.Path(u"Deep\\gone3.dll") + u"/1"}};
    for (const auto& e : expected) {
      SCOPED_TRACE(ToUtf8(e.name) + (v ? " 64" : " 32"));
      const CProblem* p = fx.FindIn(kLmBit, key, e.name, v);
      ASSERT_NE(nullptr, p);
      EXPECT_EQ(42, p->entry_type);
      EXPECT_EQ(e.data, p->value_data);
      EXPECT_EQ(std::vector<Text>{u"IDS_ENG_MISSING_FILE"}, p->details);
    }
  }
  EXPECT_EQ(4u * views.size(), fx.OwnCount(kLmBit)) << "nothing else, and nothing found twice";
}

TEST(DeepScanArea, UserHiveReadsBinaryValuesToo) {
  AreaFixture fx;
  const Text base = u"Software\\" + fx.name();
  const Text gone = fx.Path(u"User\\gone.txt");
  fx.Put(fx.Path(u"User\\here.txt"));
  fx.Set(kHkeyCurrentUser, base + u"\\Mru", true, u"0", kRegBinary, Bytes(gone, true));
  fx.Set(kHkeyCurrentUser, base + u"\\Mru", true, u"1", kRegBinary, Bytes(fx.Path(u"User\\here.txt"), true));
  fx.Sz(kHkeyCurrentUser, base + u"\\Recent", true, u"Last", gone);
  fx.Dword(kHkeyCurrentUser, base + u"\\Recent", true, u"Count", 3);

  CDeepScan& area = fx.area<CDeepScan>(kCuBit);
  EXPECT_EQ(1, area.Scan());
  EXPECT_TRUE(area.stopped());
  for (const auto& [key, name] : {std::pair{base + u"\\Mru", u"0"}, std::pair{base + u"\\Recent", u"Last"}}) {
    const auto found = fx.Find(kCuBit, kCu + key, name);
    ASSERT_EQ(1u, found.size()) << ToUtf8(key) << " is walked once";
    EXPECT_EQ(43, found[0]->entry_type);
    EXPECT_EQ(gone, found[0]->value_data);
    EXPECT_EQ(0, found[0]->entry32);
  }
  EXPECT_EQ(2u, fx.OwnCount(kCuBit));
}

TEST(DeepScanArea, TheScanWalksTheMachineHiveInEveryViewAndStopsWhenCancelled) {
  AreaFixture fx;
  const Text gone = fx.Path(u"Scan\\gone.dll");
  const Text base = u"SOFTWARE\\" + fx.name();
  fx.Sz(kHkeyLocalMachine, base, true, u"File", gone);
  if (fx.windows64()) fx.Sz(kHkeyLocalMachine, base + u"-32", false, u"File", gone);
  fx.Sz(kHkeyCurrentUser, u"Software\\" + fx.name(), true, u"File", gone);

  EXPECT_EQ(1, fx.area<CDeepScan>(kLmBit).Scan());
  const Text key = kLm + u"software\\" + fx.name();
  EXPECT_NE(nullptr, fx.FindIn(kLmBit, key, u"File", true));
  if (fx.windows64()) {
    EXPECT_EQ(nullptr, fx.FindIn(kLmBit, key, u"File", false));
    EXPECT_NE(nullptr, fx.FindIn(kLmBit, key + u"-32", u"File", false));
    EXPECT_EQ(nullptr, fx.FindIn(kLmBit, key + u"-32", u"File", true));
  }
  EXPECT_EQ(fx.windows64() ? 2u : 1u, fx.OwnCount(kLmBit)) << "Wow6432Node is not walked in the 64-bit view";

  // Cancelled: both areas answer 2 and report nothing.
  fx.manager().CreateAreas(kLmBit | kCuBit, 2);
  fx.manager().Cancel();
  for (std::uint32_t bit : {kLmBit, kCuBit}) {
    CDeepScan& area = fx.area<CDeepScan>(bit);
    EXPECT_EQ(2, area.Scan());
    EXPECT_TRUE(area.stopped());
    EXPECT_EQ(0u, area.Count());
    EXPECT_EQ(2, area.WalkKey(area.root(), u"", u"X")) << "the stop flag unwinds every further walk";
  }
}

TEST(DeepScanArea, EmptyKeysOfTheWalkedTree) {
  AreaFixture fx;
  const Text base = u"Software\\" + fx.name();
  fx.Key(kHkeyCurrentUser, base + u"\\Empty", true);
  fx.Sz(kHkeyCurrentUser, base + u"\\EmptyDefault", true, u"", u"");
  fx.Sz(kHkeyCurrentUser, base + u"\\Named", true, u"Name", u"");
  fx.Key(kHkeyCurrentUser, base + u"\\Parent\\Child", true);
  CDeepScan& area = fx.area<CDeepScan>(kCuBit);
  fx.context().skip_empty_keys = true;
  EXPECT_EQ(1, area.WalkKey(kHkeyCurrentUser, base, u"HKEY_CURRENT_USER"));
  EXPECT_EQ(0u, fx.OwnCount(kCuBit));

  fx.context().skip_empty_keys = false;
  EXPECT_EQ(1, area.WalkKey(kHkeyCurrentUser, base, u"HKEY_CURRENT_USER"));
  for (const char16_t* empty : {u"\\Empty", u"\\EmptyDefault", u"\\Parent\\Child"}) {
    const auto found = fx.Find(kCuBit, kCu + base + empty);
    ASSERT_EQ(1u, found.size()) << ToUtf8(empty);
    EXPECT_EQ(1, found[0]->entry_type);
  }
  EXPECT_EQ(3u, fx.OwnCount(kCuBit)) << "keys holding a named value or a subkey are not empty";
}

TEST(DeepScanArea, ACancelDuringTheWalkUnwindsIt) {
  AreaFixture fx;
  const Text base = u"Software\\" + fx.name();
  fx.Key(kHkeyCurrentUser, base + u"\\A\\Empty", true);
  fx.Sz(kHkeyCurrentUser, base + u"\\B", true, u"File", fx.Path(u"gone.dll"));
  fx.Sz(kHkeyCurrentUser, base, true, u"File", fx.Path(u"gone.dll"));
  fx.context().skip_empty_keys = false;
  // The empty key's detail text is looked up while the walk is inside A.
  fx.context().strings = [&fx](TextView key) {
    if (key == u"IDS_EMPTY_KEY") fx.manager().Cancel();
    return Text(key);
  };
  CDeepScan& area = fx.area<CDeepScan>(kCuBit);
  EXPECT_EQ(2, area.WalkKey(kHkeyCurrentUser, base, u"HKEY_CURRENT_USER"));
  EXPECT_TRUE(area.stopped());
  EXPECT_EQ(1u, fx.OwnCount(kCuBit)) << "only the empty key found before the cancel";
  EXPECT_EQ(1u, fx.Find(kCuBit, kCu + base + u"\\A\\Empty").size());
}

// A registry far deeper than Windows allows neither exhausts the worker's
// stack nor is walked past the bound; everything within it is.
TEST(DeepScanArea, PathologicallyDeepTrees) {
  AreaFixture fx;
  const Text base = u"Software\\" + fx.name();
#ifdef _WIN32
  const int levels = 200, bound_level = 0;
#else
  const int levels = 3000, bound_level = static_cast<int>(CDeepScan::kMaxWalkDepth);
#endif
  Text path = base, at_150, at_bound, at_beyond;
  for (int depth = 1; depth <= levels; ++depth) {
    path += u"\\d";
    if (depth == 150) at_150 = path;
    if (depth == bound_level) at_bound = path;
    if (depth == bound_level + 1) at_beyond = path;
  }
  fx.Key(kHkeyCurrentUser, base, true);
  RegKey k = 0;
  ASSERT_EQ(err::kSuccess, fx.registry().Create(kHkeyCurrentUser, path, kKeyAllAccess | fx.View(true), &k, nullptr));
  fx.registry().Close(k);
  const Text gone = fx.Path(u"gone.dll");
  fx.Sz(kHkeyCurrentUser, at_150, true, u"File", gone);
  if (bound_level) {
    fx.Sz(kHkeyCurrentUser, at_bound, true, u"File", gone);
    fx.Sz(kHkeyCurrentUser, at_beyond, true, u"File", gone);
    fx.Sz(kHkeyCurrentUser, path, true, u"File", gone);
  }
  CDeepScan& area = fx.area<CDeepScan>(kCuBit);
  EXPECT_EQ(1, area.WalkKey(kHkeyCurrentUser, base, u"HKEY_CURRENT_USER"));
  EXPECT_EQ(1u, fx.Find(kCuBit, kCu + at_150, u"File").size());
  if (bound_level) {
    EXPECT_EQ(1u, fx.Find(kCuBit, kCu + at_bound, u"File").size());
    EXPECT_TRUE(fx.Find(kCuBit, kCu + at_beyond, u"File").empty());
    EXPECT_EQ(2u, fx.OwnCount(kCuBit));
  }
}

}  // namespace
}  // namespace hs
