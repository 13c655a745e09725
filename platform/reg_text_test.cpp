#include "platform/reg_text.h"

#include <gtest/gtest.h>

#include "platform/store/registry_store.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace hs {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Raw(std::string_view s) { return Bytes(s.begin(), s.end()); }

// A REG_SZ / REG_MULTI_SZ payload: UTF-16LE of the text (NULs included).
Bytes Sz(TextView s) { return ToUtf16leBytes(s); }

bool Parse(const Bytes& file, RegTextDocument* doc, RegTextError* error) {
  return ParseRegText(file.data(), file.size(), doc, error);
}

// Parses a Unicode (.reg 5.00) text given without BOM; the header is added.
RegTextDocument ParseOk(TextView body) {
  Text text(u"Windows Registry Editor Version 5.00\r\n");
  text += body;
  RegTextDocument doc;
  RegTextError error;
  Bytes file = EncodeRegFile(text);
  EXPECT_TRUE(Parse(file, &doc, &error)) << "line " << error.line << ": " << error.message;
  return doc;
}

RegTextError ParseFail(TextView text) {
  RegTextDocument doc;
  RegTextError error;
  Bytes file = EncodeRegFile(text);
  EXPECT_FALSE(Parse(file, &doc, &error)) << ToUtf8(text);
  EXPECT_TRUE(doc.keys.empty());
  return error;
}

// ---------------------------------------------------------------------------
// Parsing

TEST(RegTextParse, EveryDataForm) {
  RegTextDocument doc = ParseOk(
      u"\r\n[HKEY_CURRENT_USER\\Software\\Test]\r\n"
      u"@=\"default\"\r\n"
      u"\"Str\"=\"hello\"\r\n"
      u"\"Empty\"=\"\"\r\n"
      u"\"Dw\"=dword:0001e240\r\n"
      u"\"DwShort\"=dword:7\r\n"
      u"\"Bin\"=hex:01,ab,FF\r\n"
      u"\"EmptyBin\"=hex:\r\n"
      u"\"None\"=hex(0):00\r\n"
      u"\"Exp\"=hex(2):25,00,00,00\r\n"
      u"\"Multi\"=hex(7):61,00,00,00,00,00\r\n"
      u"\"Qword\"=hex(b):01,02,03,04,05,06,07,08\r\n"
      u"\"Big\"=hex(100000):ff\r\n"
      u"\"MaxType\"=hex(ffffffff):\r\n"
      u"\"Spaced\" = hex: 1 , 2,3 \r\n"
      u"\"Gone\"=-\r\n");
  ASSERT_EQ(doc.keys.size(), 1u);
  EXPECT_TRUE(doc.unicode);
  const RegTextKey& k = doc.keys[0];
  EXPECT_EQ(k.root, kHkeyCurrentUser);
  EXPECT_EQ(k.root_name, u"HKEY_CURRENT_USER");
  EXPECT_EQ(k.path, u"Software\\Test");
  EXPECT_FALSE(k.remove);
  EXPECT_EQ(k.line, 3);
  ASSERT_EQ(k.values.size(), 15u);
  auto check = [&](std::size_t i, TextView name, std::uint32_t type, const Bytes& data, int line) {
    SCOPED_TRACE(ToUtf8(name));
    EXPECT_EQ(k.values[i].name, name);
    EXPECT_FALSE(k.values[i].remove);
    EXPECT_EQ(k.values[i].type, type);
    EXPECT_EQ(k.values[i].data, data);
    EXPECT_EQ(k.values[i].line, line);
  };
  check(0, u"", kRegSz, Sz(std::u16string_view(u"default\0", 8)), 4);
  check(1, u"Str", kRegSz, Sz(std::u16string_view(u"hello\0", 6)), 5);
  check(2, u"Empty", kRegSz, Bytes{0, 0}, 6);
  check(3, u"Dw", kRegDword, Bytes{0x40, 0xe2, 0x01, 0x00}, 7);
  check(4, u"DwShort", kRegDword, Bytes{7, 0, 0, 0}, 8);
  check(5, u"Bin", kRegBinary, Bytes{0x01, 0xab, 0xff}, 9);
  check(6, u"EmptyBin", kRegBinary, Bytes{}, 10);
  check(7, u"None", kRegNone, Bytes{0}, 11);
  check(8, u"Exp", kRegExpandSz, Bytes{0x25, 0, 0, 0}, 12);
  check(9, u"Multi", kRegMultiSz, Bytes{0x61, 0, 0, 0, 0, 0}, 13);
  check(10, u"Qword", kRegQword, Bytes{1, 2, 3, 4, 5, 6, 7, 8}, 14);
  check(11, u"Big", 0x100000u, Bytes{0xff}, 15);
  check(12, u"MaxType", 0xffffffffu, Bytes{}, 16);
  check(13, u"Spaced", kRegBinary, Bytes{1, 2, 3}, 17);
  EXPECT_EQ(k.values[14].name, u"Gone");
  EXPECT_TRUE(k.values[14].remove);
}

TEST(RegTextParse, Escapes) {
  RegTextDocument doc = ParseOk(
      u"[HKCU\\E]\r\n"
      u"\"a\\\\b\\\"c\"=\"x\\\\y\\\"z\"\r\n"
      u"\"wine\"=\"1\\n2\\r3\\04\"\r\n"
      u"\"@\"=\"at\"\r\n");
  const auto& v = doc.keys.at(0).values;
  ASSERT_EQ(v.size(), 3u);
  EXPECT_EQ(v[0].name, u"a\\b\"c");
  EXPECT_EQ(v[0].data, Sz(std::u16string_view(u"x\\y\"z\0", 6)));
  EXPECT_EQ(v[1].data, Sz(std::u16string_view(u"1\n2\r3\0" u"4\0", 8)));
  EXPECT_EQ(v[2].name, u"@");  // quoted "@" is a value named "@", not the default one
}

TEST(RegTextParse, Continuations) {
  RegTextDocument doc = ParseOk(
      u"[HKCU\\C]\r\n"
      u"\"Multi\"=hex(7):61,00,62,00,\\\r\n"
      u"  00,00,\\   \r\n"
      u"\t00,00\r\n"
      u"\"Bin\"=hex:01,\\\n"
      u"02\n"
      u"\"Empty\"=hex:\\\r\n"
      u"   \r\n"
      u"\"After\"=dword:1\r\n");
  const auto& v = doc.keys.at(0).values;
  ASSERT_EQ(v.size(), 4u);
  EXPECT_EQ(v[0].data, (Bytes{0x61, 0, 0x62, 0, 0, 0, 0, 0}));
  EXPECT_EQ(v[0].line, 3);
  EXPECT_EQ(v[1].data, (Bytes{1, 2}));
  EXPECT_EQ(v[1].line, 6);
  EXPECT_EQ(v[2].data, Bytes{});
  EXPECT_EQ(v[3].line, 10);
}

