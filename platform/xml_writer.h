// XML writer port: a forward-only writer of one indented UTF-8 document into
// a file (a byte-order mark may precede it), with the operations of the
// system's XML writer, each answering an HRESULT so that a caller can report
// the failing step and go on.
//
// Adapters: Win32XmlWriterFactory (platform/win32) over the system's XmlLite
// writer; Libxml2XmlWriterFactory (platform/portable) over libxml2's text
// writer, writing the file through the FileSystem port.
//
// Contract (all adapters):
// - Texts (element text, attribute values) may hold anything: the adapters
//   escape markup characters and replace what XML 1.0 cannot carry (see
//   XmlSafeText), so the document is well-formed whatever the data.
// - Element and attribute names must be XML names of ASCII letters, digits,
//   '_', '-' and '.' (IsXmlName); others fail with kHrInvalidArg and write
//   nothing.
// - Whitespace accepts only space, tab, CR and LF (kHrInvalidArg otherwise).
// - The document is whole in the file only after Flush succeeded; the file is
//   created or replaced by the set-up (Win32) or by Flush (portable). A
//   writer released without Flush may leave a partial or an old file.
// - Calls out of order (an attribute after text, an end without a start, a
//   write after the end of the document) fail with a failure status. A
//   writer whose file could not be created fails its writes.
// - One writer is used by one thread at a time. Nothing throws.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/win_error.h"

namespace hs {

// An HRESULT: negative means failure.
using HResult = std::int32_t;

inline constexpr HResult kHrOk = 0;
inline constexpr HResult kHrFail = static_cast<HResult>(0x80004005);
inline constexpr HResult kHrUnexpected = static_cast<HResult>(0x8000FFFF);
inline constexpr HResult kHrOutOfMemory = static_cast<HResult>(0x8007000E);
inline constexpr HResult kHrInvalidArg = static_cast<HResult>(0x80070057);

inline constexpr bool Failed(HResult hr) { return hr < 0; }
// HRESULT_FROM_WIN32.
HResult HResultFromWin32(WinError e);
// Eight lower-case hex digits, as printf's "%08.8lx" gives them.
std::string HResultHex(HResult hr);

// The set-up steps of a writer, in the order they run.
enum class XmlSetupStep {
  kFileStream,  // creating or replacing the file
  kWriter,      // creating the writer object
  kSetOutput,   // attaching the writer to the file
  kIndent,      // switching indentation on
};

struct XmlSetupFailure {
  XmlSetupStep step;
  HResult hr;
};

class XmlWriter {
 public:
  virtual ~XmlWriter() = default;  // releases the writer and the file; call Flush first

  // The XML declaration (version 1.0, UTF-8, no standalone declaration).
  [[nodiscard]] virtual HResult WriteStartDocument() = 0;
  [[nodiscard]] virtual HResult WriteStartElement(TextView name) = 0;
  // An attribute of the element just started.
  [[nodiscard]] virtual HResult WriteAttributeString(TextView name, TextView value) = 0;
  // Character data inside the current element.
  [[nodiscard]] virtual HResult WriteString(TextView text) = 0;
  // Ends the current element with an end tag (never as an empty tag).
  [[nodiscard]] virtual HResult WriteFullEndElement() = 0;
  [[nodiscard]] virtual HResult WriteWhitespace(TextView whitespace) = 0;
  // Ends any open elements and the document.
  [[nodiscard]] virtual HResult WriteEndDocument() = 0;
  // Writes everything so far to the file.
  [[nodiscard]] virtual HResult Flush() = 0;
};

struct XmlWriterOpen {
  // Null when the file or the writer could not be created; with a writer,
  // later set-up steps may still have failed.
  std::unique_ptr<XmlWriter> writer;
  // The set-up steps that failed, in order.
  std::vector<XmlSetupFailure> failures;
};

class XmlWriterFactory {
 public:
  virtual ~XmlWriterFactory() = default;
  // A writer of an indented document into the file at `path` (an absolute
  // Windows path), which it creates or replaces. Writers may outlive the
  // factory. Safe from several threads at once.
  virtual XmlWriterOpen Create(TextView path) = 0;
};

// The text with every unit that XML 1.0 cannot carry replaced by U+FFFD:
// U+0000-U+0008, U+000B, U+000C, U+000E-U+001F, unpaired surrogates, U+FFFE
// and U+FFFF. Tab, LF and CR stay. Both adapters pass every text through it.
Text XmlSafeText(TextView text);

// True for a non-empty name of ASCII letters, digits, '_', '-' and '.' that
// starts with a letter or '_'.
bool IsXmlName(TextView name);

// True when the text holds only space, tab, CR and LF (and is not empty).
bool IsXmlWhitespace(TextView text);

// An attribute value escaped for a double-quoted attribute: & < > " and the
// tab, LF and CR (which a reader would otherwise turn into spaces) as
// references. Expects XmlSafeText output.
Text EscapeXmlAttribute(TextView value);

}  // namespace hs
