#include "engine/problem.h"

#include <gtest/gtest.h>

namespace hs {
namespace {

// A lookup whose formats show which arguments arrive: "<key>:%s|%s|%s".
Text Echo(TextView key) { return Text(key) + u":%s|%s|%s"; }

CProblem Make(int type) {
  CProblem p;
  p.entry_type = type;
  p.key = u"K";
  p.value_name = u"N";
  p.value_data = u"D";
  p.details = {u"d0", u"d1", u"d2", u"d3"};
  return p;
}

TEST(ProblemText, FormatFillsPlaceholdersInOrder) {
  EXPECT_EQ(u"a 1 b 2 c", FormatText(u"a %s b %s c", {u"1", u"2"}));
  EXPECT_EQ(u"100% x ", FormatText(u"100%% %s %s", {u"x"}));
  EXPECT_EQ(u"only", FormatText(u"only", {u"surplus"}));
  EXPECT_EQ(u"trailing %", FormatText(u"trailing %", {}));
  EXPECT_EQ(u"3 of 7: 50% %s ", FormatNumbers(u"%d of %d: %d%% %s %d", {3, 7, 50}));
}

TEST(ProblemText, DescriptionsTakeTheArgumentsOfTheirType) {
  EXPECT_EQ(u"IDS_PROBLEM_DESC_1:d1|D|", ProblemDescription(Make(0), Echo));
  EXPECT_EQ(u"IDS_PROBLEM_DESC_15:||", ProblemDescription(Make(14), Echo));
  EXPECT_EQ(u"IDS_PROBLEM_DESC_35:d2|d2|", ProblemDescription(Make(34), Echo));
  EXPECT_EQ(u"IDS_PROBLEM_DESC_41:d3|d2|", ProblemDescription(Make(40), Echo));
  EXPECT_EQ(u"IDS_PROBLEM_DESC_43:N|K|D", ProblemDescription(Make(42), Echo));
  CProblem p = Make(42);
  p.value_name.clear();
  EXPECT_EQ(u"IDS_PROBLEM_DESC_43_DEFAULT:K|D|", ProblemDescription(p, Echo)) << "the key's default value";
  p = Make(41);
  p.value_data.clear();
  EXPECT_EQ(u"IDS_PROBLEM_DESC_42_EMPTY:||", ProblemDescription(p, Echo)) << "names no program";
  EXPECT_EQ(u"", ProblemDescription(Make(44), Echo));
  EXPECT_EQ(u"", ProblemDescription(Make(-1), Echo));
  p = Make(3);
  p.details.clear();
  EXPECT_EQ(u"IDS_PROBLEM_DESC_4:D||", ProblemDescription(p, Echo)) << "missing details read as empty";
}

TEST(ProblemText, DetailTextsAndTheDetailsView) {
  EXPECT_EQ(u"IDS_PROBLEM_DETAIL_23:K|d2|d1", ProblemDetailText(Make(22), Echo));
  EXPECT_EQ(u"IDS_PROBLEM_DETAIL_29:d2|D|K", ProblemDetailText(Make(28), Echo));
  // An unnamed value: its own wording, or the name of the default value.
  CProblem p = Make(42);
  p.value_name.clear();
  EXPECT_EQ(u"IDS_PROBLEM_DETAIL_43_DEFAULT:K|D|", ProblemDetailText(p, Echo));
  p = Make(24);
  p.value_name.clear();
  EXPECT_EQ(u"IDS_PROBLEM_DETAIL_25:IDS_DEFAULT_VALUE:%s|%s|%s|K|", ProblemDetailText(p, Echo));
  p = Make(41);
  p.value_name.clear();
  p.value_data.clear();
  EXPECT_EQ(u"IDS_PROBLEM_DETAIL_42_EMPTY:IDS_DEFAULT_VALUE:%s|%s|%s|K|", ProblemDetailText(p, Echo)) << "no program beats unnamed";
  // Type 36: an uninstall entry without uninstaller, or a folder of the
  // installer's list (the folder is the value's name).
  p = Make(36);
  p.value_name = u"UninstallString";
  p.value_data.clear();
  EXPECT_EQ(u"IDS_PROBLEM_DETAIL_37_EMPTY:K||", ProblemDetailText(p, Echo));
  p.value_name = u"C:\\Gone\\";
  EXPECT_EQ(u"IDS_PROBLEM_DETAIL_37_FOLDER:C:\\Gone\\|K|", ProblemDetailText(p, Echo));
  EXPECT_EQ(u"IDS_PROBLEM_DESC_37_FOLDER:C:\\Gone\\||", ProblemDescription(p, Echo));
  EXPECT_EQ(u"d0\n----------------------------\nIDS_PROBLEM_DESC_2:d1||", ProblemDetailsText(Make(1), Echo));
}

TEST(ProblemText, SortByFirstDetailIgnoringCase) {
  ProblemList list;
  for (auto d : {u"beta", u"Alpha", u"gamma", u"ALPHA2"}) {
    auto p = std::make_unique<CProblem>();
    p->details = {d};
    list.push_back(std::move(p));
  }
  SortProblems(list);
  std::vector<Text> order;
  for (auto& p : list) order.push_back(p->details[0]);
  EXPECT_EQ((std::vector<Text>{u"Alpha", u"ALPHA2", u"beta", u"gamma"}), order);
}

}  // namespace
}  // namespace hs
