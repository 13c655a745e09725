// The XML writer of the build: the XmlLite one in the win32 build (which
// writes files itself), the libxml2 one natively (through `fs`, which must
// outlive it).
#pragma once

#include <memory>

#include "platform/file_system.h"
#include "platform/xml_writer.h"
#ifdef _WIN32
#include "platform/win32/win32_xml_writer.h"
#else
#include "platform/portable/libxml2_xml_writer.h"
#endif

namespace hs::testing {

inline std::unique_ptr<XmlWriterFactory> MakeContractXmlWriterFactory([[maybe_unused]] FileSystem& fs) {
#ifdef _WIN32
  return std::make_unique<Win32XmlWriterFactory>();
#else
  return std::make_unique<Libxml2XmlWriterFactory>(fs);
#endif
}

}  // namespace hs::testing
