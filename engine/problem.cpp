#include "engine/problem.h"

#include <algorithm>

namespace hs {

const Text& CProblem::Detail(std::size_t i) const {
  static const Text kEmpty;
  return i < details.size() ? details[i] : kEmpty;
}

Text FormatText(TextView format, const std::vector<Text>& args) {
  Text out;
  out.reserve(format.size());
  std::size_t next = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == u'%' && i + 1 < format.size()) {
      if (format[i + 1] == u's') {
        if (next < args.size()) out += args[next];
        ++next;
        ++i;
        continue;
      }
      if (format[i + 1] == u'%') {
        out.push_back(u'%');
        ++i;
        continue;
      }
    }
    out.push_back(format[i]);
  }
  return out;
}

Text FormatNumbers(TextView format, std::initializer_list<std::int64_t> numbers) {
  Text out;
  auto next = numbers.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == u'%' && i + 1 < format.size() && (format[i + 1] == u'd' || format[i + 1] == u'%')) {
      if (format[i + 1] == u'%') {
        out.push_back(u'%');
      } else if (next != numbers.end()) {
        out += ToText(*next++);
      }
      ++i;
      continue;
    }
    out.push_back(format[i]);
  }
  return out;
}

namespace {
constexpr const char* kPlain = "";
constexpr const char* kDefaultValue = "_DEFAULT";
constexpr const char* kNoFile = "_EMPTY";
constexpr const char* kInstallerFolder = "_FOLDER";
}  // namespace

// Type 36 also reports a missing folder of the installer's folder list: the
// folder is the value's name and there is no data.
static bool IsInstallerFolder(const CProblem& p) {
  return p.entry_type == 36 && p.value_data.empty() && !p.value_name.empty() &&
         !EqualsNoCase(p.value_name, u"UninstallString");
}

// Types whose texts name the file an entry refers to (the value data) and
// have a wording for an entry that names none.
static bool NamesNoFile(const CProblem& p) {
  switch (p.entry_type) {
    case 21: case 23: case 41: return p.value_data.empty();
    case 36: return p.value_data.empty() && !IsInstallerFolder(p);
    default: return false;
  }
}

const char* DescriptionVariant(const CProblem& p) {
  if (IsInstallerFolder(p)) return kInstallerFolder;
  if ((p.entry_type == 42 || p.entry_type == 43) && p.value_name.empty()) return kDefaultValue;
  return NamesNoFile(p) ? kNoFile : kPlain;
}

std::vector<Text> DescriptionArguments(const CProblem& p) {
  const Text& d0 = p.Detail(0);
  const Text& d1 = p.Detail(1);
  const Text& d2 = p.Detail(2);
  const Text& d3 = p.Detail(3);
  const Text& data = p.value_data;
  const char* variant = DescriptionVariant(p);
  if (variant == kDefaultValue) return {p.key, data};
  if (variant == kInstallerFolder) return {p.value_name};
  if (variant == kNoFile) {
    if (p.entry_type == 21) return {d1};
    return {};
  }
  switch (p.entry_type) {
    case 0: return {d1, data};
    case 1: case 8: case 9: case 22: case 27: case 28: case 33: case 38: case 39: return {d1};
    case 2: case 3: case 6: case 11: case 12: case 17: case 23: case 24: case 25: case 36: case 41: return {data};
    case 4: case 16: case 18: case 20: return {p.key};
    case 5: case 29: case 30: case 31: case 32: return {d2};
    case 7: case 10: case 37: return {data, d1};
    case 13: return {data, d0};
    case 15: return {d0, data};
    case 19: return {data};
    case 21: return {d1, data};
    case 34: return {d2, d2};
    case 40: return {d3, d2};
    case 42: case 43: return {p.value_name, p.key, data};
    default: return {};  // 14, 26, 35: no arguments
  }
}

static Text TypeKey(const char* prefix, int type, const char* suffix) {
  std::string s = std::string(prefix) + std::to_string(type + 1) + suffix;
  return Text(s.begin(), s.end());
}

