// The language files against the keys the program uses (app/string_keys.h),
// the English texts and the arguments the formats get. Natively the files
// of the source tree are read byte by byte and through the portable reader
// and LookupString; in the win32 build the copies beside the test program
// are read through the system's INI reader.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
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
#else
#include "platform/win32/win32_ini_reader.h"
#include "testing/fixture_files.h"
#include "testing/scratch_fs.h"
#endif

namespace hs {
namespace {

Text Key(const char* k) { return Text(k, k + std::char_traits<char>::length(k)); }

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
[[maybe_unused]] int TextPlaceholders(TextView t) {
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

// The escapes LookupString turns into characters, in order.
std::string Escapes(TextView t) {
  std::string out;
  for (std::size_t i = 0; i + 1 < t.size(); ++i) {
    if (t[i] != u'\\') continue;
    const char16_t c = t[i + 1];
    if (c == u'n' || c == u't' || c == u'r' || c == u'\\') {
      out += static_cast<char>(c);
      ++i;
    }
  }
  return out;
}

// A language file as stored: its raw values by upper-cased key, and what is
// wrong with its form.
struct LanguageFile {
  std::map<Text, Text> values;
  std::vector<std::string> faults;
};

Text TrimBlanks(TextView t) {
  const TextView blanks = u" \t";
  const std::size_t b = t.find_first_not_of(blanks);
  if (b == TextView::npos) return {};
  return Text(t.substr(b, t.find_last_not_of(blanks) - b + 1));
}

// Language files are UTF-16LE with a byte-order mark, CRLF line ends, and
// one RESOURCESTRING section of unique keys; ';' lines are comments.
LanguageFile ParseLanguageFile(const std::string& bytes) {
  LanguageFile f;
  if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF || static_cast<unsigned char>(bytes[1]) != 0xFE) {
    f.faults.push_back("not UTF-16LE with a byte-order mark");
    return f;
  }
  if (bytes.size() % 2 != 0) f.faults.push_back("odd number of bytes");
  Text text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         static_cast<unsigned char>(bytes[i + 1]) << 8));
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool high = c >= 0xD800 && c < 0xDC00, low = c >= 0xDC00 && c < 0xE000;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      ++i;
    } else if (high || low) {
      f.faults.push_back("unpaired surrogate at unit " + std::to_string(i));
    } else if (c == 0 || c == 0xFEFF || c == 0xFFFE) {
      f.faults.push_back("unit " + std::to_string(c) + " at " + std::to_string(i));
    }
  }
  int sections = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(u'\n', start);
    if (end == Text::npos) end = text.size();
    Text line = text.substr(start, end - start);
    const bool last = end == text.size();
    start = end + 1;
    if (!line.empty() && line.back() == u'\r') line.pop_back();
    else if (!last) f.faults.push_back("line without CR LF: " + ToUtf8(line));
    line = TrimBlanks(line);
    if (line.empty() || line[0] == u';') continue;
    if (line[0] == u'[') {
      if (line != u"[RESOURCESTRING]") f.faults.push_back("section " + ToUtf8(line));
      ++sections;
      continue;
    }
    const std::size_t eq = line.find(u'=');
    if (eq == Text::npos || sections != 1) {
      f.faults.push_back("not a key line of the section: " + ToUtf8(line));
      continue;
    }
    const Text key = Upcase(TrimBlanks(TextView(line).substr(0, eq)));
    if (!f.values.emplace(key, TrimBlanks(TextView(line).substr(eq + 1))).second)
      f.faults.push_back("repeated key (the first one wins): " + ToUtf8(key));
  }
  if (sections != 1) f.faults.push_back(std::to_string(sections) + " sections");
  return f;
}

// How a translation departs from the English file: keys missing, empty or
// extra, other conversions or escapes, or a text the reader would change.
std::vector<std::string> CompareWithEnglish(const LanguageFile& english, const LanguageFile& other) {
  std::vector<std::string> faults;
  for (const auto& [key, text] : english.values) {
    const std::string k = ToUtf8(key);
    const auto it = other.values.find(key);
    if (it == other.values.end()) {
      faults.push_back("missing key " + k);
      continue;
    }
    const Text& t = it->second;
    if (t.empty()) faults.push_back("empty text " + k);
    if (!t.empty() && (t[0] == u'"' || t[0] == u'\'')) faults.push_back("text starts with a quote " + k);
    if (Conversions(text) != Conversions(t))
      faults.push_back("conversions " + Conversions(t) + " instead of " + Conversions(text) + ": " + k);
    if (Escapes(text) != Escapes(t)) faults.push_back("escapes differ: " + k);
  }
  for (const auto& [key, text] : other.values)
    if (!english.values.count(key)) faults.push_back("key not in English: " + ToUtf8(key));
  return faults;
}