TEST(RegTextParse, Regedit4AnsiText) {
  // "%SYSTEMROOT%" as ANSI bytes, a euro sign (0x80 in code page 1252) and é.
  std::string text =
      "REGEDIT4\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Old]\r\n"
      "\"Path\"=hex(2):25,53,52,25,00\r\n"
      "\"List\"=hex(7):80,00,e9,00,00\r\n"
      "\"Sz\"=hex(1):41,00\r\n"
      "\"Bin\"=hex:80,e9\r\n"
      "\"Other\"=hex(5):80\r\n"
      "\"Quoted\"=\"caf\xe9\"\r\n"
      "\"Caf\xe9\"=dword:00000001\r\n";
  RegTextDocument doc;
  RegTextError error;
  ASSERT_TRUE(Parse(Raw(text), &doc, &error)) << error.message;
  EXPECT_FALSE(doc.unicode);
  const auto& v = doc.keys.at(0).values;
  ASSERT_EQ(v.size(), 7u);
  EXPECT_EQ(v[0].type, kRegExpandSz);
  EXPECT_EQ(v[0].data, Sz(std::u16string_view(u"%SR%\0", 5)));
  EXPECT_EQ(v[1].data, Sz(std::u16string_view(u"\u20ac\0\u00e9\0\0", 5)));
  EXPECT_EQ(v[2].type, kRegSz);
  EXPECT_EQ(v[2].data, Sz(std::u16string_view(u"A\0", 2)));
  EXPECT_EQ(v[3].data, (Bytes{0x80, 0xe9}));  // binary stays as it is
  EXPECT_EQ(v[4].data, (Bytes{0x80}));
  EXPECT_EQ(v[5].data, Sz(std::u16string_view(u"caf\u00e9\0", 5)));
  EXPECT_EQ(v[6].name, u"Caf\u00e9");
}

TEST(RegTextParse, UnicodeHexTextIsNotWidened) {
  RegTextDocument doc = ParseOk(u"[HKCU\\U]\r\n\"Path\"=hex(2):25,00,00,00\r\n");
  EXPECT_EQ(doc.keys.at(0).values.at(0).data, (Bytes{0x25, 0, 0, 0}));
}

TEST(RegTextParse, Utf8WithBom) {
  std::string text =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n"
      "[HKCU\\Caf\xC3\xA9]\n"
      "\"\xE2\x82\xAC\"=\"\xC3\xA9t\xC3\xA9\"\n";
  RegTextDocument doc;
  RegTextError error;
  ASSERT_TRUE(Parse(Raw(text), &doc, &error)) << error.message;
  EXPECT_TRUE(doc.unicode);
  EXPECT_EQ(doc.keys.at(0).path, u"Caf\u00e9");
  EXPECT_EQ(doc.keys.at(0).values.at(0).name, u"\u20ac");
  EXPECT_EQ(doc.keys.at(0).values.at(0).data, Sz(std::u16string_view(u"\u00e9t\u00e9\0", 4)));
}

TEST(RegTextParse, DeletionsCommentsAndRoots) {
  RegTextDocument doc = ParseOk(
      u"; a comment\r\n"
      u"   ; an indented comment\r\n"
      u"\r\n"
      u"  \t \r\n"
      u"[-HKEY_CURRENT_USER\\Software\\Old]\r\n"
      u"  [hkcr\\.txt]\r\n"
      u"  \"v\"=-\r\n"
      u"[Hklm\\A]\r\n"
      u"[HKU\\B]   \r\n"
      u"[hKcC\\C]\r\n"
      u"[HKEY_USERS]\r\n"
      u"[HKEY_CURRENT_CONFIG\\]\r\n");
  ASSERT_EQ(doc.keys.size(), 7u);
  EXPECT_TRUE(doc.keys[0].remove);
  EXPECT_EQ(doc.keys[0].path, u"Software\\Old");
  EXPECT_EQ(doc.keys[0].line, 6);
  EXPECT_EQ(doc.keys[1].root, kHkeyClassesRoot);
  EXPECT_EQ(doc.keys[1].root_name, u"HKEY_CLASSES_ROOT");
  EXPECT_EQ(doc.keys[1].path, u".txt");
  ASSERT_EQ(doc.keys[1].values.size(), 1u);
  EXPECT_TRUE(doc.keys[1].values[0].remove);
  EXPECT_EQ(doc.keys[2].root, kHkeyLocalMachine);
  EXPECT_EQ(doc.keys[3].root, kHkeyUsers);
  EXPECT_EQ(doc.keys[4].root, kHkeyCurrentConfig);
  EXPECT_EQ(doc.keys[4].root_name, u"HKEY_CURRENT_CONFIG");
  EXPECT_EQ(doc.keys[5].root, kHkeyUsers);
  EXPECT_EQ(doc.keys[5].path, u"");
  EXPECT_EQ(doc.keys[6].path, u"");
}

TEST(RegTextParse, BracketInKeyNames) {
  RegTextDocument doc = ParseOk(
      u"[HKEY_CURRENT_USER\\Software\\a]b]\r\n"
      u"\"x\"=\"1\"\r\n"
      u"[HKEY_CURRENT_USER\\[weird]]]  \r\n"
      u"[-HKEY_CURRENT_USER\\x]y] \t\r\n");
  ASSERT_EQ(doc.keys.size(), 3u);
  EXPECT_EQ(doc.keys[0].path, u"Software\\a]b");
  EXPECT_EQ(doc.keys[0].values.size(), 1u);
  EXPECT_EQ(doc.keys[1].path, u"[weird]]");
  EXPECT_EQ(doc.keys[2].path, u"x]y");
  EXPECT_TRUE(doc.keys[2].remove);
}

TEST(RegTextParse, HeaderVariants) {
  // Leading blank lines, trailing blanks on the header line, LF endings.
  RegTextDocument doc = ParseOk(u"");
  EXPECT_TRUE(doc.keys.empty());
  std::string lf = "\n\n  REGEDIT4  \n[HKCU\\X]\n";
  RegTextError error;
  ASSERT_TRUE(Parse(Raw(lf), &doc, &error)) << error.message;
  EXPECT_FALSE(doc.unicode);
  EXPECT_EQ(doc.keys.size(), 1u);
}

