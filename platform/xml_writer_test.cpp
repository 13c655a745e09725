// The text rules both XML writers share.
#include "platform/xml_writer.h"

#include <gtest/gtest.h>

namespace hs {
namespace {

using namespace std::string_literals;

TEST(XmlText, SafeTextReplacesWhatXmlCannotCarry) {
  Text controls;
  for (char16_t c = 0; c < 0x20; ++c) controls.push_back(c);
  const Text safe = XmlSafeText(controls);
  ASSERT_EQ(controls.size(), safe.size());
  for (char16_t c = 0; c < 0x20; ++c)
    EXPECT_EQ((c == u'\t' || c == u'\n' || c == u'\r') ? c : char16_t{0xFFFD}, safe[c]) << int(c);
  // Pairs stay; lone halves, reversed pairs and the non-characters do not.
  EXPECT_EQ(u"\xD800\xDC00\xFFFD\xFFFD"s, XmlSafeText(u"\xD800\xDC00\xFFFE\xFFFF"s));
  EXPECT_EQ(u"\xFFFD\xFFFD"s, XmlSafeText(u"\xDC00\xD800"s));
  EXPECT_EQ(u"x\xFFFD"s, XmlSafeText(u"x\xDBFF"s));
  EXPECT_EQ(u"\xFFFDx"s, XmlSafeText(u"\xDFFFx"s));
  EXPECT_EQ(u"\x20\xD7FF\xE000\xFFFD&<"s, XmlSafeText(u"\x20\xD7FF\xE000\xFFFD&<"s));
}

TEST(XmlText, NamesWhitespaceEscapesAndResults) {
  EXPECT_TRUE(IsXmlName(u"HSWscanlog"));
  EXPECT_TRUE(IsXmlName(u"_a-1.b"));
  EXPECT_FALSE(IsXmlName(u""));
  EXPECT_FALSE(IsXmlName(u"1a"));
  EXPECT_FALSE(IsXmlName(u"a b"));
  EXPECT_FALSE(IsXmlName(u"a:b"));
  EXPECT_TRUE(IsXmlWhitespace(u" \t\r\n"));
  EXPECT_FALSE(IsXmlWhitespace(u""));
  EXPECT_FALSE(IsXmlWhitespace(u"\n\xA0"));
  EXPECT_EQ(u"a&amp;&lt;&gt;&quot;'&#x9;&#xA;&#xD;", EscapeXmlAttribute(u"a&<>\"'\t\n\r"));
  EXPECT_EQ("80070003", HResultHex(HResultFromWin32(err::kPathNotFound)));
  EXPECT_EQ("8000ffff", HResultHex(kHrUnexpected));
  EXPECT_EQ("00000001", HResultHex(1));
  EXPECT_EQ(kHrOk, HResultFromWin32(err::kSuccess));
}

}  // namespace
}  // namespace hs
