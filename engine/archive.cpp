#include "engine/archive.h"

#include <algorithm>
#include <string>
#include <type_traits>
#include <utility>

namespace hs {

namespace {

constexpr std::uint16_t kUtf16Marker = 0xFFFE;
constexpr std::uint16_t kWider16 = 0xFFFF;
constexpr std::uint32_t kWider32 = 0xFFFFFFFFu;

static_assert(kArchiveMaxCount < kWider32, "counts above 32 bits have no encoding");

template <typename T>
void Append(std::vector<std::uint8_t>* buf, T v) {
  using U = std::make_unsigned_t<T>;
  U u = static_cast<U>(v);
  for (std::size_t i = 0; i < sizeof(T); ++i) buf->push_back(static_cast<std::uint8_t>(u >> (8 * i)));
}

template <typename T>
T Load(const std::uint8_t* p) {
  using U = std::make_unsigned_t<T>;
  U u = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) u = static_cast<U>(u | (static_cast<U>(p[i]) << (8 * i)));
  return static_cast<T>(u);
}

std::string Num(std::uint64_t v) { return std::to_string(v); }

std::string Hex32(std::uint32_t v) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) s.push_back(kDigits[(v >> shift) & 0xF]);
  return s;
}

}  // namespace

// ---- ArchiveWriter ----

void ArchiveWriter::U8(std::uint8_t v) { buf_.push_back(v); }
void ArchiveWriter::U16(std::uint16_t v) { Append(&buf_, v); }
void ArchiveWriter::U32(std::uint32_t v) { Append(&buf_, v); }
void ArchiveWriter::I32(std::int32_t v) { Append(&buf_, v); }
void ArchiveWriter::U64(std::uint64_t v) { Append(&buf_, v); }
void ArchiveWriter::I64(std::int64_t v) { Append(&buf_, v); }

void ArchiveWriter::Length(std::uint64_t n) {
  if (n < 0xFF) return U8(static_cast<std::uint8_t>(n));
  U8(0xFF);
  if (n < kUtf16Marker) return U16(static_cast<std::uint16_t>(n));
  U16(kWider16);
  if (n < kWider32) return U32(static_cast<std::uint32_t>(n));
  U32(kWider32);
  U64(n);
}

void ArchiveWriter::String(TextView s) {
  if (s.size() > kArchiveMaxStringChars) {
    ok_ = false;
    return;
  }
  U8(0xFF);
  U16(kUtf16Marker);
  Length(s.size());
  for (char16_t c : s) U16(static_cast<std::uint16_t>(c));
}

void ArchiveWriter::Count(std::uint64_t n) {
  if (n > kArchiveMaxCount) {
    ok_ = false;
    return;
  }
  if (n < kWider16) return U16(static_cast<std::uint16_t>(n));
  U16(kWider16);
  U32(static_cast<std::uint32_t>(n));
}

void ArchiveWriter::StringArray(const std::vector<Text>& items) {
  if (items.size() > kArchiveMaxCount) {
    ok_ = false;
    return;
  }
  Count(items.size());
  for (const Text& s : items) String(s);
}

void ArchiveWriter::Time(std::int64_t seconds_since_1970) {
  U32(kArchiveTimeMarker);
  I64(seconds_since_1970);
}

void ArchiveWriter::Bytes(const std::uint8_t* data, std::size_t size) {
  if (size != 0) buf_.insert(buf_.end(), data, data + size);
}

std::vector<std::uint8_t> ArchiveWriter::Take() {
  std::vector<std::uint8_t> out = std::move(buf_);
  buf_.clear();
  return out;
}

// ---- ArchiveReader ----

ArchiveReader::ArchiveReader(const std::uint8_t* data, std::size_t size)
    : data_(data), size_(data ? size : 0) {}

bool ArchiveReader::FailAt(std::size_t at, WinError code, const std::string& what) {
  if (ok()) {
    pos_ = at;
    code_ = code;
    error_ = "archive offset " + Num(at) + ": " + what;
  }
  return false;
}

void ArchiveReader::Fail(std::string_view what) { FailAt(pos_, err::kInvalidData, std::string(what)); }

bool ArchiveReader::Raw(std::size_t n, std::size_t start, const char* what, const std::uint8_t** p) {
  if (n > remaining()) {
    return FailAt(start, err::kHandleEof,
                  std::string("input ends inside ") + what + " (" + Num(remaining()) + " of " + Num(n) +
                      " bytes left)");
  }
  *p = data_ + pos_;
  pos_ += n;
  return true;
}

template <typename T>
bool ArchiveReader::Number(T* v, const char* what) {
  const std::uint8_t* p = nullptr;
  if (!ok() || !Raw(sizeof(T), pos_, what, &p)) return false;
  *v = Load<T>(p);
  return true;
}

