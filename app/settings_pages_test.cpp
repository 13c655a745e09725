// The settings screen's page models against the registry of the build (the
// store natively, the real registry under Wine) in a scratch key: what a
// page writes, a fresh store and record read back as the next start would.
#include "app/settings_pages.h"

#include <gtest/gtest.h>

#include "testing/recording_prompts.h"
#include "testing/scratch_settings.h"
#include "testing/memory_log.h"
#include "testing/scratch_fs.h"
#include "testing/test_env.h"

namespace hs {
namespace {

using ::hs::testing::RecordingPrompts;

class SettingsPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch_ = std::make_unique<::hs::testing::ScratchSettings>(log_, "HSPages");
    store_ = &scratch_->store();
    env_ = std::make_unique<SettingsPagesEnv>(
        SettingsPagesEnv{*store_, settings_, prompts_, log_, [](TextView key) { return Text(key); }});
  }

  // The next start: a new store over the same key, a record with defaults.
  AppSettings Reloaded() { return scratch_->Reloaded(); }
  StartEntryContext Ctx() { return {10, u"C:\\Program Files\\HiveSweep\\HiveSweep.exe", u"HiveSweep", nullptr}; }

  MemoryLog log_;
  RecordingPrompts prompts_;
  std::unique_ptr<::hs::testing::ScratchSettings> scratch_;
  SettingsStore* store_ = nullptr;
  AppSettings settings_;
  std::unique_ptr<SettingsPagesEnv> env_;
};

TEST_F(SettingsPagesTest, GeneralPageAppliesAndTheNextStartReadsItBack) {
  std::vector<int> changes;
  GeneralPageModel page(*env_, Ctx(), 0, [&](int index) {
    changes.push_back(index);
    return LanguageChangeResult::kDeclined;
  });
  const std::vector<Text> names = GeneralPageModel::LanguageNames();
  ASSERT_EQ(20u, names.size());
  EXPECT_EQ(u"English", names[0]);
  EXPECT_EQ(u"Deutsch (German)", names[5]);
  EXPECT_EQ(u"\ud55c\uad6d\uc5b4(Korean)", names[18]);
  EXPECT_EQ((std::vector<Text>{u"IDS_ST_CLOSE_TO_TRAY", u"IDS_ST_CLOSE_EXIT"}), page.CloseActionItems());
  // Defaults: exit on close, start at logon.
  EXPECT_EQ(1, page.Current().close_action);
  EXPECT_TRUE(page.Current().start_at_logon);

  // Same language: saved, IDS_SETTINGS_SAVED, no language change.
  EXPECT_EQ(LanguageChangeResult::kSameLanguage, page.Apply({0, 0, false}));
  EXPECT_EQ(u"IDS_SETTINGS_SAVED", prompts_.shown.back());
  EXPECT_TRUE(changes.empty());
  AppSettings next = Reloaded();
  EXPECT_EQ(1u, next.GoToSystemTrayOnClose);
  EXPECT_EQ(0u, next.StartWhenWinBoots);
  EXPECT_EQ(0, page.Current().close_action);

  // Another language: the record is saved first, then the change runs.
  prompts_.shown.clear();
  EXPECT_EQ(LanguageChangeResult::kDeclined, page.Apply({4, 1, true}));
  EXPECT_EQ(std::vector<int>{4}, changes);
  EXPECT_TRUE(prompts_.shown.empty());
  next = Reloaded();
  EXPECT_EQ(0u, next.GoToSystemTrayOnClose);
  EXPECT_EQ(1u, next.StartWhenWinBoots);
}

TEST_F(SettingsPagesTest, ScanAreasPageRulesAndStoredMask) {
  ScanAreasPageModel page(*env_);
  page.Load();
  for (int g = 1; g <= 4; ++g) EXPECT_EQ(GroupCheck::kAll, page.group(g));  // missing value: all areas
  EXPECT_FALSE(page.apply_enabled());

  page.ClickGroup(2);  // all on: the click clears the group
  EXPECT_EQ(GroupCheck::kNone, page.group(2));
  page.SetArea(0, true);  // ActiveX/COM is in group 2
  EXPECT_EQ(GroupCheck::kSome, page.group(2));
  EXPECT_TRUE(page.apply_enabled());
  ASSERT_EQ(err::kSuccess, page.Apply().error);
  EXPECT_FALSE(page.apply_enabled());
  EXPECT_EQ(0x3FFBu, ReadSelectedCategories(*store_));

  // Nothing checked: IDS_NO_SELECTED, the stored mask stays, the boxes reload.
  for (int i = 0; i < kAreaCount; ++i) page.SetArea(i, false);
  const ScanAreasResult none = page.Apply();
  EXPECT_TRUE(none.none_selected);
  EXPECT_EQ(u"IDS_NO_SELECTED", prompts_.shown.back());
  EXPECT_EQ(0x3FFBu, ReadSelectedCategories(*store_));
  EXPECT_EQ(0x3FFBu, MaskFromAreaChecks(page.boxes()));

  page.RestoreDefaults();
  EXPECT_EQ(0x3FFFu, ReadSelectedCategories(*store_));
  EXPECT_EQ(GroupCheck::kAll, page.group(2));
}