TEST(RegTextParse, ErrorsNameTheirLine) {
  struct Case {
    const char16_t* text;
    int line;
    const char* message;  // a part of the message
  };
  const Case cases[] = {
      {u"", 1, "header"},
      {u"\r\n\r\n", 1, "header"},
      {u"; comment\r\nWindows Registry Editor Version 5.00\r\n", 1, "header"},
      {u"Windows Registry Editor Version 4.00\r\n", 1, "header"},
      {u"REGEDIT\r\n", 1, "header"},
      {u"Windows Registry Editor Version 5.00\r\n\"a\"=\"b\"\r\n", 2, "outside any key"},
      {u"Windows Registry Editor Version 5.00\r\n\r\n[-HKCU\\X]\r\n\"a\"=\"b\"\r\n", 4, "outside any key"},
      {u"Windows Registry Editor Version 5.00\r\n[HKCU\\X\r\n", 2, "']'"},
      {u"Windows Registry Editor Version 5.00\r\n[HKEY_NOWHERE\\X]\r\n", 2, "unknown root"},
      {u"Windows Registry Editor Version 5.00\r\n[]\r\n", 2, "unknown root"},
      {u"Windows Registry Editor Version 5.00\r\n[-HKCU]\r\n", 2, "root key cannot be deleted"},
      {u"Windows Registry Editor Version 5.00\r\n[HKCU\\X] junk\r\n", 2, "after ']'"},
      {u"Windows Registry Editor Version 5.00\r\n[HKCU\\X]\r\n\"a\"=qword:1\r\n", 3, "unknown data form"},
      {u"Windows Registry Editor Version 5.00\r\n[HKCU\\X]\r\n\"a\"=\r\n", 3, "unknown data form"},
      {u"Windows Registry Editor Version 5.00\r\n[HKCU\\X]\r\n\"a\"=hex:0g\r\n", 3, "bad hex byte"},
      {u"Windows Registry Editor Version 5.00\r\n[HKCU\\X]\r\n\"a\"=hex:001\r\n", 3, "bad hex byte"},
      {u"Windows Registry Editor Version 5.00\r\n[HKCU\\X]\r\n\"a\"=hex:00,,01\r\n", 3, "missing hex byte"},
      {u"Windows Registry Editor Version 5.00\r\n[HKCU\\X]\r\n\"a\"=hex:00,\r\n", 3, "missing hex byte"},
      {u"Windows Registry Editor Version 5.00\r\n[HKCU\\X]\r\n\"a\"=hex(2:00\r\n", 3, "hex(N)"},
      {u"Windows Registry Editor Version 5.00\r\n[HKCU\\X]\r\n\"a\"=hex(123456789):00\r\n", 3, "hex(N)"},
      {u"Windows Registry Editor Version 5.00\r\n[HKCU\\X]\r\n\"a\"=hex(2)00\r\n", 3, "':'"},
      {u"Windows Registry Editor Version 5.00\r\n[HKCU\\X]\r\n\"a\"=dword:123456789\r\n", 3, "dword"},
      {u"Windows Registry Editor Version 5.00\r\n[HKCU\\X]\r\n\"a\"=dword:\r\n", 3, "dword"},
      {u"Windows Registry Editor Version 5.00\r\n[HKCU\\X]\r\n\"a\"=dword:12x4\r\n", 3, "dword"},
      {u"Windows Registry Editor Version 5.00\r\n[HKCU\\X]\r\n\"a\"=\"abc\r\n", 3, "closing quote of the string"},
      {u"Windows Registry Editor Version 5.00\r\n[HKCU\\X]\r\n\"a\"=\"abc\\\"\r\n", 3, "closing quote"},
      {u"Windows Registry Editor Version 5.00\r\n[HKCU\\X]\r\n\"a=\"abc\"\r\n", 3, "'='"},
      {u"Windows Registry Editor Version 5.00\r\n[HKCU\\X]\r\n\"a\"=\"abc\" x\r\n", 3, "after the closing quote"},
      {u"Windows Registry Editor Version 5.00\r\n[HKCU\\X]\r\n\"a\"=\"a\\tb\"\r\n", 3, "escape"},
      {u"Windows Registry Editor Version 5.00\r\n[HKCU\\X]\r\n\"a\"\r\n", 3, "'='"},
      {u"Windows Registry Editor Version 5.00\r\n[HKCU\\X]\r\n@\"x\"\r\n", 3, "'='"},
      {u"Windows Registry Editor Version 5.00\r\n[HKCU\\X]\r\nname=\"x\"\r\n", 3, "unrecognized line"},
      {u"Windows Registry Editor Version 5.00\r\n[HKCU\\X]\r\n\"a\"=hex:00,\\\r\n", 3, "end of the file"},
      {u"Windows Registry Editor Version 5.00\r\n[HKCU\\X]\r\n\"a\"=hex:00,\\", 3, "end of the file"},
      // The error names the line where a continued entry starts.
      {u"Windows Registry Editor Version 5.00\r\n[HKCU\\X]\r\n\"a\"=hex:00,\\\r\n  01,\\\r\n  zz\r\n", 3, "bad hex byte"},
      {u"Windows Registry Editor Version 5.00\r\n[HKCU\\X]\r\n\"ok\"=hex:00,\\\r\n  01\r\n\"b\"=-x\r\n", 5, "unknown data"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.text));
    RegTextError e = ParseFail(c.text);
    EXPECT_EQ(e.line, c.line) << e.message;
    EXPECT_NE(e.message.find(c.message), std::string::npos) << e.message;
  }
}

TEST(RegTextParse, EncodingErrors) {
  RegTextDocument doc;
  RegTextError error;
  Bytes be = {0xFE, 0xFF, 0, 'R'};
  EXPECT_FALSE(Parse(be, &doc, &error));
  EXPECT_EQ(error.line, 1);
  Bytes odd = EncodeRegFile(u"Windows Registry Editor Version 5.00\r\n\r\n[HKCU\\X]");
  odd.push_back(0x41);
  EXPECT_FALSE(Parse(odd, &doc, &error));
  EXPECT_EQ(error.line, 3);
  // Larger than the limit: refused before the data is looked at.
  std::uint8_t one = 0;
  EXPECT_FALSE(ParseRegText(&one, kMaxRegTextBytes + 1, &doc, &error));
  EXPECT_EQ(error.line, 0);
  EXPECT_FALSE(ParseRegText(nullptr, 0, &doc, nullptr));
}

TEST(RegTextParse, FailureLeavesNothing) {
  RegTextDocument doc;
  doc.keys.resize(3);
  RegTextError error;
  Bytes file = EncodeRegFile(u"Windows Registry Editor Version 5.00\r\n[HKCU\\A]\r\n\"a\"=dword:1\r\n[HKCU\\B]\r\n\"b\"=bad\r\n");
  EXPECT_FALSE(Parse(file, &doc, &error));
  EXPECT_TRUE(doc.keys.empty());
  EXPECT_EQ(error.line, 5);
}

// A valid file exercising every construct, for the fuzz tests.
Text SampleFile() {
  return u"Windows Registry Editor Version 5.00\r\n"
         u"\r\n"
         u"; comment\r\n"
         u"[HKEY_CURRENT_USER\\Software\\Fuzz]\r\n"
         u"@=\"default \\\"q\\\" \\\\ x\"\r\n"
         u"\"Dw\"=dword:0001e240\r\n"
         u"\"Multi\"=hex(7):61,00,6c,00,70,00,68,00,61,00,00,00,62,00,65,00,74,00,61,00,00,\\\r\n"
         u"  00,67,00,61,00,6d,00,6d,00,61,00,00,00,00,00\r\n"
         u"\"Big\"=hex(100000):01,02\r\n"
         u"\"Gone\"=-\r\n"
         u"[-HKLM\\Software\\Old]\r\n"
         u"[HKCR\\a]b]\r\n"
         u"\"E\"=hex:\r\n";
}