Text ProblemDescription(const CProblem& p, const StringLookup& strings) {
  if (p.entry_type < 0 || p.entry_type >= kEntryTypeCount) return {};
  return FormatText(strings(TypeKey("IDS_PROBLEM_DESC_", p.entry_type, DescriptionVariant(p))),
                    DescriptionArguments(p));
}

const char* DetailVariant(const CProblem& p) {
  if (IsInstallerFolder(p)) return kInstallerFolder;
  if (NamesNoFile(p)) return kNoFile;
  if ((p.entry_type == 41 || p.entry_type == 42 || p.entry_type == 43) && p.value_name.empty()) return kDefaultValue;
  return kPlain;
}

// Detail types whose first argument is the value's name.
static bool DetailNamesValue(int type) {
  switch (type) {
    case 23: case 24: case 25: case 33: case 41: case 42: case 43: return true;
    default: return false;
  }
}

std::vector<Text> DetailArguments(const CProblem& p, const Text& unnamed) {
  const Text& d0 = p.Detail(0);
  const Text& d1 = p.Detail(1);
  const Text& d2 = p.Detail(2);
  const Text& k = p.key;
  const Text& data = p.value_data;
  const Text& name = p.value_name.empty() && !unnamed.empty() ? unnamed : p.value_name;
  const char* variant = DetailVariant(p);
  if (variant == kDefaultValue) return {k, data};
  if (variant == kInstallerFolder) return {p.value_name, k};
  if (variant == kNoFile) {
    if (p.entry_type == 23 || p.entry_type == 41) return {name, k};
    return {k};  // 21, 36
  }
  switch (p.entry_type) {
    case 0: return {k, d1, data};
    case 1: return {d1, k};
    case 4: case 8: case 9: case 14: case 16: case 18: case 20: case 35: case 38: return {k};
    case 5: case 19: case 26: case 39: return {k, d1};
    case 13: return {k, d0, data};
    case 15: return {k, d2};
    case 21: case 27: return {data, k};
    case 22: return {k, d2, d1};
    case 23: case 41: case 42: case 43: return {name, k, data};
    case 24: case 25: case 33: return {name, k};
    case 28: return {d2, data, k};
    case 29: case 30: case 31: case 32: return {d1};
    case 34: return {d2, d2};
    case 40: return {d1, d2};
    case 2: case 3: case 6: case 7: case 10: case 11: case 12: case 17: case 36: case 37: return {k, data};
    default: return {};
  }
}

Text ProblemDetailText(const CProblem& p, const StringLookup& strings) {
  if (p.entry_type < 0 || p.entry_type >= kEntryTypeCount) return {};
  const char* variant = DetailVariant(p);
  const Text unnamed = DetailNamesValue(p.entry_type) && p.value_name.empty() && variant != kDefaultValue
                           ? strings(u"IDS_DEFAULT_VALUE")
                           : Text();
  return FormatText(strings(TypeKey("IDS_PROBLEM_DETAIL_", p.entry_type, variant)), DetailArguments(p, unnamed));
}

Text ProblemRowEntry(const CProblem& p) {
  if (p.key.empty()) return p.Detail(1);
  if (p.value_name.empty()) return p.key;
  return p.key + u"\\" + p.value_name;
}

Text ProblemRowReason(const CProblem& p) { return p.Detail(0); }

Text ProblemDetailsText(const CProblem& p, const StringLookup& strings) {
  return FormatText(u"%s\n----------------------------\n%s", {p.Detail(0), ProblemDescription(p, strings)});
}

void SortProblems(ProblemList& list) {
  if (list.size() < 2) return;
  std::sort(list.begin(), list.end(), [](const std::unique_ptr<CProblem>& a, const std::unique_ptr<CProblem>& b) {
    return CompareNoCase(a->Detail(0), b->Detail(0)) < 0;
  });
}

}  // namespace hs
