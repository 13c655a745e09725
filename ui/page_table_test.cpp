#include "ui/page_table.h"

#include <gtest/gtest.h>

#include <set>

namespace hs::ui {
namespace {

TEST(PageTable, EveryScreenAndPageIsUniqueAndFoundByItsScreen) {
  std::set<int> screens, pages;
  std::set<Text> resources;
  for (const HtmlScreen& s : kHtmlScreens) {
    EXPECT_TRUE(pages.insert(s.page).second) << s.page;
    EXPECT_TRUE(resources.insert(Text(s.resource)).second);
    EXPECT_EQ(Text(s.resource), PageResourceName(s.resource)) << "resource names are upper case";
    if (s.screen == kScreenListLoading) continue;
    EXPECT_TRUE(screens.insert(s.screen).second) << s.screen;
    ASSERT_TRUE(HtmlScreenOf(s.screen).has_value());
    EXPECT_EQ(s.page, HtmlScreenOf(s.screen)->page);
  }
  EXPECT_EQ(u"444", HtmlScreenOf(dlg::kScreenHome)->resource);
  EXPECT_EQ(u"AFTER_REPAIR.HTML", HtmlScreenOf(dlg::kScreenAfterRepair)->resource);
  EXPECT_FALSE(HtmlScreenOf(kScreenListLoading).has_value()) << "the loading page is no screen";
  EXPECT_FALSE(HtmlScreenOf(110).has_value()) << "a native screen";
}

TEST(PageTable, NavigationButtonsSendTheScreenCommandsAndMarkTheirScreens) {
  const int commands[] = {242, 253, 244, 214, 256, 241};
  for (std::size_t i = 0; i < kNavButtons.size(); ++i) EXPECT_EQ(commands[i], kNavButtons[i].command);
  EXPECT_EQ(u"IDS_BTN_HELP", kNavButtons[5].text_key);
  EXPECT_EQ(0, NavIndexOfScreen(dlg::kScreenHome));
  EXPECT_EQ(1, NavIndexOfScreen(dlg::kScreenProgress)) << "the scan's screens belong to Scan";
  EXPECT_EQ(1, NavIndexOfScreen(dlg::kScreenAfterRepair));
  EXPECT_EQ(2, NavIndexOfScreen(dlg::kScreenOptimisation));
  EXPECT_EQ(-1, NavIndexOfScreen(110));
}

TEST(PageTable, ResourceNamesAreUpperCasedFileNames) {
  EXPECT_EQ(u"HS.CSS", PageResourceName(u"hs.css"));
  EXPECT_EQ(u"AFTER_REPAIR.HTML", PageResourceName(u"after_repair.html"));
  EXPECT_EQ(u"IMG-2.PNG", PageResourceName(u"Img-2.png")) << "digits and marks stay";
}

TEST(PageTable, ResourceUrlsEscapeWhatWouldEndThePath) {
  EXPECT_EQ(u"res://C:\\Program Files\\HiveSweep\\HiveSweep.exe/444",
            ResourceUrl(u"C:\\Program Files\\HiveSweep\\HiveSweep.exe", u"444"));
  EXPECT_EQ(u"res://C:\\a%23b%3F%25c\\x.exe/HS.CSS", ResourceUrl(u"C:\\a#b?%c\\x.exe", u"HS.CSS"));
  EXPECT_EQ(u"JSCall Error:\nUnknown name.", ScriptCallError(u"Unknown name."));
}

}  // namespace
}  // namespace hs::ui
