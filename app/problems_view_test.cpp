#include "app/problems_view.h"

#include <gtest/gtest.h>

#include "app/main_dialog.h"
#include "platform/recording_shell_open.h"
#include "testing/recording_prompts.h"
#include "testing/scan_fixture.h"

namespace hs {
namespace {

using namespace hs::testing;

Text Key(TextView key) { return Text(key); }

class ProblemsViewTest : public ::testing::Test {
 protected:
  ProblemsViewTest()
      : fx(MachineFacts{}, MakePlain),
        view({*fx.manager, exclusions, RegEnv{*fx.registry, false}, fx.system, prompts, clipboard, shell, viewer,
              fx.log, Key,
              [this](std::size_t row) { changed.push_back(row); },
              [this](std::size_t row) { removed.push_back(row); },
              [this] { ++pumps; },
              [this] { ++exclusion_saves; },
              [this] { ++exports; }}) {
    fx.manager->CreateAreas(kAllAreasMask, kAreaCount);
  }

  CProblem& Add(std::uint32_t bit, TextView key, TextView detail0 = u"reason", int selected = 1) {
    auto p = std::make_unique<CProblem>();
    p->entry_type = 2;
    p->key = Text(key);
    p->details = {Text(detail0)};
    p->selected = selected;
    CProblem& ref = *p;
    fx.manager->ProblemsOf(bit)->push_back(std::move(p));
    return ref;
  }
  std::size_t Remaining() { return fx.manager->TotalProblems(); }

