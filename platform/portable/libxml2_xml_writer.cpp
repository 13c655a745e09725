#include "platform/portable/libxml2_xml_writer.h"

#include <libxml/parser.h>
#include <libxml/xmlwriter.h>

#include <exception>
#include <new>
#include <string>

namespace hs {

namespace {

const xmlChar* X(const std::string& s) { return reinterpret_cast<const xmlChar*>(s.c_str()); }

HResult FromLibxml(int rc) { return rc < 0 ? kHrFail : kHrOk; }

class Libxml2XmlWriter final : public XmlWriter {
 public:
  Libxml2XmlWriter(FileSystem& fs, Text path, xmlBufferPtr buffer, xmlTextWriterPtr writer)
      : fs_(fs), path_(std::move(path)), buffer_(buffer), writer_(writer) {}
  ~Libxml2XmlWriter() override {
    xmlFreeTextWriter(writer_);
    xmlBufferFree(buffer_);
  }
  Libxml2XmlWriter(const Libxml2XmlWriter&) = delete;
  Libxml2XmlWriter& operator=(const Libxml2XmlWriter&) = delete;

  HResult WriteStartDocument() override {
    if (started_) return kHrUnexpected;
    started_ = true;
    // Version 1.0 and no standalone declaration.
    return FromLibxml(xmlTextWriterStartDocument(writer_, nullptr, "UTF-8", nullptr));
  }

  HResult WriteStartElement(TextView name) override {
    if (!IsXmlName(name)) return kHrInvalidArg;
    if (ended_ || (depth_ == 0 && root_seen_)) return kHrUnexpected;  // one root element only
    return Guard([&] {
      const HResult hr = FromLibxml(xmlTextWriterStartElement(writer_, X(ToUtf8(name))));
      if (!Failed(hr)) {
        started_ = root_seen_ = true;
        ++depth_;
      }
      return hr;
    });
  }

  HResult WriteAttributeString(TextView name, TextView value) override {
    if (!IsXmlName(name)) return kHrInvalidArg;
    return Guard([&] {
      return FromLibxml(xmlTextWriterWriteAttribute(writer_, X(ToUtf8(name)), X(ToUtf8(XmlSafeText(value)))));
    });
  }

  HResult WriteString(TextView text) override {
    if (depth_ == 0) return kHrUnexpected;  // text outside the root element
    return Guard([&] { return FromLibxml(xmlTextWriterWriteString(writer_, X(ToUtf8(XmlSafeText(text))))); });
  }

  HResult WriteFullEndElement() override {
    if (depth_ == 0) return kHrUnexpected;
    const HResult hr = FromLibxml(xmlTextWriterFullEndElement(writer_));
    if (!Failed(hr)) --depth_;
    return hr;
  }

  HResult WriteWhitespace(TextView whitespace) override {
    if (!IsXmlWhitespace(whitespace)) return kHrInvalidArg;
    if (ended_) return kHrUnexpected;
    return Guard([&] { return FromLibxml(xmlTextWriterWriteRaw(writer_, X(ToUtf8(whitespace)))); });
  }

  HResult WriteEndDocument() override {
    if (ended_ || !started_) return kHrUnexpected;
    ended_ = true;
    depth_ = 0;
    return FromLibxml(xmlTextWriterEndDocument(writer_));
  }

  HResult Flush() override {
    if (xmlTextWriterFlush(writer_) < 0) return kHrFail;
    return Guard([&] {
      static constexpr std::uint8_t kBom[] = {0xEF, 0xBB, 0xBF};
      const auto* content = reinterpret_cast<const std::uint8_t*>(xmlBufferContent(buffer_));
      const int size = xmlBufferLength(buffer_);
      std::vector<std::uint8_t> bytes(std::begin(kBom), std::end(kBom));
      if (content && size > 0) bytes.insert(bytes.end(), content, content + size);
      return HResultFromWin32(fs_.WriteFileAtomic(path_, bytes));
    });
  }

 private:
  template <typename F>
  static HResult Guard(F&& f) {
    try {
      return f();
    } catch (const std::exception&) {
      return kHrOutOfMemory;
    }
  }

  FileSystem& fs_;
  Text path_;
  xmlBufferPtr buffer_;
  xmlTextWriterPtr writer_;
  int depth_ = 0;
  bool started_ = false;
  bool root_seen_ = false;
  bool ended_ = false;
};

}  // namespace

Libxml2XmlWriterFactory::Libxml2XmlWriterFactory(FileSystem& fs) : fs_(fs) {
  static const bool initialised = [] {
    xmlInitParser();
    return true;
  }();
  (void)initialised;
}

XmlWriterOpen Libxml2XmlWriterFactory::Create(TextView path) {
  XmlWriterOpen out;
  try {
    out.failures.reserve(4);
    Text file(path);
    xmlBufferPtr buffer = xmlBufferCreate();
    xmlTextWriterPtr writer = buffer ? xmlNewTextWriterMemory(buffer, 0) : nullptr;
    auto* owner = writer ? new (std::nothrow) Libxml2XmlWriter(fs_, std::move(file), buffer, writer) : nullptr;
    if (!owner) {
      if (writer) xmlFreeTextWriter(writer);
      if (buffer) xmlBufferFree(buffer);
      out.failures.push_back({XmlSetupStep::kWriter, kHrOutOfMemory});
      return out;
    }
    out.writer.reset(owner);
    if (xmlTextWriterSetIndent(writer, 1) < 0 || xmlTextWriterSetIndentString(writer, X("  ")) < 0)
      out.failures.push_back({XmlSetupStep::kIndent, kHrFail});
  } catch (const std::exception&) {
    out.failures.clear();
    out.failures.shrink_to_fit();
    try {
      out.failures.push_back({XmlSetupStep::kWriter, kHrOutOfMemory});
    } catch (const std::exception&) {
    }
  }
  return out;
}

}  // namespace hs
