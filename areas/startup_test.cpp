// The startup area on the build's registry and file system: Run values in
// both views of the machine key and in the user's key, seeded under unique
// names.
#include "areas/startup.h"

#include <gtest/gtest.h>

#include "testing/area_fixture.h"

namespace hs {
namespace {

using ::hs::testing::AreaFixture;

constexpr std::uint32_t kStartupBit = 0x0800;
const Text kRun = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const Text kRunDash = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run-";

TEST(StartupArea, MissingAndEmptyRunValuesPerRootAndView) {
  AreaFixture fx;
  fx.Put(fx.Path(u"App\\tray.exe"));
  const Text n = fx.name();
  const Text gone = u"\"" + fx.Path(u"App\\gone.exe") + u"\" /background";
  fx.Sz(kHkeyLocalMachine, kRun, true, n + u"-gone", gone);
  fx.Sz(kHkeyLocalMachine, kRunDash, true, n + u"-dash", fx.Path(u"App\\old.exe"));
  fx.Sz(kHkeyCurrentUser, kRun, true, n + u"-empty", u"");
  fx.Sz(kHkeyCurrentUser, kRun, true, n + u"-user", fx.Path(u"App\\qzrun.exe") + u" -min");
  // Never reported: present programs with quotes and arguments, bare names
  // the drive walk cannot place, an unreadable value.
  fx.Sz(kHkeyLocalMachine, kRun, true, n + u"-ok", u"\"" + fx.Path(u"App\\tray.exe") + u"\" -q");
  fx.Sz(kHkeyCurrentUser, kRun, true, n + u"-bare", n + u"-helper.exe /s");
  fx.Dword(kHkeyCurrentUser, kRun, true, n + u"-dword", 1);
  fx.Sz(kHkeyCurrentUser, kRun, true, n + u"-long", fx.Path(Text(300, u'x') + u".exe"));
  if (fx.windows64()) fx.Sz(kHkeyLocalMachine, kRun, false, n + u"-gone32", fx.Path(u"App\\gone32.exe"));

  EXPECT_EQ(1, fx.area<CStartup>(kStartupBit).Scan());

  auto one = [&](const Text& key, const Text& name, int entry32) -> const CProblem* {
    for (const CProblem* p : fx.Find(kStartupBit, key, name))
      if (p->entry32 == entry32) return p;
    return nullptr;
  };
  const Text lm = u"HKEY_LOCAL_MACHINE\\", cu = u"HKEY_CURRENT_USER\\";
  const CProblem* p = one(lm + kRun, n + u"-gone", 0);
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(41, p->entry_type);
  EXPECT_EQ(gone, p->value_data);
  EXPECT_EQ(std::vector<Text>{n + u"-gone"}, p->details);
  if (fx.windows64()) {
    EXPECT_EQ(fx.ValueVisible(kHkeyLocalMachine, kRun, n + u"-gone", false), one(lm + kRun, n + u"-gone", 1) != nullptr)
        << "the 32-bit walk reports what its view shows";
    EXPECT_NE(nullptr, one(lm + kRun, n + u"-gone32", 1));
  }
  EXPECT_NE(nullptr, one(lm + kRunDash, n + u"-dash", 0));
  const CProblem* empty = one(cu + kRun, n + u"-empty", 0);
  ASSERT_NE(nullptr, empty);
  EXPECT_EQ(u"", empty->value_data);
  EXPECT_EQ(1u, fx.Find(kStartupBit, cu + kRun, n + u"-user").size()) << "the user's key is walked once";
  for (const char16_t* ok : {u"-ok", u"-bare", u"-dword", u"-long"}) {
    EXPECT_TRUE(fx.Find(kStartupBit, lm + kRun, n + ok).empty()) << ToUtf8(ok);
    EXPECT_TRUE(fx.Find(kStartupBit, cu + kRun, n + ok).empty()) << ToUtf8(ok);
  }
}

TEST(StartupArea, AnEmptyDefaultValueIsNoStartupEntry) {
  AreaFixture fx;
  const Text own = u"Software\\" + fx.name() + u"\\Run";
  fx.Sz(kHkeyCurrentUser, own, true, u"", u"");
  fx.Sz(kHkeyCurrentUser, own, true, u"named", u"");
  EXPECT_EQ(1, fx.area<CStartup>(kStartupBit).ScanRunKey(false, own));
  EXPECT_TRUE(fx.Find(kStartupBit, u"HKEY_CURRENT_USER\\" + own, u"").empty());
  EXPECT_EQ(1u, fx.Find(kStartupBit, u"HKEY_CURRENT_USER\\" + own, u"named").size());
}

}  // namespace
}  // namespace hs
