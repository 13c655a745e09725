// One invalid registry entry found by a scan area, and the texts shown for it.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

#include "platform/text.h"

namespace hs {

class UndoHolder;

inline constexpr int kEntryTypeCount = 44;  // entry types 0 to 43

struct CProblem {
  std::int32_t entry_type = 0;
  Text key;            // ROOT\sub\key (types 34 and 40: may be a file path)
  Text value_name;     // empty: the unnamed value, or the whole key
  Text value_data;
  Text alternate_key;  // a key some repairs delete instead; empty when unused
  std::vector<Text> details;
  std::int32_t selected = 1;
  std::int32_t entry32 = 0;  // found in the 32-bit view of 64-bit Windows
  UndoHolder* recorder = nullptr;  // not owned; never stored

  // Details entry i; empty text when there is none.
  const Text& Detail(std::size_t i) const;
};

// An area's problems, in insertion order until sorted; owns them.
using ProblemList = std::vector<std::unique_ptr<CProblem>>;

// Localised text of a string key (IDS_...); empty when unknown.
using StringLookup = std::function<Text(TextView key)>;

// Fills the "%s" placeholders of a format in order ("%%" is a percent sign);
// placeholders without an argument become empty, surplus arguments are ignored.
Text FormatText(TextView format, const std::vector<Text>& args);
// The same for "%d" placeholders and numbers.
Text FormatNumbers(TextView format, std::initializer_list<std::int64_t> numbers);

// The description of a problem: the format IDS_PROBLEM_DESC_<type+1> filled
// with the arguments of its entry type. Empty for a type outside 0..43.
// Where an empty argument would leave a gap ("The value  in ..."), the key
// takes a suffix with its own wording: "_DEFAULT" for the key's unnamed
// default value, "_EMPTY" for an entry that names no file; the empty
// argument is then left out. "_FOLDER" words type 36 for a missing folder
// of the installer's folder list.
Text ProblemDescription(const CProblem& p, const StringLookup& strings);
// The key suffix ("", "_DEFAULT", "_EMPTY" or "_FOLDER") and the arguments.
const char* DescriptionVariant(const CProblem& p);
std::vector<Text> DescriptionArguments(const CProblem& p);

// The detail text: IDS_PROBLEM_DETAIL_<type+1> filled per entry type, with
// the same suffixes. An unnamed value that keeps the plain wording is shown
// as `unnamed` (the text of IDS_DEFAULT_VALUE).
Text ProblemDetailText(const CProblem& p, const StringLookup& strings);
const char* DetailVariant(const CProblem& p);
std::vector<Text> DetailArguments(const CProblem& p, const Text& unnamed = Text());

// What the results view shows or copies for one problem: detail 0, a rule,
// and the description.
Text ProblemDetailsText(const CProblem& p, const StringLookup& strings);

// What the results show of a problem: its key (a shortcut problem's file
// when it has no key), with the value name when it has one, and its reason.
Text ProblemRowEntry(const CProblem& p);
Text ProblemRowReason(const CProblem& p);

// Sorts by detail 0, case-insensitively, ascending (equal ones in no fixed order).
void SortProblems(ProblemList& list);

}  // namespace hs