TEST(RegTextFuzz, TruncatedPrefixes) {
  const Bytes file = EncodeRegFile(SampleFile());
  RegTextDocument doc;
  RegTextError error;
  ASSERT_TRUE(Parse(file, &doc, &error)) << error.line << ": " << error.message;
  EXPECT_EQ(doc.keys.size(), 3u);
  for (std::size_t n = 0; n <= file.size(); ++n) {
    Bytes prefix(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
    bool ok = ParseRegText(prefix.empty() ? nullptr : prefix.data(), prefix.size(), &doc, &error);
    if (!ok) {
      EXPECT_GE(error.line, 1);
      EXPECT_FALSE(error.message.empty());
      EXPECT_TRUE(doc.keys.empty());
    }
  }
}

// Hands out a buffer in pieces of 1 to 7 bytes.
class DribbleSource final : public RegTextByteSource {
 public:
  DribbleSource(const Bytes& data, unsigned seed) : data_(data), rng_(seed) {}
  std::size_t Read(std::uint8_t* buffer, std::size_t size) override {
    const std::size_t n = std::min({size, data_.size() - pos_, static_cast<std::size_t>(rng_() % 7 + 1)});
    std::copy(data_.begin() + pos_, data_.begin() + pos_ + n, buffer);
    pos_ += n;
    return n;
  }

 private:
  const Bytes& data_;
  std::mt19937 rng_;
  std::size_t pos_ = 0;
};

// One line per key and value: what a parse produced, for comparison.
std::vector<std::string> Flat(const std::vector<RegTextKey>& keys) {
  std::vector<std::string> out;
  for (const RegTextKey& k : keys) {
    out.push_back(std::to_string(k.line) + (k.remove ? " -" : " ") + ToUtf8(k.root_name + u"\\" + k.path));
    for (const RegTextValue& v : k.values) {
      std::string data(v.data.begin(), v.data.end());
      out.push_back(std::to_string(v.line) + " " + ToUtf8(v.name) + "=" + std::to_string(v.type) + ":" + data);
    }
  }
  return out;
}

TEST(RegTextFuzz, StreamedPiecesParseAsTheWholeFile) {
  const Bytes utf8 = Raw("\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\Gr\xC3\xBC\xC3\x9Fe]\r\n"
                         "\"\xE2\x82\xAC\"=\"\xF0\x9F\x98\x80 x\"\r\n\"h\"=hex:01,\\\r\n  02\r\n");
  const Bytes ansi = Raw("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Caf\xE9]\n@=\"\x80\"\n");
  const Bytes odd = [] {
    Bytes b = EncodeRegFile(Text(kRegTextHeaderLine) + u"[HKEY_USERS\\x]\r\n");
    b.push_back('z');
    return b;
  }();
  for (const Bytes& file : {EncodeRegFile(SampleFile()), utf8, ansi, odd}) {
    RegTextDocument whole;
    RegTextError whole_error;
    const bool whole_ok = Parse(file, &whole, &whole_error);
    for (unsigned seed = 1; seed <= 5; ++seed) {
      DribbleSource source(file, seed);
      std::vector<RegTextKey> keys;
      RegTextError error;
      const bool ok = ParseRegTextStream(source, [&](RegTextKey&& k, RegTextError*) {
        keys.push_back(std::move(k));
        return true;
      }, &error);
      ASSERT_EQ(whole_ok, ok) << error.message << " file " << file.size() << " seed " << seed;
      if (ok) EXPECT_EQ(Flat(whole.keys), Flat(keys));
      else EXPECT_EQ(whole_error.line, error.line);
    }
  }
  // A sink that refuses stops the parse, with the key's line.
  const Bytes file = EncodeRegFile(SampleFile());
  MemoryRegTextSource source(file.data(), file.size());
  int seen = 0;
  RegTextError error;
  EXPECT_FALSE(ParseRegTextStream(source, [&](RegTextKey&&, RegTextError* e) {
    e->message = "refused";
    return ++seen < 2;
  }, &error));
  EXPECT_EQ(2, seen);
  EXPECT_EQ("refused", error.message);
  EXPECT_GT(error.line, 1);
}

TEST(RegTextFuzz, RandomAndMutatedBuffers) {
  std::mt19937 rng(20240613);
  const Bytes sample = EncodeRegFile(SampleFile());
  const std::string ansi =
      "REGEDIT4\r\n[HKCU\\A]\r\n\"x\"=hex(2):41,42,00\r\n\"y\"=\"z\"\r\n@=dword:1\r\n[-HKCU\\B]\r\n";
  const std::uint8_t alphabet[] = {'[', ']', '"', '\\', '=', '@', ':', ',', '-', ';', '(', ')', '\r', '\n',
                                   ' ', 'h', 'e', 'x', 'd', 'w', 'o', 'r', '0', '7', 'f', 0, 0xFF, 0xFE};
  RegTextDocument doc;
  RegTextError error;
  int parsed = 0;
  for (int round = 0; round < 4000; ++round) {
    Bytes buf;
    switch (round % 4) {
      case 0: {  // pure noise, sometimes behind a BOM
        std::size_t n = rng() % 200;
        if (rng() % 2) buf = {0xFF, 0xFE};
        for (std::size_t i = 0; i < n; ++i) buf.push_back(static_cast<std::uint8_t>(rng()));
        break;
      }
      case 1: {  // the sample with a few bytes changed
        buf = sample;
        int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits; ++e) {
          std::size_t at = 2 + rng() % (buf.size() - 2);
          buf[at] = (rng() % 2) ? alphabet[rng() % sizeof(alphabet)] : static_cast<std::uint8_t>(rng());
        }
        break;
      }
      case 2: {  // the sample with UTF-16 units inserted or removed
        buf = sample;
        int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits; ++e) {
          std::size_t at = 2 + 2 * (rng() % ((buf.size() - 2) / 2));
          if (rng() % 2 && buf.size() > 4) {
            buf.erase(buf.begin() + static_cast<std::ptrdiff_t>(at), buf.begin() + static_cast<std::ptrdiff_t>(at) + 2);
          } else {
            std::uint8_t c = alphabet[rng() % sizeof(alphabet)];
            buf.insert(buf.begin() + static_cast<std::ptrdiff_t>(at), {c, 0});
          }
        }
        break;
      }
      default: {  // ANSI text built from the alphabet after a REGEDIT4 start
        buf = Raw(ansi);
        std::size_t n = rng() % 120;
        for (std::size_t i = 0; i < n; ++i) buf.push_back(alphabet[rng() % sizeof(alphabet)]);
        break;
      }
    }
    bool ok = ParseRegText(buf.empty() ? nullptr : buf.data(), buf.size(), &doc, &error);
    if (ok) {
      ++parsed;
      for (const auto& k : doc.keys) {
        EXPECT_TRUE(IsPredefinedKey(k.root));
        for (const auto& v : k.values) EXPECT_GE(v.line, k.line);
      }
    } else {
      EXPECT_GE(error.line, 1);
      EXPECT_TRUE(doc.keys.empty());
    }
  }
  EXPECT_GT(parsed, 0);  // the mutations do not all break the file
}

// ---------------------------------------------------------------------------
// Writing

