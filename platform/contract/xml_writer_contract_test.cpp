// The XmlWriter contract, checked against the build's adapter: under Wine the
// system's XmlLite writer, natively the libxml2 one. Every document is read
// back and must be well-formed whatever the data held.
#include <gtest/gtest.h>

#include <string>

#include "platform/xml_writer.h"
#include "testing/scratch_fs.h"
#include "testing/xml_check.h"
#include "testing/xml_env.h"
#ifndef _WIN32
#include <libxml/parser.h>
#endif

namespace hs {
namespace {

using ::hs::testing::XmlDocument;
using ::hs::testing::XmlElement;

using namespace std::string_literals;

// Markup characters, quotes, tab and LF, control characters, NUL, unpaired
// surrogates, U+FFFF, and a valid pair (U+1F600).
const Text kHostile = u"a&b<c>d\"e'f&amp;\tg\nh\x01i\x1Fj\x0Bk\xD800l\xDC00m\xFFFFn\xD83D\xDE00o\0p"s;
// What a reader gets back: the characters XML cannot carry replaced.
const std::string kHostileRead =
    ToUtf8(u"a&b<c>d\"e'f&amp;\tg\nh\xFFFDi\xFFFDj\xFFFDk\xFFFDl\xFFFDm\xFFFDn\xD83D\xDE00o\xFFFDp"s);

// A reader folds tab and LF in attribute values to spaces unless the writer
// wrote them as references; the system writer on Windows may not.
std::string FoldBlanks(std::string s) {
  for (char& c : s)
    if (c == '\t' || c == '\n') c = ' ';
  return s;
}

class XmlWriterContract : public ::testing::Test {
 protected:
  XmlWriterContract() : xml_(::hs::testing::MakeContractXmlWriterFactory(scratch_.fs())) {}

  std::string Read(TextView path) {
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(err::kSuccess, scratch_.fs().ReadFile(path, 1 << 20, &bytes));
    return std::string(bytes.begin(), bytes.end());
  }
  // Parses a written file; fails the test when it is not well-formed.
  XmlDocument Parse(const std::string& bytes) {
    XmlDocument doc;
    const std::string error = ::hs::testing::ParseXml(bytes, &doc);
    EXPECT_EQ("", error) << bytes;
#ifndef _WIN32
    // A second opinion from a full parser.
    xmlDocPtr d = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), "x.xml", nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    EXPECT_NE(nullptr, d) << "libxml2 rejects: " << bytes;
    xmlFreeDoc(d);
#endif
    return doc;
  }

