// Win32 XML writer: the system's XmlLite writer ("xmllite.dll" from the
// system folder, looked up at run time) on a file stream
// (SHCreateStreamOnFileEx), UTF-8, indented.
//
// Set-up: a file that cannot be created is reported (kFileStream) and the
// writer is still made, without output, so that every write then fails with
// the system writer's own status; only when the writer itself cannot be
// created is there no writer.
//
// Attribute values: XmlLite on Windows escapes them, Wine's writes them
// verbatim. The factory finds out once which its writer does, by writing a
// probe attribute into memory, and escapes values itself only for a writer
// that does not (when the probe cannot run: only under Wine). Element text
// goes through WriteString, which escapes on both.
//
// Whitespace: Wine's writer refuses WriteWhitespace after an end tag; the
// adapter then writes the same characters with WriteString.
//
// Wine writes no byte-order mark before UTF-8; Windows does.
//
// Call with file-system redirection on (the user-interface thread): the
// library is loaded from the system folder.
#pragma once

#include <mutex>

#include "platform/xml_writer.h"

namespace hs {

class Win32XmlWriterFactory final : public XmlWriterFactory {
 public:
  XmlWriterOpen Create(TextView path) override;

 private:
  // Whether attribute values must be escaped before the system writer gets
  // them (probed once).
  bool MustEscapeAttributes(void* create_writer);

  std::mutex mu_;
  int escaping_ = -1;  // -1 not probed yet, else 0/1
};

}  // namespace hs