TEST(RegTextFormat, Names) {
  EXPECT_EQ(FormatValueLine(u"", kRegSz, Sz(std::u16string_view(u"x\0", 2))), u"@=\"x\"\r\n");
  // A value named "@" keeps its name: "@" alone is the unnamed value.
  EXPECT_EQ(FormatValueLine(u"@", kRegSz, Sz(std::u16string_view(u"x\0", 2))), u"\"@\"=\"x\"\r\n");
  EXPECT_EQ(FormatValueLine(u"a\\b\"c", kRegSz, Sz(std::u16string_view(u"p\\q\"r\0", 6))),
            u"\"a\\\\b\\\"c\"=\"p\\\\q\\\"r\"\r\n");
  EXPECT_EQ(FormatValueLine(u"@", kRegSz, Sz(std::u16string_view(u"x\0", 2)), true), u"\"@\"=\"x\"\r\n");
  EXPECT_EQ(FormatValueLine(u"", kRegSz, Sz(std::u16string_view(u"x\0", 2)), true), u"@=\"x\"\r\n");
  EXPECT_TRUE(RegTextCanCarryName(u"a \"quoted\" \\ name \u00e9\u4e2d"));
  EXPECT_FALSE(RegTextCanCarryName(u"line\r\nbreak"));
  EXPECT_FALSE(RegTextCanCarryName(std::u16string_view(u"nul\0inside", 11)));
}

TEST(RegTextFormat, StringsTheQuotedFormCannotCarryAreWrittenAsHex) {
  EXPECT_EQ(FormatValueLine(u"s", kRegSz, Sz(std::u16string_view(u"abc\0", 4))), u"\"s\"=\"abc\"\r\n");
  // An embedded NUL, a missing terminator, an odd length, CR or LF inside,
  // no data at all: byte for byte as hex(1).
  EXPECT_EQ(FormatValueLine(u"s", kRegSz, Sz(std::u16string_view(u"ab\0c\0", 5))),
            u"\"s\"=hex(1):61,00,62,00,00,00,63,00,00,00\r\n");
  EXPECT_EQ(FormatValueLine(u"s", kRegSz, Bytes{'a', 0, 'b', 0}), u"\"s\"=hex(1):61,00,62,00\r\n");
  EXPECT_EQ(FormatValueLine(u"s", kRegSz, Bytes{'a', 0, 'b'}), u"\"s\"=hex(1):61,00,62\r\n");
  EXPECT_EQ(FormatValueLine(u"s", kRegSz, Sz(std::u16string_view(u"one\r\ntwo\0", 9))),
            u"\"s\"=hex(1):6f,00,6e,00,65,00,0d,00,0a,00,74,00,77,00,6f,00,00,00\r\n");
  EXPECT_EQ(FormatValueLine(u"s", kRegSz, Bytes{}), u"\"s\"=hex(1):\r\n");
  EXPECT_EQ(FormatValueLine(u"s", kRegSz, Bytes{0, 0}), u"\"s\"=\"\"\r\n");
}

TEST(RegTextFormat, Dwords) {
  EXPECT_EQ(FormatValueLine(u"d", kRegDword, Bytes{0x40, 0xe2, 0x01, 0x00}), u"\"d\"=dword:0001e240\r\n");
  EXPECT_EQ(FormatValueLine(u"d", kRegDword, Bytes{0xff, 0, 0, 0}), u"\"d\"=dword:000000ff\r\n");
  EXPECT_EQ(FormatValueLine(u"d", kRegDword, Bytes{0x78, 0x56, 0x34, 0x12}), u"\"d\"=dword:12345678\r\n");
  EXPECT_EQ(FormatValueLine(u"d", kRegDword, Bytes{0xff, 0xff, 0xff, 0xff}), u"\"d\"=dword:ffffffff\r\n");
  // Not 4 bytes: the dword form cannot carry it.
  EXPECT_EQ(FormatValueLine(u"d", kRegDword, Bytes{1, 2}), u"\"d\"=hex(4):01,02\r\n");
  EXPECT_EQ(FormatValueLine(u"d", kRegDword, Bytes{}), u"\"d\"=hex(4):\r\n");
}

TEST(RegTextFormat, HexForms) {
  EXPECT_EQ(FormatValueLine(u"b", kRegBinary, Bytes{0x01, 0xab, 0xff}), u"\"b\"=hex:01,ab,ff\r\n");
  EXPECT_EQ(FormatValueLine(u"b", kRegBinary, Bytes{}), u"\"b\"=hex:\r\n");
  EXPECT_EQ(FormatValueLine(u"n", kRegNone, Bytes{}), u"\"n\"=hex(0):\r\n");
  EXPECT_EQ(FormatValueLine(u"q", kRegQword, Bytes{1, 0, 0, 0, 0, 0, 0, 0}),
            u"\"q\"=hex(b):01,00,00,00,00,00,00,00\r\n");
  // Both forms keep the full type.
  EXPECT_EQ(FormatValueLine(u"t", 0x100002u, Bytes{0x25, 0}), u"\"t\"=hex(100002):25,00\r\n");
  EXPECT_EQ(FormatValueLine(u"t", 0x13u, Bytes{7}), u"\"t\"=hex(13):07\r\n");
  EXPECT_EQ(FormatValueLine(u"t", 0xffff0012u, Bytes{}), u"\"t\"=hex(ffff0012):\r\n");
  EXPECT_EQ(FormatValueLine(u"t", 0x100002u, Bytes{0x25, 0}, true), u"\"t\"=hex(100002):25,00\r\n");
  EXPECT_EQ(FormatValueLine(u"t", 0xfu, Bytes{}, true), u"\"t\"=hex(f):\r\n");
}

TEST(RegTextFormat, MultiSzLineBreaksWorkedByHand) {
  // "alpha\0beta\0gamma\0delta\0\0": 24 UTF-16 units, 48 bytes. The line starts
  // with "Multi"=hex(7): (15 characters); byte k with its comma ends at
  // 15 + 3k. 15 + 3*21 = 78 = 77 + 1 -> break after byte 21; the two spaces
  // of the next line count, so 80 + 3*25 = 155 = 2*77 + 1 -> break after
  // byte 46, and bytes 47 and 48 stand on the third line.
  Bytes data = Sz(std::u16string_view(u"alpha\0beta\0gamma\0delta\0\0", 24));
  ASSERT_EQ(data.size(), 48u);
  const Text expected =
      u"\"Multi\"=hex(7):61,00,6c,00,70,00,68,00,61,00,00,00,62,00,65,00,74,00,61,00,00,\\\r\n"
      u"  00,67,00,61,00,6d,00,6d,00,61,00,00,00,64,00,65,00,6c,00,74,00,61,00,00,00,\\\r\n"
      u"  00,00\r\n";
  EXPECT_EQ(FormatValueLine(u"Multi", kRegMultiSz, data), expected);

  // And it reads back.
  RegTextDocument doc = ParseOk(Text(u"[HKCU\\M]\r\n") + expected);
  ASSERT_EQ(doc.keys.at(0).values.size(), 1u);
  EXPECT_EQ(doc.keys[0].values[0].type, kRegMultiSz);
  EXPECT_EQ(doc.keys[0].values[0].data, data);
}

