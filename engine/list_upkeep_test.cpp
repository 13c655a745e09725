#include "engine/list_upkeep.h"

#include <gtest/gtest.h>

#include "areas/user_lists.h"
#include "engine/scan_manager.h"
#include "testing/scan_fixture.h"

namespace hs {
namespace {

class ListUpkeep : public ::testing::Test {
 protected:
  ListUpkeep()
      : fx_(MachineFacts{6, false}, ::hs::testing::MakePlain) {
    fx_.manager->CreateAreas(kAllAreasMask, 14);
  }
  void Add(std::uint32_t bit, TextView key, int selected) {
    auto p = std::make_unique<CProblem>();
    p->key = Text(key);
    p->selected = selected;
    fx_.manager->ProblemsOf(bit)->push_back(std::move(p));
  }
  ::hs::testing::ScanFixture fx_;
};

TEST_F(ListUpkeep, ExclusionsRemoveWholeKeyMatchesInEveryArea) {
  Add(0x0001, u"HKEY_CURRENT_USER\\Software\\Foo", 1);
  Add(0x0004, u"HKEY_CURRENT_USER\\SOFTWARE\\FOO", 0);
  Add(0x0004, u"HKEY_CURRENT_USER\\Software\\Foo\\Bar", 1);
  UserList exclusions(UserListKind::kExclusion);
  EXPECT_EQ(AddExclusionResult::kAdded, AddExclusionFromResults(exclusions, u"HKEY_CURRENT_USER\\Software\\foo"));
  EXPECT_EQ(2u, RemoveExcludedProblems(*fx_.manager, exclusions));
  EXPECT_EQ(1u, fx_.manager->TotalProblems()) << "a key below the entry stays: whole-text comparison";
}

TEST_F(ListUpkeep, TickedProblemsMoveToTheTemporaryIgnoreList) {
  Add(0x0020, u"HKEY_CURRENT_USER\\Software\\A", 1);
  Add(0x0020, u"HKEY_CURRENT_USER\\Software\\B", 0);
  Add(0x2000, u"HKEY_CURRENT_USER\\Software\\C", 1);
  UserList temp(UserListKind::kTempIgnore);
  EXPECT_EQ(2u, ManageTempIgnoreList(*fx_.manager, temp, fx_.log));
  EXPECT_EQ((std::vector<Text>{u"HKEY_CURRENT_USER\\Software\\A", u"HKEY_CURRENT_USER\\Software\\C"}), temp.entries());
  EXPECT_EQ(1u, fx_.manager->TotalProblems());
  EXPECT_EQ(u"Manage temp ignore list done", fx_.log.Lines().back());
}

}  // namespace
}  // namespace hs