TEST_F(SettingsPagesTest, ExclusionPageAddsDeletesAndFlipsItsBoxes) {
  ::hs::testing::ScratchFs scratch("hs_pages");
  const Text data = scratch.Path(u"data");
  ASSERT_EQ(err::kSuccess, scratch.fs().CreateDirectories(data));
  UserList list(UserListKind::kExclusion);
  ExclusionPageModel page(*env_, list, scratch.fs(), data);
  EXPECT_EQ((std::vector<Text>{u"HKEY_LOCAL_MACHINE", u"HKEY_CURRENT_USER", u"HKEY_CLASSES_ROOT", u"HKEY_USERS"}),
            ExclusionPageModel::RootNames());

  EXPECT_EQ(AddEntryResult::kKeepOpen, page.Add(0, u"   "));
  EXPECT_EQ(u"IDS_NOEMPTY_KEY", prompts_.shown.back());
  EXPECT_EQ(PromptIcon::kWarning, prompts_.icons.back());
  EXPECT_EQ(AddEntryResult::kAdded, page.Add(0, u"  \\Software\\X  "));
  EXPECT_EQ(AddEntryResult::kAdded, page.Add(1, u"Software\\Foo"));
  EXPECT_EQ(1, page.selected());
  EXPECT_EQ(AddEntryResult::kKeepOpen, page.Add(0, u"software\\x"));
  EXPECT_EQ(u"IDS_ITEM_ALREADY_EXIST", prompts_.shown.back());
  EXPECT_EQ((std::vector<Text>{u"HKEY_LOCAL_MACHINE\\SOFTWARE\\X", u"HKEY_CURRENT_USER\\SOFTWARE\\FOO"}), page.rows());

  // The list file holds what the page shows.
  UserList saved(UserListKind::kExclusion);
  ASSERT_EQ(ListLoadResult::kLoaded, saved.Load(scratch.fs(), data, log_));
  EXPECT_EQ(page.rows(), saved.entries());

  page.Select(-1);
  EXPECT_FALSE(page.Delete());
  EXPECT_EQ(u"IDS_SELECT_DELETE_ITEM", prompts_.shown.back());
  page.Select(0);
  prompts_.answer = PromptAnswer::kNo;
  EXPECT_FALSE(page.Delete());
  EXPECT_EQ(u"IDS_SELECT_DELETE_ENTRY", prompts_.shown.back());
  EXPECT_EQ(2u, page.rows().size());
  prompts_.answer = PromptAnswer::kYes;
  EXPECT_TRUE(page.Delete());
  EXPECT_EQ(std::vector<Text>{u"HKEY_CURRENT_USER\\SOFTWARE\\FOO"}, page.rows());
  EXPECT_EQ(0, page.selected());
  ASSERT_EQ(ListLoadResult::kLoaded, saved.Load(scratch.fs(), data, log_));
  EXPECT_EQ(page.rows(), saved.entries());

  // The boxes flip the record at once and save it: the next start has them.
  EXPECT_TRUE(page.skip_removable_media());
  EXPECT_EQ(err::kSuccess, page.ToggleSkipRemovableMedia());
  EXPECT_EQ(err::kSuccess, page.ToggleSkipEmptyKeys());
  EXPECT_EQ(0u, settings_.SetChkREmovableMedia);
  EXPECT_EQ(0u, settings_.SetChkSkipEmptyKeys);
  AppSettings next = Reloaded();
  EXPECT_EQ(0u, next.SetChkREmovableMedia);
  EXPECT_EQ(0u, next.SetChkSkipEmptyKeys);
  EXPECT_EQ(err::kSuccess, page.ToggleSkipEmptyKeys());
  EXPECT_TRUE(page.skip_empty_keys());
  EXPECT_EQ(1u, Reloaded().SetChkSkipEmptyKeys);
}