TEST(RegTextFormat, LongHexListsStayNarrowAndReadBack) {
  // Name lengths shift where the breaks fall; every byte count from 0 to 300.
  for (TextView name : {TextView(u""), TextView(u"x"), TextView(u"Some Longer Name\\With\"Escapes")}) {
    for (std::size_t n = 0; n <= 300; n += (n < 100 ? 1 : 7)) {
      Bytes data(n);
      for (std::size_t i = 0; i < n; ++i) data[i] = static_cast<std::uint8_t>(i * 37 + 11);
      Text line = FormatValueLine(name, kRegBinary, data);
      for (TextView l : Split(line, u'\n')) EXPECT_LE(l.size(), 84u);
      RegTextDocument doc = ParseOk(u"[HKCU\\L]\r\n" + line);
      ASSERT_EQ(doc.keys.at(0).values.size(), 1u);
      EXPECT_EQ(doc.keys[0].values[0].data, data) << n;
      EXPECT_EQ(doc.keys[0].values[0].name, name);
    }
  }
}

TEST(RegTextFormat, KeyHeaderAndFile) {
  EXPECT_EQ(FormatKeyHeader(u"HKEY_CURRENT_USER\\Software\\X"), u"\r\n[HKEY_CURRENT_USER\\Software\\X]\r\n");
  Bytes file = EncodeRegFile(u"Wi\u00e9");
  EXPECT_EQ(file, (Bytes{0xFF, 0xFE, 'W', 0, 'i', 0, 0xe9, 0}));
}

TEST(RegTextFormat, LosslessChoices) {
  const Bytes clean = Sz(std::u16string_view(u"ok\0", 3));
  EXPECT_EQ(FormatValueLine(u"s", kRegSz, clean, true), u"\"s\"=\"ok\"\r\n");
  EXPECT_EQ(FormatValueLine(u"s", kRegSz, Sz(u"ok"), true), u"\"s\"=hex(1):6f,00,6b,00\r\n");
  EXPECT_EQ(FormatValueLine(u"s", kRegSz, Bytes{'o', 0, 0}, true), u"\"s\"=hex(1):6f,00,00\r\n");
  EXPECT_EQ(FormatValueLine(u"s", kRegSz, Sz(std::u16string_view(u"a\0b\0", 4)), true),
            u"\"s\"=hex(1):61,00,00,00,62,00,00,00\r\n");
  EXPECT_EQ(FormatValueLine(u"s", kRegSz, Bytes{}, true), u"\"s\"=hex(1):\r\n");
  EXPECT_EQ(FormatValueLine(u"s", kRegSz, Sz(std::u16string_view(u"a\r\nb\0", 5)), true),
            u"\"s\"=\"a\\r\\nb\"\r\n");
  EXPECT_EQ(FormatValueLine(u"d", kRegDword, Bytes{1, 0, 0, 0}, true), u"\"d\"=dword:00000001\r\n");
  EXPECT_EQ(FormatValueLine(u"d", kRegDword, Bytes{1, 0, 0}, true), u"\"d\"=hex(4):01,00,00\r\n");
}

TEST(RegTextFormat, LosslessRoundTrip) {
  struct V {
    Text name;
    std::uint32_t type;
    Bytes data;
  };
  std::vector<V> values = {
      {u"", kRegSz, Sz(std::u16string_view(u"default\0", 8))},
      {u"@", kRegSz, Sz(std::u16string_view(u"at\0", 3))},
      {u"odd", kRegSz, Bytes{'a', 0, 'b'}},
      {u"noterm", kRegSz, Sz(u"abc")},
      {u"inner nul", kRegSz, Sz(std::u16string_view(u"a\0b\0", 4))},
      {u"two nuls", kRegSz, Sz(std::u16string_view(u"a\0\0", 3))},
      {u"empty", kRegSz, Bytes{}},
      {u"only nul", kRegSz, Bytes{0, 0}},
      {u"lines\r\n", kRegSz, Sz(std::u16string_view(u"1\r\n2\n\\\"\0", 8))},
      {u"name\0nul", kRegBinary, Bytes{1}},
      {u"lone surrogate \xD800", kRegSz, Sz(std::u16string_view(u"\xDC00x\0", 3))},
      {u"dw3", kRegDword, Bytes{1, 2, 3}},
      {u"dw5", kRegDword, Bytes{1, 2, 3, 4, 5}},
      {u"dw", kRegDword, Bytes{1, 2, 3, 4}},
      {u"be", kRegDwordBigEndian, Bytes{1, 2, 3, 4}},
      {u"exp odd", kRegExpandSz, Bytes{'%', 0, 'x'}},
      {u"multi", kRegMultiSz, Sz(std::u16string_view(u"a\0b\0\0", 5))},
      {u"big type", 0x12345678u, Bytes{9, 8, 7}},
      {u"max type", 0xffffffffu, Bytes{}},
      {u"type 0x10", 0x10u, Bytes{0}},
      {u"binary", kRegBinary, Bytes(200, 0xAB)},
  };
  Text body(kRegTextHeaderLine);
  body += FormatKeyHeader(u"HKEY_LOCAL_MACHINE\\Software\\Round");
  for (const V& v : values) body += FormatValueLine(TextView(v.name), v.type, v.data, true);
  RegTextDocument doc;
  RegTextError error;
  Bytes file = EncodeRegFile(body);
  ASSERT_TRUE(Parse(file, &doc, &error)) << error.line << ": " << error.message;
  ASSERT_EQ(doc.keys.size(), 1u);
  ASSERT_EQ(doc.keys[0].values.size(), values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    SCOPED_TRACE(ToUtf8(values[i].name));
    EXPECT_EQ(doc.keys[0].values[i].name, values[i].name);
    EXPECT_EQ(doc.keys[0].values[i].type, values[i].type);
    EXPECT_EQ(doc.keys[0].values[i].data, values[i].data);
  }
}

