#include "app/result_popup.h"

#include <gtest/gtest.h>

#include "testing/memory_log.h"

namespace hs {
namespace {

Text Key(TextView key) {
  if (key == u"IDS_ERR_FOUND") return u"%d problems wait.";
  if (key == u"IDS_NOT_SCANNED") return u"No scan for %d days.";
  return Text(key);
}

TEST(ResultPopupTexts, EachKindHasItsLinesAndLink) {
  const PopupContent many = ScanResultPopup(12, false, Key);
  EXPECT_EQ(PopupKind::kProblemsFound, many.kind);
  EXPECT_EQ((std::vector<Text>{u"IDS_HVX_FOUND_NUM 12 IDS_ERRORS", u"IDS_DURING_SCH_SCAN"}), many.lines);
  EXPECT_EQ(Text(u"IDS_CLICK_TOVIEW_RESULTS"), many.link);
  EXPECT_EQ(Text(u"IDS_HVX_FOUND_NUM 1 IDS_ERROR"), ScanResultPopup(1, false, Key).lines.at(0));

  const PopupContent none = ScanResultPopup(0, false, Key);
  EXPECT_EQ(PopupKind::kNoneFound, none.kind);
  EXPECT_EQ((std::vector<Text>{u"IDS_HVX_DIDNOT_FOUND_ERRORS", u"IDS_ON_UR_SYSTEM"}), none.lines);
  EXPECT_EQ(Text(u"IDS_CLICKTO_OPEN_HVX"), none.link);

  const PopupContent no_area = ScanResultPopup(5, true, Key);
  EXPECT_EQ(PopupKind::kNoScanArea, no_area.kind) << "no area wins over an old count";
  EXPECT_EQ((std::vector<Text>{u"IDS_CUD_NOT_COMP_SCHED_SCAN", u"IDS_AS_NOSCANAREA_SEL"}), no_area.lines);
  EXPECT_EQ(Text(u"IDS_CLICKTO_OPEN_HVX"), no_area.link);

  const PopupContent update = UpdatePopup(Key);
  EXPECT_EQ(PopupKind::kUpdateAvailable, update.kind);
  EXPECT_EQ((std::vector<Text>{u"IDS_NEW_UPDATE_AVAILABLE"}), update.lines);
  EXPECT_EQ(Text(u"IDS_CLK_TO_UPDATE_NOW"), update.link);
}

TEST(ResultPopupTexts, TheReminderNeedsProblemsOrAWeekWithoutAScan) {
  const auto problems = ReminderPopup(3, 0, Key);
  ASSERT_TRUE(problems);
  EXPECT_EQ(PopupKind::kReminderProblems, problems->kind);
  EXPECT_EQ((std::vector<Text>{u"3 problems wait."}), problems->lines);
  const auto old = ReminderPopup(0, 7, Key);
  ASSERT_TRUE(old);
  EXPECT_EQ(PopupKind::kReminderNotScanned, old->kind);
  EXPECT_EQ((std::vector<Text>{u"No scan for 7 days."}), old->lines);
  EXPECT_FALSE(ReminderPopup(0, 6, Key));
  EXPECT_FALSE(ReminderPopup(0, -1, Key)) << "never scanned: no reminder";
}

TEST(ResultPopupTexts, ClicksLeadWhereTheTextsPromise) {
  EXPECT_EQ(PopupAction::kShowResults, ClickAction(PopupKind::kProblemsFound));
  EXPECT_EQ(PopupAction::kShowResults, ClickAction(PopupKind::kReminderProblems));
  EXPECT_EQ(PopupAction::kShowHome, ClickAction(PopupKind::kNoneFound));
  EXPECT_EQ(PopupAction::kShowHome, ClickAction(PopupKind::kNoScanArea));
  EXPECT_EQ(PopupAction::kStartUpdate, ClickAction(PopupKind::kUpdateAvailable));
  EXPECT_EQ(PopupAction::kStartScan, ClickAction(PopupKind::kReminderNotScanned));
}

TEST(ResultPopupControl, OneClickThenOneCloseThatSavesAndLogs) {
  MemoryLog log;
  int saves = 0;
  ResultPopup popup(ScanResultPopup(2, false, Key), log, [&] { ++saves; });
  EXPECT_EQ(PopupAction::kShowResults, popup.OnClick());
  EXPECT_FALSE(popup.OnClick()) << "a second click asks nothing more";
  EXPECT_EQ(0, saves);
  EXPECT_TRUE(popup.Close());
  EXPECT_TRUE(popup.closed());
  EXPECT_FALSE(popup.Close());
  EXPECT_EQ(1, saves);
  EXPECT_EQ((std::vector<Text>{u"PostQuitMessage :CDLGPopupControl::Close()"}), log.Lines());

  ResultPopup closed_first(UpdatePopup(Key), log, nullptr);
  EXPECT_TRUE(closed_first.Close()) << "no save callback: the close still happens";
  EXPECT_FALSE(closed_first.OnClick()) << "a closed pop-up takes no click";
}

}  // namespace
}  // namespace hs
