// The page host's failure reports and the system texts it keeps, without a
// display (the browser cannot be placed, so nothing loads).
#include "ui/browser_page.h"

#include <gtest/gtest.h>

#include "ui/controls.h"
#include "ui/page_table.h"

namespace hs::ui {
namespace {

TEST(BrowserPage, APageThatNeverLoadedCannotGetItsScript) {
  std::vector<int> loads;
  BrowserPage::Events events;
  events.loaded = [&loads](int page, bool) { loads.push_back(page); };
  BrowserPage page(444, events);
  EXPECT_FALSE(page.CallScript(u"OnWelcomeNext", {u"0", u"", u"-1", u"never", u"0 problems"}));
  EXPECT_EQ(u"Cannot GetScript", page.LastError());
  EXPECT_FALSE(page.loaded());

  // No parent window: the page cannot be made, and says so.
  const RECT r{0, 0, 100, 100};
  EXPECT_FALSE(page.Create(nullptr, r, ResourceUrl(u"C:\\x.exe", u"444"), u"Home"));
  EXPECT_FALSE(page.CallScript(u"setlanguage", {u"eng"}));
  EXPECT_EQ(u"Cannot GetScript", page.LastError()) << "a failed call keeps its reason";
  EXPECT_TRUE(loads.empty()) << "a page that was never made reports no load";
}

TEST(SystemMessageText, HasNoLineBreakAndNamesUnknownCodes) {
  const Text known = SystemMessageText(ERROR_FILE_NOT_FOUND);
  ASSERT_FALSE(known.empty());
  EXPECT_NE(u'\n', known.back());
  EXPECT_NE(u'\r', known.back());
  EXPECT_EQ(u"0x2BADF00D", SystemMessageText(0x2BADF00D)) << "no system text: the number";
}

}  // namespace
}  // namespace hs::ui
