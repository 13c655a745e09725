// The scan log: the writer calls in order, the failure lines, and the file the
// build's real writer makes, read back.
#include "engine/scan_log.h"

#include <gtest/gtest.h>

#include <map>

#include "engine/scan_manager.h"
#include "platform/recording_shell_open.h"
#include "testing/scan_fixture.h"
#include "testing/scratch_fs.h"
#include "testing/xml_check.h"
#include "testing/xml_env.h"

namespace hs {
namespace {

using ::hs::testing::MakePlain;

using namespace std::string_literals;
using ::hs::testing::ScanFixture;
using ::hs::testing::XmlDocument;
using ::hs::testing::XmlElement;

// Records every writer call as a short string; answers the configured
// failures.
class RecordingXml final : public XmlWriterFactory {
 public:
  XmlWriterOpen Create(TextView path) override {
    created.emplace_back(path);
    XmlWriterOpen out;
    out.failures = setup_failures;
    if (!no_writer) out.writer = std::make_unique<Writer>(*this);
    return out;
  }

  std::vector<Text> created;
  std::vector<std::string> calls;
  std::vector<XmlSetupFailure> setup_failures;
  bool no_writer = false;
  std::map<std::string, HResult> fail;  // by method name

 private:
  class Writer final : public XmlWriter {
   public:
    explicit Writer(RecordingXml& x) : x_(x) {}
    HResult WriteStartDocument() override { return R("WriteStartDocument", "doc"); }
    HResult WriteStartElement(TextView n) override { return R("WriteStartElement", "<" + ToUtf8(n)); }
    HResult WriteAttributeString(TextView n, TextView v) override {
      return R("WriteAttributeString", "@" + ToUtf8(n) + "=" + ToUtf8(v));
    }
    HResult WriteString(TextView t) override { return R("WriteString", "'" + ToUtf8(t) + "'"); }
    HResult WriteFullEndElement() override { return R("WriteFullEndElement", ">"); }
    HResult WriteWhitespace(TextView w) override { return R("WriteWhitespace", w == u"\n" ? "LF" : "?"); }
    HResult WriteEndDocument() override { return R("WriteEndDocument", "enddoc"); }
    HResult Flush() override { return R("Flush", "flush"); }

   private:
    HResult R(const std::string& method, std::string call) {
      x_.calls.push_back(std::move(call));
      auto it = x_.fail.find(method);
      return it == x_.fail.end() ? kHrOk : it->second;
    }
    RecordingXml& x_;
  };
};

// Area names and descriptions as "<key>"; the problem detail formats of the
// types used here show their arguments.
Text Strings(TextView key) {
  if (key == u"IDS_PROBLEM_DETAIL_3") return u"Key %s holds %s";        // type 2: key, value data
  if (key == u"IDS_PROBLEM_DETAIL_24") return u"Value %s of %s: %s";    // type 23: name, key, data
  if (key == u"IDS_ERROR") return u"error";
  if (key == u"IDS_ERRORS") return u"errors";
  return u"<" + Text(key) + u">";
}

class ScanLog : public ::testing::Test {
 protected:
  ScanLog() : fx_(MachineFacts{}, MakePlain) {
    info_.version = u"2.1.0.4";
    info_.last_scan = u"Mon. March 02, 2026. 10:15 AM";
    info_.last_scan_results = 3;
  }

  CProblem& Add(std::uint32_t bit, int type, TextView key, TextView name, TextView data, std::vector<Text> details) {
    auto p = std::make_unique<CProblem>();
    p->entry_type = type;
    p->key = Text(key);
    p->value_name = Text(name);
    p->value_data = Text(data);
    p->details = std::move(details);
    auto& list = fx_.manager->AreaByBit(bit)->problems();
    list.push_back(std::move(p));
    return *list.back();
  }
  // ActiveX (0x0001) with one problem, fonts (0x0008) with two, application
  // paths (0x0002) and sounds (0x0200) empty, the rest not created.
  void ThreeProblems() {
    fx_.manager->CreateAreas(0x0001 | 0x0002 | 0x0008 | 0x0200, 4);
    Add(0x0001, 2, u"HKEY_CLASSES_ROOT\\CLSID\\{x}", u"", u"C:\\gone.dll", {u"CLSID {x}"});
    Add(0x0008, 23, u"HKEY_LOCAL_MACHINE\\Fonts", u"Arial", u"arial.ttf", {u"Arial"});
    Add(0x0008, 2, u"HKEY_LOCAL_MACHINE\\Fonts\\B", u"", u"b.ttf", {u"B"});
  }
  ScanLogResult Export(XmlWriterFactory& xml, TextView folder = u"C:\\Data") {
    return ExportScanLog(*fx_.manager, info_, Strings, folder, xml, shell_, [this](std::string_view line) {
      printed_.emplace_back(line);
    });
  }

