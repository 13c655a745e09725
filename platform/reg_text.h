// Registry export text (".reg" files): reader, writer, and the glue that
// applies a parsed file to, or exports keys from, any Registry.
//
// Reading accepts "Windows Registry Editor Version 5.00" files (UTF-16LE with
// BOM FF FE, or UTF-8 with BOM EF BB BF) and "REGEDIT4" files (ANSI, code page
// 1252; their hex(1)/hex(2)/hex(7) bytes are widened to UTF-16LE units as the
// system's editor does). The reader is strict: the whole text is parsed into
// a RegTextDocument first, and any malformed line makes the parse fail with
// its line number; nothing is ever half-applied.
//
// Writing follows the system editor's export (used for undo backups), with a
// lossless variant for registry snapshots: see FormatValueLine.
#pragma once

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/text.h"
#include "platform/win_error.h"

namespace hs {

// Largest input ParseRegText accepts (bytes, BOM included); the stream
// parser has no limit but the line length.
inline constexpr std::size_t kMaxRegTextBytes = std::size_t{512} << 20;
// Longest line (characters, a value's continuation lines each counting
// alone) and the pieces a stream is read in.
inline constexpr std::size_t kMaxRegTextLineChars = std::size_t{16} << 20;
inline constexpr std::size_t kRegTextChunkBytes = std::size_t{1} << 20;

// First line of every file the writer produces.
inline constexpr TextView kRegTextHeaderLine = u"Windows Registry Editor Version 5.00\r\n";

struct RegTextValue {
  Text name;  // empty = the unnamed (default) value
  bool remove = false;  // "name"=-
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
  int line = 0;  // 1-based line where the entry starts
};

struct RegTextKey {
  RegKey root = 0;
  Text root_name;  // canonical long name, e.g. HKEY_CURRENT_USER
  Text path;       // below the root; empty = the root itself
  bool remove = false;  // [-ROOT\path]
  std::vector<RegTextValue> values;
  int line = 0;
};

struct RegTextDocument {
  bool unicode = true;  // false for a REGEDIT4 file
  std::vector<RegTextKey> keys;
};

struct RegTextError {
  int line = 0;  // 1-based; 0 = the input as a whole (too large)
  std::string message;  // English, UTF-8
};

// Parses a whole file. On failure *error is set, *doc is left empty and the
// result is false. `error` may be null.
[[nodiscard]] bool ParseRegText(const std::uint8_t* data, std::size_t size, RegTextDocument* doc,
                                RegTextError* error);

// The bytes of a file as they are read, in pieces of any size.
class RegTextByteSource {
 public:
  virtual ~RegTextByteSource() = default;
  // Up to `size` bytes into `buffer`; 0 at the end (or on a failure).
  virtual std::size_t Read(std::uint8_t* buffer, std::size_t size) = 0;
  // The input could not be read to its end.
  virtual bool failed() const { return false; }
};

class MemoryRegTextSource final : public RegTextByteSource {
 public:
  MemoryRegTextSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::size_t Read(std::uint8_t* buffer, std::size_t size) override {
    const std::size_t n = std::min(size, size_ - pos_);
    if (n) std::copy(data_ + pos_, data_ + pos_ + n, buffer);
    pos_ += n;
    return n;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// Receives each key of a file with its values, in file order, once the key
// is complete. False (with *error, whose line is preset to the key's) stops
// the parse.
using RegTextKeySink = std::function<bool(RegTextKey&& key, RegTextError* error)>;

// Parses a file as it is read, handing the keys to `on_key`: memory stays
// proportional to the longest key, whatever the size of the file. The same
// rules as ParseRegText; keys handed over before a failure stay handed over.
// *unicode (may be null): false for a REGEDIT4 file.
[[nodiscard]] bool ParseRegTextStream(RegTextByteSource& source, const RegTextKeySink& on_key, RegTextError* error,
                                      bool* unicode = nullptr);

// Long root name ("HKEY_LOCAL_MACHINE") of a predefined key; empty if none.
TextView RegRootName(RegKey root);
// Long or short root name (HKLM...), case-insensitively.
bool ParseRegRootName(TextView name, RegKey* root);

// One value line, CR LF included.
//
// Default mode (the editor form, used for undo backups): text the system
// editor imports, carrying the value exactly. "@" only for the empty name (a
// value named "@" is written "@"); REG_SZ as a quoted string only when its
// data is an even number of bytes ending in exactly one NUL unit and holding
// no other NUL, CR or LF (anything else as hex(1), byte for byte); REG_DWORD
// as dword: only with exactly 4 bytes; everything else as hex: (REG_BINARY)
// or hex(full type). A name holding CR, LF or NUL cannot be carried at all:
// see RegTextCanCarryName.
//
// Lossless mode (snapshots): as the default mode, except that CR, LF and NUL
// in names and strings are written as \r, \n, \0 (which only this reader
// takes), so every name and every clean string stays readable text. Parsing a
// line of either mode gives back name, type and bytes exactly.
//
// Hex lists are broken as the export does: a running count of the characters
// of the value line as if it were unbroken (name part, "=", the hex prefix and
// "xx," per byte; the inserted breaks do not count) is checked after each byte
// that is followed by a comma, and when count % 77 is 0, 1 or 2 a backslash,
// CR LF and two spaces follow the comma.
Text FormatValueLine(TextView name, std::uint32_t type, const std::vector<std::uint8_t>& data,
                     bool lossless = false);

// Whether the editor form can carry a value name, or a key's full name: no
// CR, LF or NUL in it.
bool RegTextCanCarryName(TextView name);

// "\r\n[" + full key name + "]\r\n".
Text FormatKeyHeader(TextView full_key_name);
// "\r\n[-" + full key name + "]\r\n": the key and its subtree removed.
Text FormatKeyRemoval(TextView full_key_name);

// BOM FF FE + the text as UTF-16LE. The body starts with kRegTextHeaderLine.
std::vector<std::uint8_t> EncodeRegFile(TextView body_lines);

// Applies a parsed document in order: keys are created with
// KEY_SET_VALUE | view_sam, [-key] is removed with DeleteTree in the view
// (a missing key is not an error; a root cannot be removed: 5), values are set or deleted (a missing value is not an
// error). Returns 0 or the first failing WinError, with the failing entry's
// line in *failed_line (may be null). Entries before the failure stay applied.
[[nodiscard]] WinError ApplyRegText(Registry& reg, const RegTextDocument& doc, std::uint32_t view_sam,
                                    int* failed_line);
// The same for one key and its values (a streamed parse applies as it reads).
[[nodiscard]] WinError ApplyRegTextKey(Registry& reg, const RegTextKey& key, std::uint32_t view_sam,
                                       int* failed_line);

// Appends root_name\path (path empty: the root itself) and its whole subtree to
// *out as .reg lines: key header, its values in EnumValue order, then each
// subkey's subtree in EnumKey order; kRegTextHeaderLine first when
// with_header. Subkeys that fail to open or enumerate are skipped. Returns the
// error opening the top key (then nothing is appended), else 0.
[[nodiscard]] WinError ExportRegText(Registry& reg, RegKey root, TextView root_name, TextView path,
                                     std::uint32_t view_sam, bool lossless, bool with_header, Text* out);

// Appends the header line and the five roots (HKLM, HKCR, HKCU, HKU, HKCC, as
// a whole-registry export orders them) to *out. Roots that cannot be opened
// are skipped.
[[nodiscard]] WinError ExportAllRoots(Registry& reg, std::uint32_t view_sam, bool lossless, Text* out);

}  // namespace hs
