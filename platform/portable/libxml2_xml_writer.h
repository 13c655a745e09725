// Portable XML writer: libxml2's text writer into memory, written to the file
// through the FileSystem port (WriteFileAtomic) by each Flush, so paths stay
// Windows paths. UTF-8 with a byte-order mark (as the system writer on
// Windows writes it), indented by two spaces.
//
// The set-up never fails on the file: a file that cannot be written fails
// Flush with HResultFromWin32 of the file system's error. libxml2's own
// failures answer kHrFail. `fs` must outlive the factory and its writers.
#pragma once

#include "platform/file_system.h"
#include "platform/xml_writer.h"

namespace hs {

class Libxml2XmlWriterFactory final : public XmlWriterFactory {
 public:
  explicit Libxml2XmlWriterFactory(FileSystem& fs);
  XmlWriterOpen Create(TextView path) override;

 private:
  FileSystem& fs_;
};

}  // namespace hs
