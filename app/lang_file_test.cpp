// The English language file of the source tree against the keys the
// program uses (app/string_keys.h) and the arguments its formats get. Read
// natively through the portable reader and LookupString; the source tree is
// not reachable from the Wine prefix.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "app/page_texts.h"
#include "app/string_keys.h"
#include "app/strings.h"
#include "engine/area_table.h"
#include "engine/problem.h"
#include "testing/memory_log.h"
#include "testing/test_env.h"

#ifndef _WIN32
#include "platform/portable/host_file_system.h"
#include "platform/portable/portable_ini_reader.h"

namespace hs {
namespace {

std::filesystem::path LangFolder() { return std::filesystem::path(::hs::testing::SourceDir()) / "app" / "lang"; }

Text Key(const char* k) { return Text(k, k + std::char_traits<char>::length(k)); }

Text ProblemKey(const char* prefix, int n) { return Key(prefix) + ToText(n); }

// printf conversions of a format, in order: 'd' any integer, 's' text,
// 'f' floating point, 'c' character; '!' for a malformed one.
std::string Conversions(TextView t) {
  std::string out;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i] != u'%') continue;
    if (++i >= t.size()) return out + '!';
    if (t[i] == u'%') continue;
    while (i < t.size() && TextView(u"-+ #0").find(t[i]) != TextView::npos) ++i;
    while (i < t.size() && t[i] >= u'0' && t[i] <= u'9') ++i;
    if (i < t.size() && t[i] == u'.') {
      ++i;
      while (i < t.size() && t[i] >= u'0' && t[i] <= u'9') ++i;
    }
    while (i < t.size() && (t[i] == u'h' || t[i] == u'l')) ++i;
    if (i >= t.size()) return out + '!';
    const char16_t c = t[i];
    if (TextView(u"diuoxX").find(c) != TextView::npos) out += 'd';
    else if (c == u's' || c == u'S') out += 's';
    else if (TextView(u"feEgG").find(c) != TextView::npos) out += 'f';
    else if (c == u'c') out += 'c';
    else out += '!';
  }
  return out;
}

// "%s" placeholders as FormatText fills them; -1 when the text holds any
// other '%' sequence (FormatText would print it as it is).
int TextPlaceholders(TextView t) {
  int n = 0;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i] != u'%') continue;
    if (i + 1 < t.size() && t[i + 1] == u's') ++n;
    else if (i + 1 < t.size() && t[i + 1] == u'%') {}
    else return -1;
    ++i;
  }
  return n;
}

class EnglishFile : public ::testing::Test {
 protected:
  void SetUp() override {
    fs_.MapDrive(u'C', LangFolder());
    table_ = std::make_unique<StringTable>(ini_, fs_, log_, u"C:\\", u"", 0,
                                           [this](TextView) { ++failures_; });
  }
  Text Lookup(const Text& key) { return table_->LookupString(key); }

  HostFileSystem fs_;
  PortableIniReader ini_{fs_};
  MemoryLog log_;
  std::unique_ptr<StringTable> table_;
  int failures_ = 0;
};

TEST(StringKeys, ListEachKeyOnceAndCoverTheAreaTable) {
  std::set<std::string> keys;
  for (const StringKey& k : kStringKeys) EXPECT_TRUE(keys.insert(k.key).second) << "listed twice: " << k.key;
  for (const AreaInfo& area : kAreas) {
    const std::string name = ToUtf8(area.name_key);
    const std::string suffix = name.substr(4);  // after "IDS_"
    EXPECT_TRUE(keys.count(name)) << name;
    EXPECT_TRUE(keys.count("IDS_DES_" + suffix)) << name;
    EXPECT_TRUE(keys.count("IDS_BDES_" + suffix)) << name;
  }
}

