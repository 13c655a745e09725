// Binary archive encoding shared by every record file of the program (results,
// lists, undo records, analysis summary). The byte layout is a stored format
// that existing files use; it must not change.
//
// Layout:
// - Numbers: little-endian 8/16/32/64-bit, signed as two's complement.
// - String: FF FE FF (a 0xFF byte and the 16-bit UTF-16 marker 0xFFFE), then
//   the length in UTF-16 units:
//     < 0xFF         one byte
//     < 0xFFFE       FF, 16-bit length
//     < 0xFFFFFFFF   FF FF FF, 32-bit length
//     otherwise      FF FF FF FF FF FF FF, 64-bit length
//   then the units as UTF-16LE, no terminator.
//   Reading also accepts strings without the marker: the same length ladder
//   then counts bytes of single-byte code page 1252 text.
// - Count (element count of arrays and other records): 16-bit; at 0xFFFF or
//   more, FF FF and a 32-bit count.
// - String array: a count, then that many strings.
// - Time: the 32-bit marker 0x8000000A, then signed 64-bit seconds since
//   1970-01-01 UTC.
// - Raw bytes: as given, no length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"
#include "platform/win_error.h"

namespace hs {

// Longest string (in UTF-16 units, or bytes for single-byte text) that is
// written or accepted. Far above any registry name, path or value text.
inline constexpr std::uint64_t kArchiveMaxStringChars = 16u * 1024 * 1024;
// Largest element count that is written or accepted.
inline constexpr std::uint64_t kArchiveMaxCount = 16u * 1024 * 1024;
// Smallest encoded string: a single-byte empty string is the one byte 00.
// A string array of N elements therefore needs at least N bytes.
inline constexpr std::size_t kArchiveMinStringBytes = 1;
// Marker that precedes every stored time.
inline constexpr std::uint32_t kArchiveTimeMarker = 0x8000000Au;

// Appends encoded values to an owned buffer. Values the format or the limits
// above cannot carry (a count above 0xFFFFFFFF or kArchiveMaxCount, a string
// longer than kArchiveMaxStringChars) are not written and make ok() false for
// good: the buffer is then not a valid record and must not be stored.
class ArchiveWriter {
 public:
  void U8(std::uint8_t v);
  void U16(std::uint16_t v);
  void U32(std::uint32_t v);
  void I32(std::int32_t v);
  void U64(std::uint64_t v);
  void I64(std::int64_t v);
  void String(TextView s);
  void StringArray(const std::vector<Text>& items);
  void Count(std::uint64_t n);
  void Time(std::int64_t seconds_since_1970);
  void Bytes(const std::uint8_t* data, std::size_t size);

  [[nodiscard]] bool ok() const { return ok_; }
  const std::vector<std::uint8_t>& data() const { return buf_; }
  // Moves the bytes out and leaves the buffer empty; ok() is unchanged.
  std::vector<std::uint8_t> Take();

 private:
  void Length(std::uint64_t n);

  std::vector<std::uint8_t> buf_;
  bool ok_ = true;
};

// Decodes values from a caller-owned buffer that must outlive the reader.
// The input is untrusted: every length and count is checked against the bytes
// that remain before anything is allocated, so memory use stays proportional
// to the input size.
//
// Every read returns false on failure and leaves its output unchanged. The
// first failure is sticky: the offset stays at the start of the failed item,
// error() describes it, and every later read fails.
class ArchiveReader {
 public:
  ArchiveReader(const std::uint8_t* data, std::size_t size);

  [[nodiscard]] bool U8(std::uint8_t* v);
  [[nodiscard]] bool U16(std::uint16_t* v);
  [[nodiscard]] bool U32(std::uint32_t* v);
  [[nodiscard]] bool I32(std::int32_t* v);
  [[nodiscard]] bool U64(std::uint64_t* v);
  [[nodiscard]] bool I64(std::int64_t* v);
  // Either string form; single-byte text is decoded as code page 1252.
  [[nodiscard]] bool String(Text* s);
  [[nodiscard]] bool StringArray(std::vector<Text>* items);
  // Fails when the count exceeds kArchiveMaxCount or when count elements of
  // at least min_element_size bytes (taken as at least 1) cannot fit in the
  // bytes that remain.
  [[nodiscard]] bool Count(std::uint64_t* n, std::size_t min_element_size = 1);
  // Fails when the time marker is missing.
  [[nodiscard]] bool Time(std::int64_t* seconds_since_1970);
  [[nodiscard]] bool Bytes(std::size_t n, std::vector<std::uint8_t>* out);

  // Records a failure found by the caller (e.g. an invalid field value) at
  // the current offset, unless an error is already recorded.
  void Fail(std::string_view what);

  [[nodiscard]] bool ok() const { return error_.empty(); }
  // True when no error occurred and every byte has been consumed.
  [[nodiscard]] bool AtEnd() const { return ok() && pos_ == size_; }
  std::size_t remaining() const { return size_ - pos_; }
  std::size_t offset() const { return pos_; }
  // Empty while ok(); otherwise "archive offset N: <what failed>".
  const std::string& error() const { return error_; }
  // kSuccess while ok(); kHandleEof when the input ended inside an item;
  // kInvalidData for any other failure.
  WinError error_code() const { return code_; }

 private:
  template <typename T>
  bool Number(T* v, const char* what);
  // Consumes n bytes of the item that starts at `start`, or fails there.
  bool Raw(std::size_t n, std::size_t start, const char* what, const std::uint8_t** p);
  bool Length(std::size_t start, bool* utf16, std::uint64_t* n);
  bool FailAt(std::size_t at, WinError code, const std::string& what);

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  std::string error_;
  WinError code_ = err::kSuccess;
};

}  // namespace hs
