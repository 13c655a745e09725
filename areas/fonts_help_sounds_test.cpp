// The fonts, help files and sounds areas on the build's registry and file
// system, with entries seeded under unique names (the machine's own entries
// beside them are not judged).
#include <gtest/gtest.h>

#include "areas/fonts.h"
#include "areas/help_files.h"
#include "areas/sounds.h"
#include "platform/shell_folders.h"
#include "testing/area_fixture.h"

namespace hs {
namespace {

using ::hs::testing::AreaFixture;

constexpr std::uint32_t kFontsBit = 0x0008, kHelpBit = 0x0010, kSoundsBit = 0x0200;
const Text kFontsKey = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
const Text kHelpKey = u"SOFTWARE\\Microsoft\\Windows\\Help";
const Text kHtmlHelpKey = u"SOFTWARE\\Microsoft\\Windows\\HTML Help";
const Text kApps = u"AppEvents\\Schemes\\Apps\\";
const Text kLabels = u"AppEvents\\EventLabels\\";

Text Folder(AreaFixture& fx, int csidl) { return fx.context().folders->SpecialFolderPath(csidl); }

TEST(FontsArea, BareNamesInTheFontsFolderAbsolutePathsAsTheyAre) {
  AreaFixture fx;
  const Text n = fx.name();
  const Text fonts = Folder(fx, 0x14);
  ASSERT_FALSE(fonts.empty());
  fx.Put(fonts + u"\\" + n + u".ttf");
  fx.Put(fx.Path(u"Fonts\\abs.ttf"));
  fx.Sz(kHkeyLocalMachine, kFontsKey, true, n + u" Present", n + u".ttf");
  fx.Sz(kHkeyLocalMachine, kFontsKey, true, n + u" Absolute", fx.Path(u"Fonts\\abs.ttf"));
  fx.Sz(kHkeyLocalMachine, kFontsKey, true, n + u" Gone", n + u"-gone.ttf");
  fx.Sz(kHkeyLocalMachine, kFontsKey, true, n + u" Gone Absolute", fx.Path(u"Fonts\\gone.ttf"));
  fx.Sz(kHkeyLocalMachine, kFontsKey, true, n + u" Empty", u"");
  fx.Dword(kHkeyLocalMachine, kFontsKey, true, n + u" Number", 7);

  CFonts& area = fx.area<CFonts>(kFontsBit);
  EXPECT_EQ(1, area.Scan());
  EXPECT_EQ(fonts + u"\\", area.fonts_folder());
  EXPECT_GE(area.font_count(), 6u);
  for (const auto& [value, data] : {std::pair{n + u" Gone", n + u"-gone.ttf"},
                                    std::pair{n + u" Gone Absolute", fx.Path(u"Fonts\\gone.ttf")},
                                    std::pair{n + u" Empty", Text()}}) {
    const auto found = fx.Find(kFontsBit, u"HKEY_LOCAL_MACHINE\\" + kFontsKey, value);
    ASSERT_EQ(1u, found.size()) << ToUtf8(value);
    EXPECT_EQ(23, found[0]->entry_type);
    EXPECT_EQ(data, found[0]->value_data);
    EXPECT_EQ(std::vector<Text>{u"Missing font " + value}, found[0]->details);
    EXPECT_EQ(0, found[0]->entry32);
  }
  EXPECT_EQ(3u, fx.OwnCount(kFontsBit));
}

// Each list in each view; on 64-bit Windows an entry is reported in every
// view that shows it.
void HelpListsIn(AreaFixture& fx) {
  const Text n = fx.name();
  const std::vector<bool> views = fx.windows64() ? std::vector<bool>{true, false} : std::vector<bool>{true};
  fx.Put(fx.Path(u"Help\\ok.hlp"));
  const Text windows = Folder(fx, 0x24);
  fx.Put(windows + u"\\Help\\" + n + u"-inhelp.hlp");
  for (bool v : views) {
    const Text s = v ? u"-64" : u"-32";
    fx.Sz(kHkeyLocalMachine, kHelpKey, v, n + s + u"-gone.hlp", fx.root());
    fx.Sz(kHkeyLocalMachine, kHtmlHelpKey, v, n + s + u"-gone.chm", fx.Path(u"Help\\"));
    fx.Sz(kHkeyLocalMachine, kHelpKey, v, n + s + u"-bare.hlp", u"");
    fx.Sz(kHkeyLocalMachine, kHelpKey, v, u"ok.hlp", fx.Path(u"Help"));
    fx.Sz(kHkeyLocalMachine, kHtmlHelpKey, v, n + u"-inhelp.hlp", u"");
  }
  EXPECT_EQ(1, fx.area<CHelpFiles>(kHelpBit).Scan());
  std::size_t expected = 0;
  for (bool v : views) {
    const Text s = v ? u"-64" : u"-32";
    struct {
      const Text& key;
      Text name;
      int type;
      Text folder;
      const char16_t* detail;
    } cases[] = {{kHelpKey, n + s + u"-gone.hlp", 24, fx.root(), u"Missing help file "},
                 {kHtmlHelpKey, n + s + u"-gone.chm", 25, fx.Path(u"Help\\"), u"Missing HTML help file "},
                 {kHelpKey, n + s + u"-bare.hlp", 24, Text(), u"Missing help file "}};
    for (const auto& c : cases) {
      for (bool in : views) {
        SCOPED_TRACE(ToUtf8(c.name) + (in ? " in 64" : " in 32"));
        const CProblem* p = fx.FindIn(kHelpBit, u"HKEY_LOCAL_MACHINE\\" + c.key, c.name, in);
        const bool shown = in == v || fx.ValueVisible(kHkeyLocalMachine, c.key, c.name, in);
        ASSERT_EQ(shown, p != nullptr);
        if (!p) continue;
        ++expected;
        EXPECT_EQ(c.type, p->entry_type);
        EXPECT_EQ(c.folder, p->value_data);
        EXPECT_EQ(std::vector<Text>{c.detail + c.name}, p->details);
      }
    }
  }
  EXPECT_EQ(expected, fx.OwnCount(kHelpBit)) << "present files, found bare names and ok.hlp are not reported";
}

TEST(HelpFilesArea, BothListsInEveryView) {
  AreaFixture fx;
  HelpListsIn(fx);
}

#ifndef _WIN32
TEST(HelpFilesArea, OnePassWithoutViewsOn32BitWindows) {
  AreaFixture fx(false);
  HelpListsIn(fx);
}
#endif

TEST(SoundsArea, SchemesLabelsAndTheMediaFolder) {
  AreaFixture fx;
  const Text n = fx.name();
  const Text media = Folder(fx, 0x24) + u"\\media\\";
  fx.Put(media + n + u"-ok.wav");
  fx.Put(fx.Path(u"Sounds\\ok.wav"));
  const Text app = kApps + n, quiet = kApps + n + u"-quiet";
  fx.Sz(kHkeyCurrentUser, app, true, u"", u"Demo App");
  fx.Sz(kHkeyCurrentUser, kLabels + n + u"Chime", true, u"", u"Old Chime");
  // Reported: a bare name missing from the media folder (also one holding
  // a space), a missing absolute path.
  fx.Sz(kHkeyCurrentUser, app + u"\\" + n + u"Chime\\.Current", true, u"", n + u"-gone.wav");
  fx.Sz(kHkeyCurrentUser, app + u"\\" + n + u"Chime\\.Default", true, u"", n + u" gone chime.wav");
  fx.Sz(kHkeyCurrentUser, quiet + u"\\" + n + u"Beep\\.None", true, u"", fx.Path(u"Sounds\\gone.wav"));
  // Not reported: found in the media folder, directly, through a variable;
  // empty values.
  fx.Sz(kHkeyCurrentUser, app + u"\\" + n + u"Fine\\.Current", true, u"", n + u"-ok.wav");
  fx.Sz(kHkeyCurrentUser, app + u"\\" + n + u"Fine\\.Default", true, u"", u"\"" + fx.Path(u"Sounds\\ok.wav") + u"\"");
  fx.Set(kHkeyCurrentUser, app + u"\\" + n + u"Fine\\.None", true, u"", kRegExpandSz,
         AreaFixture::Utf16z(u"%SystemRoot%\\media\\" + n + u"-ok.wav"));
  fx.Sz(kHkeyCurrentUser, app + u"\\" + n + u"Chime\\.None", true, u"", u"");
  fx.Key(kHkeyCurrentUser, quiet + u"\\" + n + u"Beep\\.Current", true);

  EXPECT_EQ(1, fx.area<CSounds>(kSoundsBit).Scan());
  const Text cu = u"HKEY_CURRENT_USER\\";
  struct {
    Text key;
    Text data;
    Text detail0;
    const char16_t* scheme;
  } cases[] = {
      {app + u"\\" + n + u"Chime\\.Current", n + u"-gone.wav", u"Event Old Chime for the program Demo App", u"Current"},
      {app + u"\\" + n + u"Chime\\.Default", n + u" gone chime.wav", u"Event Old Chime for the program Demo App",
       u"Windows Default"},
      {quiet + u"\\" + n + u"Beep\\.None", fx.Path(u"Sounds\\gone.wav"),
       u"Event " + n + u"Beep for the program " + n + u"-quiet", u"No Sounds"},
  };
  for (const auto& c : cases) {
    const auto found = fx.Find(kSoundsBit, cu + c.key);
    ASSERT_EQ(1u, found.size()) << ToUtf8(c.key);
    EXPECT_EQ(37, found[0]->entry_type);
    EXPECT_EQ(c.data, found[0]->value_data);
    EXPECT_EQ((std::vector<Text>{c.detail0, c.scheme}), found[0]->details);
    EXPECT_EQ(0, found[0]->entry32);
  }
  EXPECT_EQ(3u, fx.OwnCount(kSoundsBit));
}

TEST(FontsHelpSoundsAreas, CancelledScansAnswerTwo) {
  AreaFixture fx;
  fx.Sz(kHkeyLocalMachine, kFontsKey, true, fx.name() + u" Empty", u"");
  fx.Sz(kHkeyLocalMachine, kHelpKey, true, fx.name() + u".hlp", fx.root());
  fx.Sz(kHkeyCurrentUser, kApps + fx.name() + u"\\Ev\\.Current", true, u"", fx.Path(u"gone.wav"));
  fx.manager().Cancel();
  for (std::uint32_t bit : {kFontsBit, kHelpBit, kSoundsBit}) {
    EXPECT_EQ(2, fx.manager().AreaByBit(bit)->Scan());
    EXPECT_EQ(0u, fx.manager().AreaByBit(bit)->Count());
  }
}

}  // namespace
}  // namespace hs