TEST_F(EnglishFile, IsPlainAsciiWithOneSectionAndNoRepeatedKeys) {
  std::ifstream in(LangFolder() / "eng_hsw.ini", std::ios::binary);
  ASSERT_TRUE(in) << (LangFolder() / "eng_hsw.ini");
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Stored without a byte-order mark, the file is read in the ANSI code
  // page: only ASCII reads the same everywhere.
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    ASSERT_TRUE(c != 0 && c < 0x80) << "byte " << i << " is not plain ASCII";
  }

  std::set<std::string> known;
  for (const StringKey& k : kStringKeys) known.insert(k.key);
  for (const PageTexts& page : AllPageTexts())
    for (const char16_t* key : page.keys) known.insert(ToUtf8(key));
  for (int n = 1; n <= kProblemTextKeys; ++n) {
    known.insert("IDS_PROBLEM_DESC_" + std::to_string(n));
    known.insert("IDS_PROBLEM_DETAIL_" + std::to_string(n));
  }
  std::set<Text> seen;
  int sections = 0;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      EXPECT_EQ("[RESOURCESTRING]", line);
      ++sections;
      continue;
    }
    std::size_t eq = line.find('=');
    ASSERT_NE(std::string::npos, eq) << "not a key line: " << line;
    ASSERT_EQ(1, sections) << "key outside the section: " << line;
    const std::string key = line.substr(0, eq);
    EXPECT_TRUE(seen.insert(Upcase(FromUtf8(key))).second) << "repeated (the first one wins): " << key;
    EXPECT_TRUE(known.count(key)) << "not a key the program uses: " << key;
  }
  EXPECT_EQ(1, sections);
  EXPECT_EQ(known.size(), seen.size());
}

TEST_F(EnglishFile, EveryKeyHasTextWithTheConversionsItsCallersFill) {
  for (const StringKey& k : kStringKeys) {
    const Text text = Lookup(Key(k.key));
    EXPECT_FALSE(text.empty()) << k.key;
    if (k.args) {
      EXPECT_EQ(std::string(k.args), Conversions(text)) << k.key << ": " << ToUtf8(text);
    }
  }
  EXPECT_EQ(Text::npos, Lookup(u"IDS_SHUTDOWN_MSG_DEFRAG").find(u'"')) << "it is passed in double quotes";
  EXPECT_EQ(u"HiveSweep", Lookup(u"AFX_IDS_APP_TITLE"));
  EXPECT_EQ(0, failures_);
}

TEST_F(EnglishFile, ProblemTextsTakeTheArgumentsOfTheirEntryType) {
  static_assert(kProblemTextKeys == kEntryTypeCount);
  for (int type = 0; type < kEntryTypeCount; ++type) {
    CProblem p;
    p.entry_type = type;
    const Text desc = Lookup(ProblemKey("IDS_PROBLEM_DESC_", type + 1));
    const Text detail = Lookup(ProblemKey("IDS_PROBLEM_DETAIL_", type + 1));
    EXPECT_FALSE(desc.empty()) << "entry type " << type;
    EXPECT_FALSE(detail.empty()) << "entry type " << type;
    EXPECT_EQ(static_cast<int>(DescriptionArguments(p).size()), TextPlaceholders(desc))
        << "IDS_PROBLEM_DESC_" << type + 1 << ": " << ToUtf8(desc);
    EXPECT_EQ(static_cast<int>(DetailArguments(p).size()), TextPlaceholders(detail))
        << "IDS_PROBLEM_DETAIL_" << type + 1 << ": " << ToUtf8(detail);
  }
  EXPECT_EQ(0, failures_);
}

TEST(FormatCheckers, RecogniseConversions) {
  EXPECT_EQ("dd", Conversions(u"%d of %d"));
  EXPECT_EQ("d", Conversions(u"%d%% done"));
  EXPECT_EQ("sf!", Conversions(u"%-10s %0.2f %q"));
  EXPECT_EQ("!", Conversions(u"50%"));
  EXPECT_EQ(2, TextPlaceholders(u"%s and %s, 100%%"));
  EXPECT_EQ(-1, TextPlaceholders(u"%s of %d"));
}

}  // namespace
}  // namespace hs

#endif  // _WIN32
