// INI-file reader port: one value of an INI-format text file, with the
// results of GetPrivateProfileStringW.
//
// Adapters: Win32IniReader (platform/win32) calls the real function;
// PortableIniReader (platform/portable) parses the file itself, read through
// the FileSystem port, and gives the same results.
//
// File format as both adapters read it:
// - Lines end at CR or LF. Blanks (space, tab, CR, LF, VT, FF and Ctrl-Z)
//   are trimmed from both ends of every line, name and value; other white
//   space (no-break space, ideographic space, ...) is text.
// - "[name]" starts a section: the name runs to the last ']' of the line and
//   is trimmed; anything after that ']' is ignored. Lines before the first
//   section belong to a section with the empty name.
// - Every other line is "key=value" (split at the first '='), or a key
//   without value, which reads as missing. There are no comments: ";x=1" is
//   a key named ";x".
// - Section and key names match without regard to case. Only the first
//   section of a name is searched, and in it the first key of a name.
// - A value enclosed in matching double or single quotes loses them; an
//   unmatched quote stays.
// - A NUL unit ends a name or value.
//
// Encodings, chosen by the first bytes of the file:
//   FF FE        UTF-16LE        FE FF     UTF-16BE
//   EF BB BF     UTF-8           otherwise the ANSI code page (1252)
// Windows 5.x and 6.x read only the UTF-16LE form (and ANSI) exactly, so
// language files with text outside ASCII are stored as UTF-16LE with BOM.
//
// Safe to call from several threads at once. Nothing throws.
#pragma once

#include <cstddef>

#include "platform/text.h"

namespace hs {

class IniReader {
 public:
  virtual ~IniReader() = default;

  // The value of `key` in `section` of the INI file at `path` (an absolute
  // Windows path). A missing file, section or key, or a key without '=',
  // gives `default_value` without its trailing spaces; a key with an empty
  // value gives empty text. `capacity` counts UTF-16 units including the
  // terminator, as GetPrivateProfileStringW's buffer size does: at most
  // capacity - 1 units are returned (a surrogate pair may be cut), nothing
  // for capacity 0. Section, key and default end at a NUL unit. A relative
  // path reads as a missing file. There is no way to tell a missing key from
  // a value equal to the default: callers that must pass a default that
  // cannot occur.
  virtual Text ReadString(TextView path, TextView section, TextView key, TextView default_value,
                          std::size_t capacity) = 0;
};

}  // namespace hs