  ScanFixture fx_;
  ScanLogInfo info_;
  RecordingShellOpen shell_;
  std::vector<std::string> printed_;
};

TEST_F(ScanLog, WritesTheElementsInOrderAndLeavesEmptyAreasOut) {
  ThreeProblems();
  RecordingXml xml;
  const ScanLogResult r = Export(xml);
  EXPECT_EQ(std::vector<Text>{u"C:\\Data\\HSWscanlog.xml"}, xml.created);
  const std::vector<std::string> expected = {
      "doc", "<HSWscanlog",
      "<HSWVERSION", "'2.1.0.4'", ">",
      "<ScanningDate", "'Mon. March 02, 2026. 10:15 AM'", ">",
      "<TotalErrorsFound", "'3'", ">", "LF",
      "<Scanning", "@Section=<IDS_ACTIVEX_COM>",
        "<Description", "'<IDS_DES_ACTIVEX_COM>'", ">",
        "<ErrorsInThisSection", "'1 error'", ">", "LF",
        "<EntryDetails",
          "<Entry", "'CLSID {x}'", ">", "LF",
          "<Details", "'Key HKEY_CLASSES_ROOT\\CLSID\\{x} holds C:\\gone.dll'", ">",
        ">", "LF",
      ">", "LF",
      "<Scanning", "@Section=<IDS_FONTS>",
        "<Description", "'<IDS_DES_FONTS>'", ">",
        "<ErrorsInThisSection", "'2 errors'", ">", "LF",
        "<EntryDetails",
          "<Entry", "'Arial'", ">", "LF",
          "<Details", "'Value Arial of HKEY_LOCAL_MACHINE\\Fonts: arial.ttf'", ">",
        ">", "LF",
        "<EntryDetails",
          "<Entry", "'B'", ">", "LF",
          "<Details", "'Key HKEY_LOCAL_MACHINE\\Fonts\\B holds b.ttf'", ">",
        ">", "LF",
      ">", "LF",
      ">", "enddoc", "flush"};
  EXPECT_EQ(expected, xml.calls);
  EXPECT_TRUE(printed_.empty());
  EXPECT_EQ(0, r.failed_steps);
  EXPECT_TRUE(r.opened);
  EXPECT_EQ(std::vector<Text>{u"C:\\Data\\HSWscanlog.xml"}, shell_.opened);
}

TEST_F(ScanLog, FailingStepsArePrintedAndTheExportGoesOn) {
  ThreeProblems();
  RecordingXml xml;
  xml.setup_failures = {{XmlSetupStep::kSetOutput, static_cast<HResult>(0x80070005)},
                        {XmlSetupStep::kIndent, kHrInvalidArg}};
  xml.fail = {{"WriteStartDocument", kHrUnexpected},   {"WriteAttributeString", kHrFail},
              {"WriteWhitespace", static_cast<HResult>(0xC00CEF0B)}, {"WriteEndDocument", kHrFail},
              {"Flush", static_cast<HResult>(0x80070070)}};
  shell_.answer = false;
  const ScanLogResult r = Export(xml);
  std::vector<std::string> expected = {
      "Error, Method: SetOutput, error is 80070005",
      "Error, Method: SetProperty XmlWriterProperty_Indent, error is 80070057",
      "Error, Method: WriteStartDocument, error is 8000ffff",
      "Error, Method: WriteWhitespace, error is c00cef0b",
      "Error, Method: WriteAttributeString, error is 80004005"};
  for (int i = 0; i < 4; ++i) expected.push_back("Error, Method: WriteWhitespace, error is c00cef0b");
  expected.push_back("Error, Method: WriteAttributeString, error is 80004005");
  for (int i = 0; i < 6; ++i) expected.push_back("Error, Method: WriteWhitespace, error is c00cef0b");
  expected.push_back("Error, Method: WriteEndDocument, error is 80004005");
  expected.push_back("Error, Method: Flush, error is 80070070");
  EXPECT_EQ(expected, printed_);
  EXPECT_EQ(static_cast<int>(expected.size()), r.failed_steps);
  EXPECT_EQ("flush", xml.calls.back()) << "every step still runs";
  EXPECT_EQ(1u, shell_.opened.size()) << "the file is opened anyway";
  EXPECT_FALSE(r.opened);

  // Without a writer object nothing is written, and the file is still opened.
  RecordingXml none;
  none.no_writer = true;
  none.setup_failures = {{XmlSetupStep::kFileStream, static_cast<HResult>(0x80070005)},
                         {XmlSetupStep::kWriter, static_cast<HResult>(0x8007007E)}};
  printed_.clear();
  shell_.answer = true;
  EXPECT_TRUE(Export(none).opened);
  EXPECT_EQ((std::vector<std::string>{"Error creating file writer, error is 80070005",
                                      "Error creating xml writer, error is 8007007e"}),
            printed_);
  EXPECT_EQ(2u, shell_.opened.size());

  // No data folder: nothing is created or opened in the current directory.
  RecordingXml unused;
  printed_.clear();
  EXPECT_EQ(1, Export(unused, u"").failed_steps);
  EXPECT_TRUE(unused.created.empty());
  EXPECT_EQ(2u, shell_.opened.size());
  EXPECT_EQ(std::vector<std::string>{"Error creating file writer, error is 80070003"}, printed_);
}

TEST_F(ScanLog, TheRealWriterMakesAWellFormedFileThatReadsBack) {
  ::hs::testing::ScratchFs scratch("hs_scanlog");
  auto xml = ::hs::testing::MakeContractXmlWriterFactory(scratch.fs());
  fx_.manager->CreateAreas(0x0001 | 0x0004 | 0x2000, 3);
  const Text hostile = u"a&b<c>d\"e'f]]>g\x01h\x1Fi\xD800j\0k"s;
  const std::string hostile_read = ToUtf8(u"a&b<c>d\"e'f]]>g\xFFFDh\xFFFDi\xFFFDj\xFFFDk"s);
  Add(0x0001, 2, u"HKEY_CLASSES_ROOT\\" + hostile, u"", u"C:\\x.dll", {hostile});
  Add(0x2000, 23, u"HKEY_CURRENT_USER\\K", u"N", u"D", {u"first"});
  Add(0x2000, 23, u"HKEY_CURRENT_USER\\K", u"N2", u"D2", {});
  info_.version = hostile;
  const StringLookup strings = [&](TextView key) {
    if (key == u"IDS_CURRENTUSER") return u"Current user & <\"others\">"s;
    return Strings(key);
  };
  const ScanLogResult r = ExportScanLog(*fx_.manager, info_, strings, scratch.root(), *xml, shell_,
                                        [this](std::string_view line) { printed_.emplace_back(line); });
  EXPECT_EQ(0, r.failed_steps);
  EXPECT_TRUE(printed_.empty()) << printed_.front();
  const Text path = scratch.Path(u"HSWscanlog.xml");
  EXPECT_EQ(std::vector<Text>{path}, shell_.opened);

  std::vector<std::uint8_t> bytes;
  ASSERT_EQ(err::kSuccess, scratch.fs().ReadFile(path, 1 << 20, &bytes));
  XmlDocument doc;
  const std::string text(bytes.begin(), bytes.end());
  ASSERT_EQ("", ::hs::testing::ParseXml(text, &doc)) << text;
  EXPECT_EQ(std::string::npos, doc.declaration.find("standalone"));
  const XmlElement& root = doc.root;
  EXPECT_EQ("HSWscanlog", root.name);
  EXPECT_EQ((std::vector<std::string>{"HSWVERSION", "ScanningDate", "TotalErrorsFound", "Scanning", "Scanning"}),
            root.ChildNames());
  EXPECT_EQ(hostile_read, root.ChildText("HSWVERSION"));
  EXPECT_EQ("Mon. March 02, 2026. 10:15 AM", root.ChildText("ScanningDate"));
  EXPECT_EQ("3", root.ChildText("TotalErrorsFound"));

  const XmlElement& activex = root.children[3];
  ASSERT_NE(nullptr, activex.Attribute("Section"));
  EXPECT_EQ("<IDS_ACTIVEX_COM>", *activex.Attribute("Section"));
  EXPECT_EQ((std::vector<std::string>{"Description", "ErrorsInThisSection", "EntryDetails"}), activex.ChildNames());
  EXPECT_EQ("<IDS_DES_ACTIVEX_COM>", activex.ChildText("Description"));
  EXPECT_EQ("1 error", activex.ChildText("ErrorsInThisSection"));
  const XmlElement& entry = activex.children[2];
  EXPECT_EQ((std::vector<std::string>{"Entry", "Details"}), entry.ChildNames());
  EXPECT_EQ(hostile_read, entry.ChildText("Entry"));
  EXPECT_EQ("Key HKEY_CLASSES_ROOT\\" + hostile_read + " holds C:\\x.dll", entry.ChildText("Details"));

  const XmlElement& user = root.children[4];
  ASSERT_NE(nullptr, user.Attribute("Section"));
  EXPECT_EQ("Current user & <\"others\">", *user.Attribute("Section"));
  EXPECT_EQ("<IDS_DES_CURRENTUSER>", user.ChildText("Description"));
  EXPECT_EQ("2 errors", user.ChildText("ErrorsInThisSection"));
  ASSERT_EQ((std::vector<std::string>{"Description", "ErrorsInThisSection", "EntryDetails", "EntryDetails"}),
            user.ChildNames());
  EXPECT_EQ("first", user.children[2].ChildText("Entry"));
  EXPECT_EQ("", user.children[3].ChildText("Entry")) << "a problem without details";
  EXPECT_EQ("Value N2 of HKEY_CURRENT_USER\\K: D2", user.children[3].ChildText("Details"));
}

}  // namespace
}  // namespace hs