  ::hs::testing::ScratchFs scratch_{"hs_xml"};
  std::unique_ptr<XmlWriterFactory> xml_;
};

TEST_F(XmlWriterContract, HostileTextsComeOutWellFormedAndReadBack) {
  const Text path = scratch_.Path(u"out.xml");
  XmlWriterOpen open = xml_->Create(path);
  ASSERT_NE(nullptr, open.writer);
  EXPECT_TRUE(open.failures.empty());
  XmlWriter& w = *open.writer;
  EXPECT_EQ(kHrOk, w.WriteStartDocument());
  EXPECT_EQ(kHrOk, w.WriteStartElement(u"Root"));
  EXPECT_EQ(kHrOk, w.WriteAttributeString(u"Section", kHostile));
  EXPECT_EQ(kHrOk, w.WriteStartElement(u"Text"));
  EXPECT_EQ(kHrOk, w.WriteString(kHostile));
  EXPECT_EQ(kHrOk, w.WriteFullEndElement());
  EXPECT_EQ(kHrOk, w.WriteWhitespace(u"\n"));
  EXPECT_EQ(kHrOk, w.WriteStartElement(u"Outer"));
  EXPECT_EQ(kHrOk, w.WriteAttributeString(u"plain", u"x"));
  EXPECT_EQ(kHrOk, w.WriteStartElement(u"Empty"));
  EXPECT_EQ(kHrOk, w.WriteString(u""));
  EXPECT_EQ(kHrOk, w.WriteFullEndElement());
  EXPECT_EQ(kHrOk, w.WriteStartElement(u"Markup"));
  EXPECT_EQ(kHrOk, w.WriteString(u"</Outer><x a='1'/>]]>&lt;"));
  EXPECT_EQ(kHrOk, w.WriteFullEndElement());
  EXPECT_EQ(kHrOk, w.WriteFullEndElement());
  EXPECT_EQ(kHrOk, w.WriteWhitespace(u"\n"));
  EXPECT_EQ(kHrOk, w.WriteFullEndElement());
  EXPECT_EQ(kHrOk, w.WriteEndDocument());
  EXPECT_EQ(kHrOk, w.Flush());
  open.writer.reset();

  const std::string bytes = Read(path);
  const XmlDocument doc = Parse(bytes);
  EXPECT_NE(std::string::npos, doc.declaration.find("version=\"1.0\""));
  EXPECT_NE(std::string::npos, doc.declaration.find("UTF-8"));
  EXPECT_EQ(std::string::npos, doc.declaration.find("standalone"));
  EXPECT_EQ("Root", doc.root.name);
  ASSERT_NE(nullptr, doc.root.Attribute("Section"));
  EXPECT_EQ(FoldBlanks(kHostileRead), FoldBlanks(*doc.root.Attribute("Section")));
  EXPECT_EQ(kHostileRead, doc.root.ChildText("Text"));
  EXPECT_EQ((std::vector<std::string>{"Text", "Outer"}), doc.root.ChildNames());
  const XmlElement* outer = doc.root.Child("Outer");
  ASSERT_NE(nullptr, outer);
  EXPECT_EQ("", outer->ChildText("Empty"));
  EXPECT_EQ("</Outer><x a='1'/>]]>&lt;", outer->ChildText("Markup"));
  // Full end tags, never an empty-element tag; indented by two spaces.
  EXPECT_NE(std::string::npos, bytes.find("<Empty></Empty>")) << bytes;
  EXPECT_NE(std::string::npos, bytes.find("\n  <Text>")) << bytes;
}

TEST_F(XmlWriterContract, ReplacesAnExistingFile) {
  const Text path = scratch_.Path(u"out.xml");
  ASSERT_EQ(err::kSuccess, scratch_.fs().WriteFileAtomic(path, std::vector<std::uint8_t>(5000, 'x')));
  XmlWriterOpen open = xml_->Create(path);
  ASSERT_NE(nullptr, open.writer);
  EXPECT_EQ(kHrOk, open.writer->WriteStartDocument());
  EXPECT_EQ(kHrOk, open.writer->WriteStartElement(u"R"));
  EXPECT_EQ(kHrOk, open.writer->WriteEndDocument());
  EXPECT_EQ(kHrOk, open.writer->Flush());
  open.writer.reset();
  const std::string bytes = Read(path);
  EXPECT_LT(bytes.size(), 200u);
  EXPECT_EQ("R", Parse(bytes).root.name);
}

TEST_F(XmlWriterContract, BadNamesAndCallsFailWithoutSpoilingTheDocument) {
  const Text path = scratch_.Path(u"out.xml");
  XmlWriterOpen open = xml_->Create(path);
  ASSERT_NE(nullptr, open.writer);
  XmlWriter& w = *open.writer;
  EXPECT_EQ(kHrOk, w.WriteStartDocument());
  EXPECT_TRUE(Failed(w.WriteFullEndElement())) << "end without a start";
  EXPECT_EQ(kHrOk, w.WriteStartElement(u"R"));
  EXPECT_EQ(kHrInvalidArg, w.WriteStartElement(u"a b"));
  EXPECT_EQ(kHrInvalidArg, w.WriteStartElement(u"<x>"));
  EXPECT_EQ(kHrInvalidArg, w.WriteStartElement(u""));
  EXPECT_EQ(kHrInvalidArg, w.WriteAttributeString(u"a=\"1\" b", u"v"));
  EXPECT_EQ(kHrInvalidArg, w.WriteWhitespace(u" x"));
  EXPECT_EQ(kHrInvalidArg, w.WriteWhitespace(u""));
  EXPECT_EQ(kHrOk, w.WriteString(u"t"));
  EXPECT_EQ(kHrOk, w.WriteFullEndElement());
  EXPECT_EQ(kHrOk, w.WriteEndDocument());
  EXPECT_TRUE(Failed(w.WriteStartElement(u"Second"))) << "after the end of the document";
  EXPECT_TRUE(Failed(w.WriteString(u"late")));
  EXPECT_EQ(kHrOk, w.Flush());
  open.writer.reset();
  const XmlDocument doc = Parse(Read(path));
  EXPECT_EQ("R", doc.root.name);
  EXPECT_EQ("t", doc.root.text);
  EXPECT_TRUE(doc.root.children.empty());
}

TEST_F(XmlWriterContract, AFileThatCannotBeCreatedIsReported) {
  const Text path = scratch_.Path(u"no such folder\\out.xml");
  XmlWriterOpen open = xml_->Create(path);
  bool reported = false;
  for (const auto& f : open.failures) {
    EXPECT_TRUE(Failed(f.hr));
    reported |= f.step == XmlSetupStep::kFileStream;
  }
  if (open.writer) {
    const HResult start = open.writer->WriteStartDocument();
    if (!open.failures.empty()) {
      EXPECT_TRUE(Failed(start)) << "a writer without output writes nothing";
    }
    (void)open.writer->WriteStartElement(u"R");
    (void)open.writer->WriteEndDocument();
    reported |= Failed(open.writer->Flush());
  }
  EXPECT_TRUE(reported);
  EXPECT_FALSE(scratch_.fs().Exists(path));
}

// The reader the tests above rely on must not pass what is broken.
TEST(XmlCheck, RejectsWhatIsNotWellFormed) {
  XmlDocument doc;
  EXPECT_EQ("", ::hs::testing::ParseXml("\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<a x='&lt;&#x41;'>&amp;</a>\n", &doc));
  EXPECT_EQ("<A", *doc.root.Attribute("x"));
  for (const char* bad : {"<a>&</a>", "<a>&foo;</a>", "<a x=\"<\"/>", "<a x=\"\"\"/>", "<a x='1' x='2'/>",
                          "<a><b></a></b>", "<a></a><b/>", "<a>\x01</a>", "<a>&#1;</a>", "<a>\xC0\x80</a>",
                          "<a>]]></a>", "<a>", "<a x=1/>"})
    EXPECT_NE("", ::hs::testing::ParseXml(bad, &doc)) << bad;
}

}  // namespace
}  // namespace hs