bool ArchiveReader::U8(std::uint8_t* v) { return Number(v, "8-bit value"); }
bool ArchiveReader::U16(std::uint16_t* v) { return Number(v, "16-bit value"); }
bool ArchiveReader::U32(std::uint32_t* v) { return Number(v, "32-bit value"); }
bool ArchiveReader::I32(std::int32_t* v) { return Number(v, "32-bit value"); }
bool ArchiveReader::U64(std::uint64_t* v) { return Number(v, "64-bit value"); }
bool ArchiveReader::I64(std::int64_t* v) { return Number(v, "64-bit value"); }

// Length ladder: byte, FF + 16-bit, FF FFFF + 32-bit, FF FFFF FFFFFFFF + 64-bit.
// A 16-bit FFFE is the UTF-16 marker, after which the ladder starts over once.
bool ArchiveReader::Length(std::size_t start, bool* utf16, std::uint64_t* n) {
  const char* what = "string length";
  const std::uint8_t* p = nullptr;
  *utf16 = false;
  for (;;) {
    if (!Raw(1, start, what, &p)) return false;
    if (p[0] != 0xFF) {
      *n = p[0];
      return true;
    }
    if (!Raw(2, start, what, &p)) return false;
    const std::uint16_t n16 = Load<std::uint16_t>(p);
    if (n16 == kUtf16Marker) {
      if (*utf16) return FailAt(start, err::kInvalidData, "string has a second UTF-16 marker");
      *utf16 = true;
      continue;
    }
    if (n16 != kWider16) {
      *n = n16;
      return true;
    }
    if (!Raw(4, start, what, &p)) return false;
    const std::uint32_t n32 = Load<std::uint32_t>(p);
    if (n32 != kWider32) {
      *n = n32;
      return true;
    }
    if (!Raw(8, start, what, &p)) return false;
    *n = Load<std::uint64_t>(p);
    return true;
  }
}

bool ArchiveReader::String(Text* s) {
  if (!ok()) return false;
  const std::size_t start = pos_;
  bool utf16 = false;
  std::uint64_t n = 0;
  if (!Length(start, &utf16, &n)) return false;
  if (n > kArchiveMaxStringChars) {
    return FailAt(start, err::kInvalidData,
                  "string length " + Num(n) + " exceeds the limit of " + Num(kArchiveMaxStringChars));
  }
  // n is bounded by the limit above, so the byte count cannot overflow.
  const std::size_t bytes = static_cast<std::size_t>(utf16 ? n * 2 : n);
  const std::uint8_t* p = nullptr;
  if (!Raw(bytes, start, "string text", &p)) return false;
  *s = utf16 ? FromUtf16leBytes(p, bytes) : FromCp1252(std::string_view(reinterpret_cast<const char*>(p), bytes));
  return true;
}

bool ArchiveReader::Count(std::uint64_t* n, std::size_t min_element_size) {
  if (!ok()) return false;
  const std::size_t start = pos_;
  const char* what = "element count";
  const std::uint8_t* p = nullptr;
  if (!Raw(2, start, what, &p)) return false;
  std::uint64_t count = Load<std::uint16_t>(p);
  if (count == kWider16) {
    if (!Raw(4, start, what, &p)) return false;
    count = Load<std::uint32_t>(p);
  }
  if (count > kArchiveMaxCount) {
    return FailAt(start, err::kInvalidData,
                  "element count " + Num(count) + " exceeds the limit of " + Num(kArchiveMaxCount));
  }
  const std::size_t each = std::max<std::size_t>(min_element_size, 1);
  if (count > remaining() / each) {
    return FailAt(start, err::kHandleEof,
                  "element count " + Num(count) + " needs at least " + Num(count * each) + " bytes, " +
                      Num(remaining()) + " left");
  }
  *n = count;
  return true;
}

bool ArchiveReader::StringArray(std::vector<Text>* items) {
  std::uint64_t count = 0;
  if (!Count(&count, kArchiveMinStringBytes)) return false;
  std::vector<Text> out;
  // Count() bounded count by the bytes left, so this stays proportional to the input.
  out.reserve(static_cast<std::size_t>(count));
  for (std::uint64_t i = 0; i < count; ++i) {
    Text s;
    if (!String(&s)) return false;
    out.push_back(std::move(s));
  }
  *items = std::move(out);
  return true;
}

bool ArchiveReader::Time(std::int64_t* seconds_since_1970) {
  if (!ok()) return false;
  const std::size_t start = pos_;
  const std::uint8_t* p = nullptr;
  if (!Raw(4, start, "time marker", &p)) return false;
  const std::uint32_t marker = Load<std::uint32_t>(p);
  if (marker != kArchiveTimeMarker) {
    return FailAt(start, err::kInvalidData, "time marker missing (found " + Hex32(marker) + ")");
  }
  if (!Raw(8, start, "time", &p)) return false;
  *seconds_since_1970 = Load<std::int64_t>(p);
  return true;
}

bool ArchiveReader::Bytes(std::size_t n, std::vector<std::uint8_t>* out) {
  const std::uint8_t* p = nullptr;
  if (!ok() || !Raw(n, pos_, "byte block", &p)) return false;
  out->assign(p, p + n);
  return true;
}

}  // namespace hs
