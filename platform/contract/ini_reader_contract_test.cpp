// The IniReader contract, checked against the platform's adapter: under Wine
// the real GetPrivateProfileStringW, natively the portable reader. Both run
// the same cases over files in a fresh temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/ini_reader.h"
#include "testing/test_env.h"

namespace hs {
namespace {

namespace stdfs = std::filesystem;

std::string Utf16le(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

std::string Utf16be(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) {
    out.push_back(static_cast<char>(c >> 8));
    out.push_back(static_cast<char>(c & 0xFF));
  }
  return out;
}

class IniReaderContract : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = stdfs::temp_directory_path() / ToUtf8(::hs::testing::UniqueName("hs_ini"));
    stdfs::create_directories(host_);
    fs_ = ::hs::testing::MakeContractFileSystem(host_, &root_);
    ini_ = ::hs::testing::MakeContractIniReader(*fs_);
  }
  void TearDown() override {
    ini_.reset();
    std::error_code ec;
    stdfs::remove_all(host_, ec);
  }

  // Writes a file (raw bytes) and answers its Windows path.
  Text Put(const std::string& name, const std::string& bytes) {
    std::ofstream out(host_ / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    EXPECT_TRUE(out) << name;
    return P(name);
  }
  Text P(const std::string& name) const { return root_ + u"\\" + FromUtf8(name); }

  Text Read(TextView path, TextView section, TextView key, TextView def = u"", std::size_t capacity = 4096) {
    return ini_->ReadString(path, section, key, def, capacity);
  }

  stdfs::path host_;
  Text root_;
  std::unique_ptr<FileSystem> fs_;
  std::unique_ptr<IniReader> ini_;
};

TEST_F(IniReaderContract, NamesMatchWithoutCaseAndBlanksAreTrimmed) {
  Text f = Put("a.ini",
               "[Sec]\r\n a = 1 \r\n\tb\t=\t two  words \t\r\nc=v\x1a\r\nd=\x0bv\x0c\r\n"
               "  [  Inner  ]  \r\nk=inner\r\n");
  EXPECT_EQ(u"1", Read(f, u"Sec", u"a"));
  EXPECT_EQ(u"1", Read(f, u"SEC", u" A "));
  EXPECT_EQ(u"two  words", Read(f, u"sec", u"B"));
  EXPECT_EQ(u"v", Read(f, u"Sec", u"c")) << "Ctrl-Z counts as a blank";
  EXPECT_EQ(u"v", Read(f, u"Sec", u"d"));
  EXPECT_EQ(u"inner", Read(f, u"inner", u"k"));
  EXPECT_EQ(u"inner", Read(f, u" Inner ", u"k"));
}

TEST_F(IniReaderContract, MissingGivesTheDefaultButEmptyIsEmpty) {
  Text f = Put("a.ini", "[S]\r\nempty=\r\nnovalue\r\nx=a=b\r\n");
  EXPECT_EQ(u"", Read(f, u"S", u"empty", u"DEF"));
  EXPECT_EQ(u"DEF", Read(f, u"S", u"novalue", u"DEF")) << "a line without '=' is no value";
  EXPECT_EQ(u"a=b", Read(f, u"S", u"x"));
  EXPECT_EQ(u"  lead", Read(f, u"S", u"missing", u"  lead  ")) << "only trailing spaces of the default go";
  EXPECT_EQ(u"DEF", Read(f, u"Nope", u"x", u"DEF"));
  EXPECT_EQ(u"DEF", Read(P("absent.ini"), u"S", u"x", u"DEF"));
  EXPECT_EQ(u"DEF", Read(P("nodir\\absent.ini"), u"S", u"x", u"DEF"));
  EXPECT_EQ(u"DEF", Read(root_, u"S", u"x", u"DEF")) << "a folder";
  EXPECT_EQ(u"DEF", Read(u"relative.ini", u"S", u"x", u"DEF"));
  EXPECT_EQ(u"DEF", Read(Put("e.ini", ""), u"S", u"x", u"DEF"));
  EXPECT_EQ(u"DEF", Read(Put("bom.ini", "\xFF\xFE"), u"S", u"x", u"DEF"));
}

TEST_F(IniReaderContract, FirstSectionAndFirstKeyOfANameWin) {
  Text f = Put("a.ini", "[A]\r\nk=first\r\nK=second\r\n[B]\r\nb=1\r\n[a]\r\nk=later\r\nonlylater=x\r\n");
  EXPECT_EQ(u"first", Read(f, u"A", u"k"));
  EXPECT_EQ(u"D", Read(f, u"A", u"onlylater", u"D")) << "a repeated section is never searched";
  EXPECT_EQ(u"1", Read(f, u"b", u"B"));
}

TEST_F(IniReaderContract, SectionHeadersAndLinesOutsideSections) {
  Text f = Put("a.ini",
               "lead=before\r\n;c=comment\r\n[Other] trailing\r\nk=other\r\n[Br]acket]\r\nk=br\r\n"
               "[NoClose\r\nn=in-br\r\n");
  EXPECT_EQ(u"before", Read(f, u"", u"lead"));
  EXPECT_EQ(u"comment", Read(f, u"", u";c")) << "no comments: a key named ;c";
  EXPECT_EQ(u"D", Read(f, u"", u"c", u"D"));
  EXPECT_EQ(u"other", Read(f, u"Other", u"k"));
  EXPECT_EQ(u"br", Read(f, u"Br]acket", u"k")) << "the name runs to the last ']'";
  EXPECT_EQ(u"D", Read(f, u"NoClose", u"n", u"D"));
  EXPECT_EQ(u"in-br", Read(f, u"Br]acket", u"n")) << "'[' without ']' is a key line";
}

TEST_F(IniReaderContract, MatchingQuotesAreRemoved) {
  Text f = Put("a.ini",
               "[S]\r\nq1=\"quoted\"\r\nq2=\"open\r\nq3='single'\r\nq4=\"\r\nq5=\"\"\r\nq6=\"mixed'\r\n"
               "q7=  \"  word\r\n k = \"  inner  \" \r\nt=\t\"\tx\t\"\t\r\n");
  EXPECT_EQ(u"quoted", Read(f, u"S", u"q1"));
  EXPECT_EQ(u"\"open", Read(f, u"S", u"q2"));
  EXPECT_EQ(u"single", Read(f, u"S", u"q3"));
  EXPECT_EQ(u"\"", Read(f, u"S", u"q4"));
  EXPECT_EQ(u"", Read(f, u"S", u"q5", u"D"));
  EXPECT_EQ(u"\"mixed'", Read(f, u"S", u"q6"));
  EXPECT_EQ(u"\"  word", Read(f, u"S", u"q7"));
  EXPECT_EQ(u"  inner  ", Read(f, u"S", u"k"));
  EXPECT_EQ(u"\tx\t", Read(f, u"S", u"t"));
}

TEST_F(IniReaderContract, CapacityCountsTheTerminator) {
  Text f = Put("a.ini", "[S]\r\nlong=abcdefghij\r\n");
  EXPECT_EQ(u"abcd", Read(f, u"S", u"long", u"", 5));
  EXPECT_EQ(u"abcdefghij", Read(f, u"S", u"long", u"", 11));
  EXPECT_EQ(u"", Read(f, u"S", u"long", u"", 1));
  EXPECT_EQ(u"", Read(f, u"S", u"long", u"", 0));
  EXPECT_EQ(u"defa", Read(f, u"S", u"missing", u"defaultlong", 5));
}

TEST_F(IniReaderContract, LinesEndAtCrOrLf) {
  Text f = Put("a.ini", "[S]\ra=1\nb=2\rc=3\n\n\r\rd=4");
  EXPECT_EQ(u"1", Read(f, u"S", u"a"));
  EXPECT_EQ(u"2", Read(f, u"S", u"b"));
  EXPECT_EQ(u"3", Read(f, u"S", u"c"));
  EXPECT_EQ(u"4", Read(f, u"S", u"d")) << "no final line break";
}

TEST_F(IniReaderContract, EncodingsByByteOrderMark) {
  const std::u16string body = u"[S]\r\nk=\u00e9\u4e2d\U0001F600 end\r\n";
  const Text want = u"\u00e9\u4e2d\U0001F600 end";
  EXPECT_EQ(want, Read(Put("le.ini", "\xFF\xFE" + Utf16le(body)), u"S", u"k"));
  EXPECT_EQ(want, Read(Put("odd.ini", "\xFF\xFE" + Utf16le(body) + "x"), u"S", u"k")) << "odd last byte";
  EXPECT_EQ(want, Read(Put("be.ini", "\xFE\xFF" + Utf16be(body)), u"S", u"k"));
  EXPECT_EQ(want, Read(Put("u8.ini", "\xEF\xBB\xBF" + ToUtf8(body)), u"S", u"k"));
  EXPECT_EQ(u"a\uFFFD(b", Read(Put("bad8.ini", "\xEF\xBB\xBF[S]\r\nk=a\xC3(b\r\n"), u"S", u"k"));
  EXPECT_EQ(u"D", Read(Put("nobom16.ini", Utf16le(body)), u"S", u"k", u"D")) << "UTF-16 needs its BOM";
  // Without a BOM the ANSI code page (1252, as in the Wine test prefix):
  // UTF-8 text turns into its single-byte reading.
  EXPECT_EQ(u"caf\u00c3\u00a9", Read(Put("ansi.ini", "[S]\r\nk=caf\xC3\xA9\r\n"), u"S", u"k"));
  EXPECT_EQ(u"\u20ac\u0081\u0178\u00a0\u00ff", Read(Put("cp.ini", "[S]\r\nk=\x80\x81\x9f\xa0\xff\r\n"), u"S", u"k"));
}

TEST_F(IniReaderContract, OnlyAsciiBlanksAreTrimmed) {
  Text f = Put("w.ini", "\xFF\xFE" + Utf16le(u"[S]\r\nk1=\u00a0val\u3000\r\nk2=\u2028x\u0085\r\n\u3000[T]\r\nt=1\r\n"));
  EXPECT_EQ(u"\u00a0val\u3000", Read(f, u"S", u"k1"));
  EXPECT_EQ(u"\u2028x\u0085", Read(f, u"S", u"k2"));
  EXPECT_EQ(u"D", Read(f, u"T", u"t", u"D")) << "not a section header";
}

TEST_F(IniReaderContract, LoneSurrogatesAndCutPairsPassThrough) {
  const std::string lone("\x00\xD8", 2);  // U+D800 alone
  Text f = Put("s.ini", "\xFF\xFE" + Utf16le(u"[S]\r\nk=a") + lone + Utf16le(u"b\r\np=a\U0001F600\r\n"));
  EXPECT_EQ(Text(u"a") + char16_t(0xD800) + u"b", Read(f, u"S", u"k"));
  EXPECT_EQ(Text(u"a") + char16_t(0xD83D), Read(f, u"S", u"p", u"", 3));
}

TEST_F(IniReaderContract, NulEndsValuesAndNames) {
  Text f = Put("n.ini", std::string("[S]\r\na=x\0y\r\nb=2\r\n", 17));
  EXPECT_EQ(u"x", Read(f, u"S", u"a"));
  EXPECT_EQ(u"2", Read(f, u"S", u"b"));
  EXPECT_EQ(u"2", Read(f, Text(u"S\0junk", 6), Text(u"b\0junk", 6)));
}

TEST_F(IniReaderContract, ARewrittenFileIsReadAgain) {
  Text f = Put("r.ini", "[S]\r\nk=old\r\n");
  EXPECT_EQ(u"old", Read(f, u"S", u"k"));
  Put("r.ini", "[S]\r\nk=newer\r\n");
  EXPECT_EQ(u"newer", Read(f, u"S", u"k"));
  std::error_code ec;
  stdfs::remove(host_ / "r.ini", ec);
  EXPECT_EQ(u"D", Read(f, u"S", u"k", u"D"));
}

TEST_F(IniReaderContract, NonAsciiNamesMatchWithoutCase) {
  Text f = Put("u.ini", "\xFF\xFE" + Utf16le(u"[\u00c9t\u00e9]\r\n\u00c4k=lat\r\n\u0416=cyr\r\n"));
  EXPECT_EQ(u"lat", Read(f, u"\u00c9t\u00e9", u"\u00c4k"));
  if (::hs::testing::RunningOnWine()) {
    // Wine folds ASCII letters only; Windows and the portable reader fold
    // the others too.
    EXPECT_EQ(u"D", Read(f, u"\u00e9T\u00c9", u"\u00e4K", u"D"));
  } else {
    EXPECT_EQ(u"lat", Read(f, u"\u00e9T\u00c9", u"\u00e4K"));
    EXPECT_EQ(u"cyr", Read(f, u"\u00e9t\u00e9", u"\u0436"));
  }
}

}  // namespace
}  // namespace hs