TEST(RegTextFormat, RandomLosslessRoundTrip) {
  std::mt19937 rng(77);
  const std::uint32_t types[] = {0, 1, 2, 3, 4, 5, 6, 7, 11, 0x10, 0x11, 0x80000001u};
  for (int round = 0; round < 500; ++round) {
    Text name;
    std::size_t name_len = rng() % 6;
    for (std::size_t i = 0; i < name_len; ++i) {
      const char16_t pool[] = {u'a', u'@', u'\\', u'"', u'\r', u'\n', 0, u']', u'=', 0xD800, 0x20AC};
      name.push_back(pool[rng() % (sizeof(pool) / sizeof(pool[0]))]);
    }
    std::uint32_t type = types[rng() % (sizeof(types) / sizeof(types[0]))];
    Bytes data(rng() % 90);
    for (auto& b : data) b = (rng() % 3 == 0) ? 0 : static_cast<std::uint8_t>(rng());
    if (type == kRegSz && rng() % 2) data = Sz(std::u16string_view(u"a\"\\b\r\n\0", 7));
    Text body = Text(kRegTextHeaderLine) + FormatKeyHeader(u"HKCU\\R") + FormatValueLine(name, type, data, true);
    RegTextDocument doc;
    RegTextError error;
    ASSERT_TRUE(Parse(EncodeRegFile(body), &doc, &error)) << error.line << ": " << error.message;
    ASSERT_EQ(doc.keys.at(0).values.size(), 1u);
    EXPECT_EQ(doc.keys[0].values[0].name, name);
    EXPECT_EQ(doc.keys[0].values[0].type, type);
    EXPECT_EQ(doc.keys[0].values[0].data, data);
    // The editor form carries the same value exactly, with no escape beyond
    // the two the system editor knows.
    if (!RegTextCanCarryName(name)) continue;
    const Text line = FormatValueLine(name, type, data);
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
      if (line[i] == u'\\') {
        ASSERT_TRUE(line[i + 1] == u'\\' || line[i + 1] == u'"' || line[i + 1] == u'\r') << ToUtf8(line);
        ++i;
      }
    }
    ASSERT_TRUE(Parse(EncodeRegFile(Text(kRegTextHeaderLine) + FormatKeyHeader(u"HKCU\\R") + line), &doc, &error))
        << error.line << ": " << error.message;
    EXPECT_EQ(doc.keys[0].values[0].name, name);
    EXPECT_EQ(doc.keys[0].values[0].type, type);
    EXPECT_EQ(doc.keys[0].values[0].data, data);
  }
}

// ---------------------------------------------------------------------------
// Apply and export through the in-memory registry store

RegTextDocument ParseBody(TextView body) {
  RegTextDocument doc;
  RegTextError error;
  Bytes file = EncodeRegFile(Text(kRegTextHeaderLine) + Text(body));
  EXPECT_TRUE(Parse(file, &doc, &error)) << error.line << ": " << error.message;
  return doc;
}

void Set(Registry& reg, RegKey root, TextView path, TextView name, std::uint32_t type, const Bytes& data,
         std::uint32_t view = 0) {
  RegKey h = 0;
  ASSERT_EQ(reg.Create(root, path, kKeyAllAccess | view, &h, nullptr), 0);
  ASSERT_EQ(reg.SetValue(h, name, type, data), 0);
  reg.Close(h);
}

bool KeyExists(Registry& reg, RegKey root, TextView path, std::uint32_t view = 0) {
  RegKey h = 0;
  if (reg.Open(root, path, kKeyRead | view, &h) != 0) return false;
  reg.Close(h);
  return true;
}

TEST(RegTextStore, ApplyThenExport) {
  RegistryStore reg(RegistryStore::Options{});
  Set(reg, kHkeyCurrentUser, u"Software\\T\\Old\\Deep", u"x", kRegDword, Bytes{1, 0, 0, 0});
  Set(reg, kHkeyCurrentUser, u"Software\\T", u"stale", kRegSz, Sz(std::u16string_view(u"s\0", 2)));
  RegTextDocument doc = ParseBody(
      u"\r\n[HKEY_CURRENT_USER\\Software\\T]\r\n"
      u"@=\"def\"\r\n"
      u"\"stale\"=-\r\n"
      u"\"never there\"=-\r\n"
      u"\"dw\"=dword:0001e240\r\n"
      u"[-HKEY_CURRENT_USER\\Software\\T\\Old]\r\n"
      u"[-HKEY_CURRENT_USER\\Software\\T\\Missing\\Too]\r\n"
      u"[HKCU\\Software\\T\\b]\r\n"
      u"\"m\"=hex(7):61,00,00,00,00,00\r\n"
      u"[HKCU\\Software\\T\\a]x]\r\n"
      u"\"@\"=hex:\r\n");
  int line = -1;
  ASSERT_EQ(ApplyRegText(reg, doc, 0, &line), 0);
  EXPECT_EQ(line, 0);
  EXPECT_FALSE(KeyExists(reg, kHkeyCurrentUser, u"Software\\T\\Old"));

  Text out;
  ASSERT_EQ(ExportRegText(reg, kHkeyCurrentUser, u"HKEY_CURRENT_USER", u"Software\\T", 0, false, true, &out), 0);
  // Subkeys in the store's name order, values in creation order.
  EXPECT_EQ(out,
            u"Windows Registry Editor Version 5.00\r\n"
            u"\r\n[HKEY_CURRENT_USER\\Software\\T]\r\n"
            u"@=\"def\"\r\n"
            u"\"dw\"=dword:0001e240\r\n"
            u"\r\n[HKEY_CURRENT_USER\\Software\\T\\a]x]\r\n"
            u"\"@\"=hex:\r\n"
            u"\r\n[HKEY_CURRENT_USER\\Software\\T\\b]\r\n"
            u"\"m\"=hex(7):61,00,00,00,00,00\r\n");
  EXPECT_EQ(reg.OpenHandleCount(), 0u);

  // Appends; a missing key appends nothing.
  Text more = u"keep";
  EXPECT_EQ(ExportRegText(reg, kHkeyCurrentUser, u"HKEY_CURRENT_USER", u"Software\\Nope", 0, false, true, &more),
            err::kFileNotFound);
  EXPECT_EQ(more, u"keep");
  ASSERT_EQ(ExportRegText(reg, kHkeyCurrentUser, u"HKEY_CURRENT_USER", u"Software\\T\\b", 0, false, false, &more),
            0);
  EXPECT_EQ(more, u"keep\r\n[HKEY_CURRENT_USER\\Software\\T\\b]\r\n\"m\"=hex(7):61,00,00,00,00,00\r\n");
}

TEST(RegTextStore, ApplyReportsTheFailingLine) {
  RegistryStore reg(RegistryStore::Options{});
  Set(reg, kHkeyCurrentUser, u"Locked", u"v", kRegDword, Bytes{1, 0, 0, 0});
  ASSERT_EQ(reg.MarkDenyWrite(kHkeyCurrentUser, u"Locked", 0, true), 0);
  RegTextDocument doc = ParseBody(
      u"[HKCU\\Free]\r\n"
      u"\"a\"=dword:1\r\n"
      u"[HKCU\\Locked]\r\n"
      u"\"b\"=dword:2\r\n"
      u"[HKCU\\Later]\r\n");
  int line = 0;
  EXPECT_EQ(ApplyRegText(reg, doc, 0, &line), err::kAccessDenied);
  EXPECT_EQ(line, 4);  // the key line (after the header line): opening it for writing is refused
  EXPECT_TRUE(KeyExists(reg, kHkeyCurrentUser, u"Free"));   // applied before the failure
  EXPECT_FALSE(KeyExists(reg, kHkeyCurrentUser, u"Later"));  // not after it

  RegTextDocument del = ParseBody(u"[-HKCU\\Locked]\r\n");
  EXPECT_EQ(ApplyRegText(reg, del, 0, &line), err::kAccessDenied);
  EXPECT_EQ(line, 2);
  EXPECT_EQ(reg.OpenHandleCount(), 0u);

  // A root can never be removed, even from a hand-built document.
  RegTextDocument root;
  root.keys.push_back(RegTextKey{kHkeyCurrentUser, u"HKEY_CURRENT_USER", u"", true, {}, 7});
  EXPECT_EQ(ApplyRegText(reg, root, 0, &line), err::kAccessDenied);
  EXPECT_EQ(line, 7);
  EXPECT_TRUE(KeyExists(reg, kHkeyCurrentUser, u"Free"));
}

