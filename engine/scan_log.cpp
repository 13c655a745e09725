#include "engine/scan_log.h"

#include <cstdio>
#include <string>

#include "engine/area_table.h"
#include "engine/scan_manager.h"

namespace hs {

namespace {

constexpr TextView kLineBreak = u"\n";

// Runs the writer steps, printing each failure and going on.
class Steps {
 public:
  Steps(XmlWriter* writer, const ConsoleLine& console) : w_(writer), console_(console) {}

  void Print(std::string_view prefix, HResult hr) {
    ++failed_;
    if (console_) console_(std::string(prefix) + ", error is " + HResultHex(hr));
  }
  void Check(std::string_view method, HResult hr) {
    if (Failed(hr)) Print("Error, Method: " + std::string(method), hr);
  }

  void StartDocument() { Check("WriteStartDocument", w_->WriteStartDocument()); }
  void Start(TextView name) { Check("WriteStartElement", w_->WriteStartElement(name)); }
  void Attribute(TextView name, TextView value) {
    Check("WriteAttributeString", w_->WriteAttributeString(name, value));
  }
  void String(TextView text) { Check("WriteString", w_->WriteString(text)); }
  void End() { Check("WriteFullEndElement", w_->WriteFullEndElement()); }
  void LineBreak() { Check("WriteWhitespace", w_->WriteWhitespace(kLineBreak)); }
  void EndDocument() { Check("WriteEndDocument", w_->WriteEndDocument()); }
  void Flush() { Check("Flush", w_->Flush()); }

  // <name>text</name>
  void Element(TextView name, TextView text) {
    Start(name);
    String(text);
    End();
  }

  int failed() const { return failed_; }

 private:
  XmlWriter* w_;
  const ConsoleLine& console_;
  int failed_ = 0;
};

std::string_view SetupMessage(XmlSetupStep step) {
  switch (step) {
    case XmlSetupStep::kFileStream: return "Error creating file writer";
    case XmlSetupStep::kWriter: return "Error creating xml writer";
    case XmlSetupStep::kSetOutput: return "Error, Method: SetOutput";
    case XmlSetupStep::kIndent: return "Error, Method: SetProperty XmlWriterProperty_Indent";
  }
  return "Error";
}

Text DescriptionKey(const AreaInfo& area) {
  TextView name = area.name_key;
  constexpr TextView kPrefix = u"IDS_";
  if (name.substr(0, kPrefix.size()) == kPrefix) name.remove_prefix(kPrefix.size());
  return u"IDS_DES_" + Text(name);
}

void WriteAreas(Steps& s, const ScanManager& manager, const StringLookup& strings) {
  for (const AreaInfo& area : kAreas) {
    const CCategory* category = manager.AreaByBit(area.bit);
    if (!category || category->Count() == 0) continue;
    s.Start(u"Scanning");
    s.Attribute(u"Section", strings(area.name_key));
    s.Element(u"Description", strings(DescriptionKey(area)));
    s.Element(u"ErrorsInThisSection", ErrorCountText(category->Count(), strings));
    s.LineBreak();
    for (const auto& p : category->problems()) {
      s.Start(u"EntryDetails");
      s.Element(u"Entry", p->Detail(0));
      s.LineBreak();
      s.Element(u"Details", ProblemDetailText(*p, strings));
      s.End();
      s.LineBreak();
    }
    s.End();
    s.LineBreak();
  }
}

}  // namespace

void PrintLineToStdout(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

Text ErrorCountText(std::size_t count, const StringLookup& strings) {
  return ToText(static_cast<std::int64_t>(count)) + u" " + strings(count == 1 ? u"IDS_ERROR" : u"IDS_ERRORS");
}

ScanLogResult ExportScanLog(const ScanManager& manager, const ScanLogInfo& info, const StringLookup& strings,
                            TextView data_folder, XmlWriterFactory& xml, ShellOpen& shell,
                            const ConsoleLine& console) {
  ScanLogResult result;
  Steps s(nullptr, console);
  if (data_folder.empty()) {
    s.Print(SetupMessage(XmlSetupStep::kFileStream), HResultFromWin32(err::kPathNotFound));
    result.failed_steps = s.failed();
    return result;
  }
  Text path(data_folder);
  if (path.back() != u'\\') path.push_back(u'\\');
  path += kScanLogFileName;

  {
    XmlWriterOpen open = xml.Create(path);
    for (const XmlSetupFailure& f : open.failures) s.Print(SetupMessage(f.step), f.hr);
    // Without a writer object there is nothing to write with; the file is
    // still opened below.
    if (open.writer) {
      Steps w(open.writer.get(), console);
      w.StartDocument();
      w.Start(u"HSWscanlog");
      w.Element(u"HSWVERSION", info.version);
      w.Element(u"ScanningDate", info.last_scan);
      w.Element(u"TotalErrorsFound", ToText(info.last_scan_results));
      w.LineBreak();
      WriteAreas(w, manager, strings);
      w.End();
      w.EndDocument();
      w.Flush();
      result.failed_steps += w.failed();
    }
    // The writer and the file are released here, before the viewer opens it.
  }
  result.failed_steps += s.failed();
  result.opened = shell.Open(path);
  return result;
}

}  // namespace hs