TEST_F(SettingsPagesTest, SchedulePageStoresItsValuesAndSaysSchedulingIsUnavailable) {
  SchedulePageModel page(*env_);
  EXPECT_EQ(u"IDS_NOSCHEDULE_YET", page.ScheduledAtText());
  EXPECT_EQ(ScheduleValues{}, ReadScheduleValues(*store_));
  const DateTime now{2026, 12, 9, 10, 30, 0};

  ScheduleValues weekly{2, {true, false, false, true, true, false, false}, u"12/10/2026", u"9:30:00 AM"};
  EXPECT_EQ(ScheduleApplyResult::kUnavailable, page.Apply(weekly, DateTime{2026, 12, 10, 9, 30}, now, u"2"));
  EXPECT_EQ(u"IDS_SCHEDULING_UNAVAILABLE", prompts_.shown.back());
  EXPECT_EQ(weekly, ReadScheduleValues(*store_));
  // The registry names of the values, Thursday's spelt "Thrusday".
  EXPECT_EQ(1u, store_->ReadDword(u"Thrusday", 0));
  EXPECT_EQ(1u, store_->ReadDword(u"Monday", 0));
  EXPECT_EQ(0u, store_->ReadDword(u"Sunday", 7));
  EXPECT_EQ(2u, store_->ReadDword(u"m_rBtnEvery", 9));
  Text date;
  EXPECT_TRUE(store_->ReadText(u"Date", &date));
  EXPECT_EQ(u"12/10/2026", date);
  EXPECT_TRUE(settings_.ScheduledTime.empty());

  ScheduleValues no_day = weekly;
  no_day.days = {};
  EXPECT_EQ(ScheduleApplyResult::kNoDay, page.Apply(no_day, DateTime{2026, 12, 10, 9, 30}, now, u""));
  EXPECT_EQ(u"IDS_NODAY", prompts_.shown.back());
  EXPECT_EQ(no_day, ReadScheduleValues(*store_));  // written before the checks

  ScheduleValues once{0, {}, u"12/9/2026", u"10:30:00 AM"};
  EXPECT_EQ(ScheduleApplyResult::kTimeElapsed, page.Apply(once, DateTime{2026, 12, 9, 10, 30}, now, u""));
  EXPECT_EQ(u"IDS_TIME_ALREADY_ELAPSED", prompts_.shown.back());
  EXPECT_EQ(ScheduleApplyResult::kDateElapsed, page.Apply(once, DateTime{2026, 12, 8, 23, 0}, now, u""));
  EXPECT_EQ(u"IDS_DATE_ALREADY_ELAPSED", prompts_.shown.back());
  EXPECT_EQ(ScheduleApplyResult::kUnavailable, page.Apply(once, DateTime{2026, 12, 9, 10, 31}, now, u""));

  ScheduleValues bad = once;
  bad.kind = 7;
  EXPECT_EQ(ScheduleApplyResult::kInvalidKind, page.Apply(bad, now, now, u""));
  EXPECT_EQ(u"IDS_DATAERROR", prompts_.shown.back());

  // No schedule: a stored description is cleared, in the registry too.
  settings_.ScheduledTime = u"Every day at 09:30 AM";
  ASSERT_EQ(err::kSuccess, store_->SaveSettings(settings_));
  EXPECT_EQ(u"Every day at 09:30 AM", page.ScheduledAtText());
  const std::size_t messages = prompts_.shown.size();
  ScheduleValues none;
  none.kind = 3;
  EXPECT_EQ(ScheduleApplyResult::kCleared, page.Apply(none, now, now, u""));
  EXPECT_EQ(messages, prompts_.shown.size());
  EXPECT_TRUE(Reloaded().ScheduledTime.empty());
  EXPECT_EQ(u"IDS_NOSCHEDULE_YET", page.ScheduledAtText());
}

TEST(RepeatInterval, EmptyZeroAndJunkGiveOne) {
  EXPECT_EQ(1, ParseRepeatInterval(u""));
  EXPECT_EQ(1, ParseRepeatInterval(u"0"));
  EXPECT_EQ(1, ParseRepeatInterval(u"abc"));
  EXPECT_EQ(3, ParseRepeatInterval(u"3"));
  EXPECT_EQ(12, ParseRepeatInterval(u"12 weeks"));
  // Only the first 12 characters count.
  EXPECT_EQ(0x7FFF, ParseRepeatInterval(u"999999999999999"));
}

}  // namespace
}  // namespace hs