std::string Utf16File(TextView body, bool bom = true) {
  std::string out = bom ? "\xFF\xFE" : "";
  for (char16_t c : body) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

TEST(LanguageFileCheck, FindsEachKindOfFault) {
  const LanguageFile english = ParseLanguageFile(Utf16File(u"; c\r\n[RESOURCESTRING]\r\nA=%s of %d\r\nB=x\\ny\r\n"));
  ASSERT_TRUE(english.faults.empty()) << Joined(english.faults);
  const auto faults = [&](const std::string& bytes) {
    LanguageFile f = ParseLanguageFile(bytes);
    std::vector<std::string> all = f.faults;
    for (std::string& s : CompareWithEnglish(english, f)) all.push_back(std::move(s));
    return Joined(all);
  };
  EXPECT_EQ("", faults(Utf16File(u"[RESOURCESTRING]\r\nA=%s von %d\r\nb=x\\ny\u00e4\U0001F600\r\n")));
  EXPECT_NE("", faults(Utf16File(u"[RESOURCESTRING]\r\nA=%s von %d\r\nB=x\\ny\r\n", false)));  // no BOM
  EXPECT_NE("", faults("\xEF\xBB\xBF[RESOURCESTRING]\r\nA=%s von %d\r\nB=x\\ny\r\n"));        // UTF-8
  EXPECT_NE("", faults(Utf16File(u"[RESOURCESTRING]\r\nA=%s von %d\r\nB=x\\ny\xD800\r\n")));
  EXPECT_NE("", faults(Utf16File(u"[RESOURCESTRING]\r\nA=%s von %d\r\n")));           // B missing
  EXPECT_NE("", faults(Utf16File(u"[RESOURCESTRING]\r\nA=%d von %s\r\nB=x\\ny\r\n")));  // order
  EXPECT_NE("", faults(Utf16File(u"[RESOURCESTRING]\r\nA=%s von\r\nB=x\\ny\r\n")));     // count
  EXPECT_NE("", faults(Utf16File(u"[RESOURCESTRING]\r\nA=%s von %d\r\nB=x y\r\n")));    // escape
  EXPECT_NE("", faults(Utf16File(u"[RESOURCESTRING]\r\nA=%s von %d\r\nB=\"x\\ny\r\n")));
  EXPECT_NE("", faults(Utf16File(u"[RESOURCESTRING]\r\nA=%s von %d\r\nB=x\\ny\r\nA=2\r\n")));
  EXPECT_NE("", faults(Utf16File(u"[RESOURCESTRING]\r\nA=%s von %d\r\nB=x\\ny\r\nC=3\r\n")));
  EXPECT_NE("", faults(Utf16File(u"[RESOURCESTRING]\nA=%s von %d\nB=x\\ny\n")));  // LF only
}

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

// Problems of every entry type and worded variant, each with the key of its
// description and detail.
struct ProblemCase {
  CProblem problem;
  int form;  // 0 plain, 1 unnamed value, 2 no file named, 3 no uninstaller named
  Text description_key, detail_key;
};

std::vector<ProblemCase> ProblemCases() {
  std::vector<ProblemCase> out;
  const auto key = [](const char* prefix, int type, const char* suffix) {
    return Key(prefix) + ToText(type + 1) + Key(suffix);
  };
  for (int type = 0; type < kEntryTypeCount; ++type) {
    for (int form = 0; form < 4; ++form) {
      ProblemCase c;
      c.form = form;
      c.problem.entry_type = type;
      c.problem.key = u"HKEY_CURRENT_USER\\K";
      c.problem.value_name = form == 1 ? u"" : form == 3 ? u"UninstallString" : u"v";
      c.problem.value_data = form >= 2 ? u"" : u"C:\\f.exe";
      c.problem.details = {u"d0", u"d1", u"d2", u"d3"};
      c.description_key = key("IDS_PROBLEM_DESC_", type, DescriptionVariant(c.problem));
      c.detail_key = key("IDS_PROBLEM_DETAIL_", type, DetailVariant(c.problem));
      out.push_back(std::move(c));
    }
  }
  return out;
}

[[maybe_unused]] std::set<std::string> KeysTheProgramUses() {
  std::set<std::string> known;
  for (const StringKey& k : kStringKeys) known.insert(k.key);
  for (const PageTexts& page : AllPageTexts())
    for (const char16_t* key : page.keys) known.insert(ToUtf8(key));
  for (int n = 1; n <= kProblemTextKeys; ++n) {
    known.insert("IDS_PROBLEM_DESC_" + std::to_string(n));
    known.insert("IDS_PROBLEM_DETAIL_" + std::to_string(n));
  }
  for (const ProblemTextVariant& v : kProblemTextVariants)
    known.insert(v.prefix + std::to_string(v.type + 1) + v.suffix);
  return known;
}

TEST(ProblemTextVariants, AreTheKeysTheProblemTextsChoose) {
  std::set<std::string> chosen;
  for (const ProblemCase& c : ProblemCases()) {
    chosen.insert(ToUtf8(c.description_key));
    chosen.insert(ToUtf8(c.detail_key));
  }
  std::set<std::string> listed;
  for (int n = 1; n <= kProblemTextKeys; ++n) {
    listed.insert("IDS_PROBLEM_DESC_" + std::to_string(n));
    listed.insert("IDS_PROBLEM_DETAIL_" + std::to_string(n));
  }
  for (const ProblemTextVariant& v : kProblemTextVariants)
    listed.insert(v.prefix + std::to_string(v.type + 1) + v.suffix);
  EXPECT_EQ(listed, chosen);
}

#ifndef _WIN32

std::filesystem::path LangFolder() { return std::filesystem::path(::hs::testing::SourceDir()) / "app" / "lang"; }

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class LanguageFiles : public ::testing::Test {
 protected:
  void SetUp() override { fs_.MapDrive(u'C', LangFolder()); }

  // A string table of language `lang` reading the source tree's files.
  std::unique_ptr<StringTable> Table(int lang) {
    return std::make_unique<StringTable>(ini_, fs_, log_, u"C:\\", u"", lang, [this](TextView) { ++failures_; });
  }
  LanguageFile Parsed(int lang) { return ParseLanguageFile(ReadBytes(LangFolder() / ToUtf8(Text(LanguageRecord(lang).file_name)))); }

  HostFileSystem fs_;
  PortableIniReader ini_{fs_};
  MemoryLog log_;
  int failures_ = 0;
};

TEST_F(LanguageFiles, EnglishHoldsExactlyTheKeysTheProgramUses) {
  const LanguageFile english = Parsed(0);
  EXPECT_TRUE(english.faults.empty()) << Joined(english.faults);
  std::set<std::string> known;
  for (const std::string& k : KeysTheProgramUses()) known.insert(ToUtf8(Upcase(FromUtf8(k))));
  std::set<std::string> present;
  for (const auto& [key, text] : english.values) {
    present.insert(ToUtf8(key));
    EXPECT_TRUE(known.count(ToUtf8(key))) << "not a key the program uses: " << ToUtf8(key);
  }
  for (const std::string& k : known) EXPECT_TRUE(present.count(k)) << "missing: " << k;
}

TEST_F(LanguageFiles, EveryLanguageHoldsEveryEnglishKeyWithItsConversionsAndEscapes) {
  const LanguageFile english = Parsed(0);
  ASSERT_FALSE(english.values.empty());
  for (int lang = 0; lang < kLanguageCount; ++lang) {
    const std::string name = ToUtf8(Text(LanguageRecord(lang).file_name));
    const LanguageFile file = Parsed(lang);
    EXPECT_TRUE(file.faults.empty()) << name << ":\n" << Joined(file.faults);
    const std::vector<std::string> differences = CompareWithEnglish(english, file);
    EXPECT_TRUE(differences.empty()) << name << ":\n" << Joined(differences);
  }
}

// Through the INI reader and LookupString, as the program reads them.
TEST_F(LanguageFiles, EveryTextReadsWithTheConversionsItsCallersFill) {
  for (int lang = 0; lang < kLanguageCount; ++lang) {
    SCOPED_TRACE(ToUtf8(Text(LanguageRecord(lang).file_name)));
    auto table = Table(lang);
    for (const StringKey& k : kStringKeys) {
      const Text text = table->LookupString(Key(k.key));
      EXPECT_FALSE(text.empty()) << k.key;
      if (k.args) {
        EXPECT_EQ(std::string(k.args), Conversions(text)) << k.key << ": " << ToUtf8(text);
      }
    }
    EXPECT_EQ(Text::npos, table->LookupString(u"IDS_SHUTDOWN_MSG_DEFRAG").find(u'"')) << "it is passed in double quotes";
    EXPECT_EQ(u"HiveSweep", table->LookupString(u"AFX_IDS_APP_TITLE"));
    for (const ProblemCase& c : ProblemCases()) {
      const Text desc = table->LookupString(c.description_key);
      const Text detail = table->LookupString(c.detail_key);
      EXPECT_EQ(static_cast<int>(DescriptionArguments(c.problem).size()), TextPlaceholders(desc))
          << ToUtf8(c.description_key) << ": " << ToUtf8(desc);
      EXPECT_EQ(static_cast<int>(DetailArguments(c.problem).size()), TextPlaceholders(detail))
          << ToUtf8(c.detail_key) << ": " << ToUtf8(detail);
    }
  }
  EXPECT_EQ(0, failures_);
}

TEST_F(LanguageFiles, ProblemTextsReadWellForAnUnnamedValueAndAnEntryNamingNoFile) {
  auto table = Table(0);
  const StringLookup strings = [&](TextView key) { return table->LookupString(key); };
  const std::set<int> named_values = {23, 24, 25, 33, 41, 42, 43}, named_files = {21, 23, 36, 41};
  for (const ProblemCase& c : ProblemCases()) {
    if (c.form == 1 && !named_values.count(c.problem.entry_type)) continue;
    if (c.form == 2 && !named_files.count(c.problem.entry_type)) continue;
    if (c.form == 3 && c.problem.entry_type != 36) continue;
    const std::string what = ToUtf8(c.detail_key) + " / " + ToUtf8(c.description_key);
    for (const Text& text : {ProblemDetailText(c.problem, strings), ProblemDescription(c.problem, strings)}) {
      EXPECT_EQ(Text::npos, text.find(u"  ")) << what << ": " << ToUtf8(text);
      EXPECT_EQ(Text::npos, text.find(u" ,")) << what << ": " << ToUtf8(text);
      EXPECT_EQ(Text::npos, text.find(u"DEFAULT")) << what << ": " << ToUtf8(text);
      EXPECT_NE(u':', text.back()) << what << ": " << ToUtf8(text);
    }
  }
  CProblem deep;
  deep.entry_type = 42;
  deep.key = u"HKEY_CLASSES_ROOT\\Lumen.Image\\DefaultIcon";
  deep.value_data = u"C:\\lumen.ico";
  EXPECT_EQ(u"The default value of HKEY_CLASSES_ROOT\\Lumen.Image\\DefaultIcon refers to C:\\lumen.ico, which no "
            u"longer exists.",
            ProblemDetailText(deep, strings));
  CProblem help;
  help.entry_type = 24;
  help.key = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\Help";
  EXPECT_EQ(u"The help file (Default) listed in HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\Help does not exist.",
            ProblemDetailText(help, strings));
  EXPECT_EQ(0, failures_);
}

#else  // _WIN32

// The source tree's files, copied into a folder of the prefix (it has no
// drive onto the host), through GetPrivateProfileStringW.
TEST(LanguageFiles, EveryLanguageReadsThroughTheSystemReader) {
  testing::ScratchFs scratch("hs_lang");
  Win32IniReader ini;
  for (int lang = 0; lang < kLanguageCount; ++lang) {
    const Text name(LanguageRecord(lang).file_name);
    SCOPED_TRACE(ToUtf8(name));
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(testing::ReadSourceFile("app/lang/" + ToUtf8(name), &bytes));
    std::ofstream(scratch.host() / ToUtf8(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    const Text path = scratch.Path(name);
    EXPECT_EQ(u"HiveSweep", ini.ReadString(path, u"RESOURCESTRING", u"AFX_IDS_APP_TITLE", u"", 4096));
    const Text language = ini.ReadString(path, u"RESOURCESTRING", u"IDS_LANGUAGE", u"", 4096);
    ASSERT_FALSE(language.empty());
    EXPECT_EQ(Text::npos, language.find(u'?')) << "read in the ANSI code page";
    EXPECT_NE(Text::npos, Text(LanguageRecord(lang).display_name).find(language.substr(0, 2))) << ToUtf8(language);
  }
}

#endif  // _WIN32

}  // namespace
}  // namespace hs