  ScanFixture fx;
  UserList exclusions{UserListKind::kExclusion};
  RecordingPrompts prompts;
  MemoryClipboard clipboard;
  RecordingShellOpen shell;
  RecordingKeyViewer viewer;
  std::vector<std::size_t> changed, removed;
  int pumps = 0, exclusion_saves = 0, exports = 0;
  CProblemsView view;
};

TEST_F(ProblemsViewTest, RowsFollowAreaBitOrderThenListOrder) {
  Add(0x0800, u"HKEY_CURRENT_USER\\Startup\\A");
  Add(0x0001, u"HKEY_CLASSES_ROOT\\CLSID\\B");
  Add(0x0001, u"HKEY_CLASSES_ROOT\\CLSID\\C");
  Add(0x0020, u"HKEY_CURRENT_USER\\History\\D");
  view.Open();
  ASSERT_EQ(4u, view.size());
  EXPECT_EQ(u"HKEY_CLASSES_ROOT\\CLSID\\B", view.Problem(0)->key);
  EXPECT_EQ(u"HKEY_CLASSES_ROOT\\CLSID\\C", view.Problem(1)->key);
  EXPECT_EQ(0x0020u, view.AreaBit(2));
  EXPECT_EQ(0x0800u, view.AreaBit(3));
  EXPECT_EQ(nullptr, view.Problem(4));
}

TEST_F(ProblemsViewTest, RowTextReadsAreaEntryReason) {
  CProblem& p = Add(0x0020, u"HKEY_CURRENT_USER\\Software\\X", u"Missing file");
  p.value_name = u"Path";
  CProblem& link = Add(0x0080, u"", u"Invalid shortcut");
  link.details.push_back(u"C:\\Links\\a.lnk");
  view.Open();
  EXPECT_EQ(u"IDS_HISTORYLIST - HKEY_CURRENT_USER\\Software\\X\\Path - " + ProblemDescription(p, Key),
            view.RowText(0));
  EXPECT_EQ(u"IDS_SHORTCUTS - C:\\Links\\a.lnk - " + ProblemDescription(link, Key), view.RowText(1));
  EXPECT_EQ(ProblemDetailsText(p, Key), view.RowTip(0));
}

TEST_F(ProblemsViewTest, SelectAllBoxCyclesThroughItsThreeStates) {
  Add(0x0001, u"HKEY_CLASSES_ROOT\\A", u"r", 0);
  Add(0x0001, u"HKEY_CLASSES_ROOT\\B", u"r", 1);
  Add(0x0002, u"HKEY_LOCAL_MACHINE\\C", u"r", 0);
  view.Open();
  EXPECT_EQ(SelectAllState::kIndeterminate, view.select_all());
  view.OnSelectAllClicked();
  EXPECT_EQ(SelectAllState::kChecked, view.select_all());
  for (std::size_t i = 0; i < 3; ++i) EXPECT_TRUE(view.Ticked(i));
  EXPECT_EQ(3u, changed.size()) << "every row's box is redrawn";
  view.OnSelectAllClicked();
  EXPECT_EQ(SelectAllState::kUnchecked, view.select_all());
  EXPECT_EQ(3u, fx.manager->TotalProblems()) << "nothing left the lists";
  EXPECT_EQ(0u, fx.manager->SelectedProblems());
}

TEST_F(ProblemsViewTest, EmptyListShowsSelectAllChecked) {
  view.Open();
  EXPECT_EQ(SelectAllState::kChecked, view.select_all());
  EXPECT_TRUE(view.ContextMenu(0).empty());
  view.OnMenuCommand(0, pv::kExclude);  // no row: nothing happens
  EXPECT_FALSE(view.exclusions_added());
}

TEST_F(ProblemsViewTest, UserClicksChangeTheProblemButFillingNotificationsDoNot) {
  CProblem& p = Add(0x0001, u"HKEY_CLASSES_ROOT\\A");
  view.Open();
  view.OnRowChecked(0, false);
  EXPECT_EQ(0, p.selected);
  {
    CProblemsView::FillScope fill(view);
    view.OnRowChecked(0, true);
  }
  EXPECT_EQ(0, p.selected) << "a notification of the view's own change is not the user's";
  view.OnRowChecked(5, true);  // no such row
}

TEST_F(ProblemsViewTest, MenuTogglesInvertsAndSelectsAllWithPumps) {
  for (int i = 0; i < 2500; ++i) Add(0x1000, u"HKEY_LOCAL_MACHINE\\K" + ToText(i), u"r", i % 2);
  view.Open();
  EXPECT_EQ(u"IDS_SELECT_THIS", view.ContextMenu(0)[0].text);
  EXPECT_EQ(u"IDS_UNSELECT_THIS", view.ContextMenu(1)[0].text);
  view.OnMenuCommand(0, pv::kToggleThis);
  EXPECT_TRUE(view.Ticked(0));
  view.OnMenuCommand(0, pv::kInvert);
  EXPECT_FALSE(view.Ticked(0));
  EXPECT_FALSE(view.Ticked(1));
  EXPECT_TRUE(view.Ticked(2));
  view.OnMenuCommand(3, pv::kSelectAll);
  EXPECT_EQ(2500u, fx.manager->SelectedProblems());
  EXPECT_EQ(2, pumps) << "messages are processed after every 1000 rows";
  view.OnMenuCommand(3, pv::kDeselectAll);
  EXPECT_EQ(0u, fx.manager->SelectedProblems());
  EXPECT_FALSE(view.filling()) << "bulk changes end their fill";
}

TEST_F(ProblemsViewTest, ExcludingRemovesTheRowAtOnceAndEqualKeysAtClose) {
  const Text key = u"HKEY_LOCAL_MACHINE\\Software\\Gone";
  Add(0x0002, key);
  Add(0x0100, u"hkey_local_machine\\software\\gone");  // another area, same key but case
  Add(0x0100, key + u"\\Longer");
  Add(0x0800, u"HKEY_CURRENT_USER\\Other");
  view.Open();
  view.OnMenuCommand(0, pv::kExclude);
  EXPECT_EQ(3u, view.size()) << "its row leaves at once";
  EXPECT_EQ(std::vector<std::size_t>{0}, removed);
  EXPECT_EQ(std::vector<Text>{key}, exclusions.entries());
  EXPECT_EQ(1, exclusion_saves);
  EXPECT_TRUE(view.exclusions_added());
  EXPECT_EQ(4u, Remaining()) << "the lists keep it until the list closes";

  EXPECT_EQ(std::optional<int>(dlg::kCmdShowResults), view.Close(false));
  ASSERT_EQ(2u, Remaining());
  EXPECT_EQ(key + u"\\Longer", (*fx.manager->ProblemsOf(0x0100))[0]->key) << "a longer key stays";
  EXPECT_EQ(u"HKEY_CURRENT_USER\\Other", (*fx.manager->ProblemsOf(0x0800))[0]->key);
}

TEST_F(ProblemsViewTest, ExcludingTwiceAddsOneEntryAndNonKeysAreNotExcluded) {
  Add(0x0002, u"HKEY_LOCAL_MACHINE\\A");
  Add(0x0004, u"HKEY_LOCAL_MACHINE\\a");
  CProblem& link = Add(0x0080, u"");
  link.details.push_back(u"C:\\x.lnk");
  view.Open();
  view.OnMenuCommand(0, pv::kExclude);
  view.OnMenuCommand(0, pv::kExclude);
  EXPECT_EQ(1u, exclusions.entries().size());
  view.OnMenuCommand(0, pv::kExclude);  // the shortcut: no key to exclude
  EXPECT_EQ(1u, view.size());
}

TEST_F(ProblemsViewTest, ExcludingTheLastRowAsksToCloseAndHomeFollows) {
  Add(0x0002, u"HKEY_LOCAL_MACHINE\\Only");
  view.Open();
  view.OnMenuCommand(0, pv::kExclude);
  EXPECT_TRUE(view.close_requested());
  EXPECT_EQ(std::optional<int>(dlg::kCmdHome), view.Close(false));
  EXPECT_EQ(0u, Remaining());
}

TEST_F(ProblemsViewTest, EscapeHeldAtCloseChangesNothing) {
  Add(0x0002, u"HKEY_LOCAL_MACHINE\\A");
  Add(0x0004, u"HKEY_LOCAL_MACHINE\\A");
  view.Open();
  view.OnMenuCommand(0, pv::kExclude);
  EXPECT_EQ(std::nullopt, view.Close(true));
  EXPECT_EQ(2u, Remaining());
  EXPECT_EQ(1u, view.size()) << "the list stays open as it was";
}

TEST_F(ProblemsViewTest, LastMenuItemFollowsTheProblem) {
  CProblem& key = Add(0x0002, u"HKEY_LOCAL_MACHINE\\A");
  CProblem& link = Add(0x0080, u"");
  link.details.push_back(u"C:\\Users\\me\\Desktop\\x.lnk");
  CProblem& other = Add(0x0080, u"");
  other.details.push_back(u"\\\\server\\share\\x.lnk");
  view.Open();
  EXPECT_EQ(pv::kGoToKey, view.ContextMenu(0).back().command);
  EXPECT_EQ(u"ID_PROBLEM_DETAILS_GO_TO_KEY", view.ContextMenu(0).back().text);
  EXPECT_EQ(pv::kFileProperties, view.ContextMenu(1).back().command);
  EXPECT_EQ(6u, view.ContextMenu(2).size()) << "neither a key nor a drive path";
  EXPECT_EQ(pv::kGoToKey, ProblemTargetCommand(key));
}

TEST_F(ProblemsViewTest, FilePropertiesOpensTheUnquotedPath) {
  CProblem& link = Add(0x0080, u"");
  link.details.push_back(u"C:\\Links\\a.lnk");
  CProblem& quoted = Add(0x0080, u"");
  quoted.details.push_back(u"\"C:\\Program Files\\x.exe\" /run");
  view.Open();
  view.OnMenuCommand(0, pv::kFileProperties);
  view.OnMenuCommand(1, pv::kFileProperties);
  EXPECT_EQ((std::vector<Text>{u"C:\\Links\\a.lnk", u"C:\\Program Files\\x.exe"}), shell.properties);
}

TEST_F(ProblemsViewTest, GoToKeyOpensOnlyExistingKeysAndNeedsAnAdministrator) {
  RegKey k = 0;
  ASSERT_EQ(err::kSuccess, fx.registry->Create(kHkeyCurrentUser, u"Software\\HsProblemsViewTest", kKeyRead, &k, nullptr));
  fx.registry->Close(k);
  CProblem& there = Add(0x0002, u"HKEY_CURRENT_USER\\Software\\HsProblemsViewTest");
  there.value_name = u"Path";
  Add(0x0002, u"HKEY_CURRENT_USER\\Software\\HsProblemsViewTest\\Missing");
  view.Open();
  view.OnMenuCommand(1, pv::kGoToKey);
  EXPECT_TRUE(viewer.shown.empty()) << "a key that does not open shows nothing";
  view.OnMenuCommand(0, pv::kGoToKey);
  ASSERT_EQ(1u, viewer.shown.size());
  EXPECT_EQ(u"Path", viewer.shown[0].value_name);
  EXPECT_TRUE(viewer.shown[0].is64);
  (void)fx.registry->DeleteTree(kHkeyCurrentUser, u"Software\\HsProblemsViewTest", 0);

  ScanFixture user(MachineFacts{.major_version = 10, .administrator = false}, MakePlain);
  user.manager->CreateAreas(kAllAreasMask, kAreaCount);
  auto p = std::make_unique<CProblem>();
  p->key = u"HKEY_CURRENT_USER\\Software";
  user.manager->ProblemsOf(0x0002)->push_back(std::move(p));
  CProblemsView limited({*user.manager, exclusions, RegEnv{*user.registry, false}, user.system, prompts, clipboard,
                         shell, viewer, user.log, Key});
  limited.Open();
  limited.OnMenuCommand(0, pv::kGoToKey);
  EXPECT_EQ(std::vector<Text>{u"IDS_STR_LACK_OF_PERMISSION"}, prompts.shown);
  EXPECT_EQ(1u, viewer.shown.size()) << "Windows 10 without rights asks for them, as 6.x does";
}

TEST_F(ProblemsViewTest, CopyDetailsAndExportLog) {
  CProblem& p = Add(0x0002, u"HKEY_LOCAL_MACHINE\\A", u"The reason");
  view.Open();
  view.OnMenuCommand(0, pv::kCopyDetails);
  Text copied;
  ASSERT_TRUE(clipboard.GetText(&copied));
  EXPECT_EQ(ProblemDetailsText(p, Key), copied);
  EXPECT_NE(Text::npos, copied.find(u"----------------------------"));
  view.OnExportLog();
  EXPECT_EQ(1, exports);
}

}  // namespace
}  // namespace hs