TEST(RegTextStore, ViewsOfA64BitSystem) {
  RegistryStore::Options options;
  options.windows64 = true;
  RegistryStore reg(options);
  RegTextDocument doc = ParseBody(u"[HKEY_LOCAL_MACHINE\\Software\\Vendor\\App]\r\n\"v\"=dword:1\r\n");
  int line = 0;
  ASSERT_EQ(ApplyRegText(reg, doc, kKeyWow64_64Key, &line), 0);
  EXPECT_TRUE(KeyExists(reg, kHkeyLocalMachine, u"Software\\Vendor\\App", kKeyWow64_64Key));
  EXPECT_FALSE(KeyExists(reg, kHkeyLocalMachine, u"Software\\Vendor\\App", kKeyWow64_32Key));
  ASSERT_EQ(ApplyRegText(reg, doc, kKeyWow64_32Key, &line), 0);
  EXPECT_TRUE(KeyExists(reg, kHkeyLocalMachine, u"Software\\Wow6432Node\\Vendor\\App", kKeyWow64_64Key));

  Text out;
  ASSERT_EQ(ExportRegText(reg, kHkeyLocalMachine, u"HKEY_LOCAL_MACHINE", u"Software\\Vendor", kKeyWow64_32Key, false,
                          false, &out),
            0);
  EXPECT_EQ(out, u"\r\n[HKEY_LOCAL_MACHINE\\Software\\Vendor]\r\n"
                 u"\r\n[HKEY_LOCAL_MACHINE\\Software\\Vendor\\App]\r\n\"v\"=dword:00000001\r\n");

  RegTextDocument del = ParseBody(u"[-HKEY_LOCAL_MACHINE\\Software\\Vendor]\r\n");
  ASSERT_EQ(ApplyRegText(reg, del, kKeyWow64_64Key, &line), 0);
  EXPECT_FALSE(KeyExists(reg, kHkeyLocalMachine, u"Software\\Vendor", kKeyWow64_64Key));
  EXPECT_TRUE(KeyExists(reg, kHkeyLocalMachine, u"Software\\Vendor\\App", kKeyWow64_32Key));
  EXPECT_EQ(reg.OpenHandleCount(), 0u);
}

TEST(RegTextStore, LosslessRoundTripOfAWholeRegistry) {
  RegistryStore a(RegistryStore::Options{});
  Set(a, kHkeyCurrentUser, u"Software\\Odd", u"", kRegSz, Sz(std::u16string_view(u"def\0", 4)));
  Set(a, kHkeyCurrentUser, u"Software\\Odd", u"@", kRegSz, Sz(std::u16string_view(u"at\0", 3)));
  Set(a, kHkeyCurrentUser, u"Software\\Odd", u"odd", kRegSz, Bytes{'a', 0, 'b'});
  Set(a, kHkeyCurrentUser, u"Software\\Odd", u"noterm", kRegExpandSz, Sz(u"%x%"));
  Set(a, kHkeyCurrentUser, u"Software\\Odd", u"inner\0nul", kRegSz, Sz(std::u16string_view(u"a\0b\0", 4)));
  Set(a, kHkeyCurrentUser, u"Software\\Odd", u"lines\r\n\"q\"\\", kRegSz,
      Sz(std::u16string_view(u"1\r\n2\0", 5)));
  Set(a, kHkeyCurrentUser, u"Software\\Odd", u"dw3", kRegDword, Bytes{1, 2, 3});
  Set(a, kHkeyCurrentUser, u"Software\\Odd", u"big", 0x00abcdefu, Bytes(300, 0x5a));
  Set(a, kHkeyCurrentUser, u"Software\\Odd", u"none", kRegNone, Bytes{});
  Set(a, kHkeyCurrentUser, u"Software\\Odd\\a]b]", u"q", kRegQword, Bytes{1, 2, 3, 4, 5, 6, 7, 8});
  Set(a, kHkeyLocalMachine, u"Software\\Classes\\.txt", u"", kRegSz, Sz(std::u16string_view(u"txtfile\0", 8)));
  Set(a, kHkeyLocalMachine, u"System\\\u00e9t\u00e9 \u20ac", u"\u00e9", kRegMultiSz,
      Sz(std::u16string_view(u"x\0y\0\0", 5)));
  Set(a, kHkeyUsers, u".DEFAULT\\Control Panel", u"v", kRegBinary, Bytes{});
  Set(a, kHkeyCurrentConfig, u"Software", u"w", kRegDwordBigEndian, Bytes{0, 0, 0, 1});
  RegKey h = 0;
  ASSERT_EQ(a.Create(kHkeyCurrentUser, u"Software\\Empty\\Key", kKeyAllAccess, &h, nullptr), 0);
  a.Close(h);

  Text first;
  ASSERT_EQ(ExportAllRoots(a, 0, true, &first), 0);
  RegTextDocument doc;
  RegTextError error;
  Bytes file = EncodeRegFile(first);
  ASSERT_TRUE(Parse(file, &doc, &error)) << error.line << ": " << error.message;

  RegistryStore b(RegistryStore::Options{});
  int line = 0;
  ASSERT_EQ(ApplyRegText(b, doc, 0, &line), 0) << line;
  Text second;
  ASSERT_EQ(ExportAllRoots(b, 0, true, &second), 0);
  EXPECT_EQ(ToUtf8(first), ToUtf8(second));
  EXPECT_EQ(first, second);

  RegKey k = 0;
  ASSERT_EQ(b.Open(kHkeyCurrentUser, u"Software\\Odd", kKeyRead, &k), 0);
  RegValue v;
  ASSERT_EQ(b.QueryValue(k, u"odd", &v), 0);
  EXPECT_EQ(v.type, kRegSz);
  EXPECT_EQ(v.data, (Bytes{'a', 0, 'b'}));
  ASSERT_EQ(b.QueryValue(k, u"@", &v), 0);
  EXPECT_EQ(v.data, Sz(std::u16string_view(u"at\0", 3)));
  ASSERT_EQ(b.QueryValue(k, u"big", &v), 0);
  EXPECT_EQ(v.type, 0x00abcdefu);
  EXPECT_EQ(v.data, Bytes(300, 0x5a));
  ASSERT_EQ(b.QueryValue(k, u"lines\r\n\"q\"\\", &v), 0);
  EXPECT_EQ(v.data, Sz(std::u16string_view(u"1\r\n2\0", 5)));
  b.Close(k);
  EXPECT_TRUE(KeyExists(b, kHkeyCurrentUser, u"Software\\Empty\\Key"));
  EXPECT_EQ(a.OpenHandleCount(), 0u);
  EXPECT_EQ(b.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace hs
