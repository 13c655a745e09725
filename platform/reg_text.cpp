#include "platform/reg_text.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace hs {

namespace {

// ---------------------------------------------------------------------------
// Roots

struct RootName {
  RegKey key;
  TextView long_name;
  TextView short_name;
};

constexpr RootName kRoots[] = {
    {kHkeyClassesRoot, u"HKEY_CLASSES_ROOT", u"HKCR"},
    {kHkeyCurrentUser, u"HKEY_CURRENT_USER", u"HKCU"},
    {kHkeyLocalMachine, u"HKEY_LOCAL_MACHINE", u"HKLM"},
    {kHkeyUsers, u"HKEY_USERS", u"HKU"},
    {kHkeyCurrentConfig, u"HKEY_CURRENT_CONFIG", u"HKCC"},
};

// ---------------------------------------------------------------------------
// Reading

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

TextView TrimLeft(TextView s) {
  std::size_t b = 0;
  while (b < s.size() && IsBlank(s[b])) ++b;
  return s.substr(b);
}

TextView TrimRight(TextView s) {
  std::size_t e = s.size();
  while (e > 0 && IsBlank(s[e - 1])) --e;
  return s.substr(0, e);
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// 1 to 8 hex digits, nothing else.
bool ParseHex32(TextView s, std::uint32_t* out) {
  if (s.empty() || s.size() > 8) return false;
  std::uint32_t v = 0;
  for (char16_t c : s) {
    int d = HexDigit(c);
    if (d < 0) return false;
    v = (v << 4) | static_cast<std::uint32_t>(d);
  }
  *out = v;
  return true;
}

// Quoted text for error messages, cut to a readable length.
std::string Quote(TextView s) {
  constexpr std::size_t kMax = 40;
  std::string q = "'" + ToUtf8(s.substr(0, kMax)) + (s.size() > kMax ? "...'" : "'");
  return q;
}

// Decodes a byte source as it is read: UTF-16LE after its BOM, UTF-8 after
// its BOM, else Windows-1252. Pieces end on whole characters; a UTF-16 file
// of an odd byte count is noted at its end.
class Decoder {
 public:
  explicit Decoder(RegTextByteSource& source) : source_(source) {}
  // Appends the next decoded piece; false at the end of the input.
  bool More(Text* out) {
    if (done_) return false;
    std::size_t n = source_.Read(chunk_.data() + carry_, chunk_.size() - carry_);
    std::size_t have = carry_ + n;
    if (first_) {
      first_ = false;
      // The BOM may arrive in pieces: read until three bytes are there or the input ends.
      while (n > 0 && have < 3) {
        n = source_.Read(chunk_.data() + have, chunk_.size() - have);
        have += n;
      }
      std::size_t skip = 0;
      if (have >= 2 && chunk_[0] == 0xFF && chunk_[1] == 0xFE) {
        encoding_ = kUtf16, skip = 2;
      } else if (have >= 2 && chunk_[0] == 0xFE && chunk_[1] == 0xFF) {
        big_endian_ = true;
        done_ = true;
        return false;
      } else if (have >= 3 && chunk_[0] == 0xEF && chunk_[1] == 0xBB && chunk_[2] == 0xBF) {
        encoding_ = kUtf8, skip = 3;
      }
      std::memmove(chunk_.data(), chunk_.data() + skip, have - skip);
      have -= skip;
    }
    const bool end = n == 0;
    if (have == 0) {
      done_ = end;
      return !end;
    }
    std::size_t use = have;
    if (encoding_ == kUtf16) {
      use = have & ~std::size_t{1};
      if (end && use != have) odd_utf16_ = true;
      out->append(FromUtf16leBytes(chunk_.data(), use));
    } else if (encoding_ == kUtf8) {
      if (!end) use = Utf8Boundary(have);
      out->append(FromUtf8(std::string_view(reinterpret_cast<const char*>(chunk_.data()), use)));
    } else {
      out->append(FromCp1252(std::string_view(reinterpret_cast<const char*>(chunk_.data()), use)));
    }
    if (end) {
      done_ = true;
      carry_ = 0;
      return use > 0 || have > 0;
    }
    carry_ = have - use;
    std::memmove(chunk_.data(), chunk_.data() + use, carry_);
    return true;
  }
  bool big_endian() const { return big_endian_; }
  bool odd_utf16() const { return odd_utf16_; }

 private:
  enum Encoding { kCp1252, kUtf8, kUtf16 };
  // Where the last, possibly incomplete, UTF-8 sequence of chunk_[0, have) starts.
  std::size_t Utf8Boundary(std::size_t have) const {
    std::size_t i = have;
    for (int back = 0; back < 4 && i > 0; ++back) {
      const std::uint8_t b = chunk_[i - 1];
      if ((b & 0xC0) != 0x80) {  // a lead byte or ASCII
        const std::size_t len = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 1;
        return have - (i - 1) >= len ? have : i - 1;
      }
      --i;
    }
    return have;
  }

  RegTextByteSource& source_;
  std::vector<std::uint8_t> chunk_ = std::vector<std::uint8_t>(kRegTextChunkBytes);
  std::size_t carry_ = 0;
  Encoding encoding_ = kCp1252;
  bool first_ = true;
  bool done_ = false;
  bool big_endian_ = false;
  bool odd_utf16_ = false;
};

// Lines of the decoded text: split at LF, one CR before the LF dropped. A
// final empty segment after a trailing LF is not a line. A line stays valid
// until the next call.
class LineReader {
 public:
  explicit LineReader(Decoder& decoder) : decoder_(decoder) {}
  bool Next(TextView* line) {
    std::size_t lf;
    while ((lf = buffer_.find(u'\n', pos_)) == Text::npos) {
      if (buffer_.size() - pos_ > kMaxRegTextLineChars) {
        too_long_ = true;
        return false;
      }
      buffer_.erase(0, pos_);
      pos_ = 0;
      if (!decoder_.More(&buffer_)) break;
    }
    if (pos_ >= buffer_.size()) return false;
    const std::size_t end = lf == Text::npos ? buffer_.size() : lf;
    TextView l = TextView(buffer_).substr(pos_, end - pos_);
    if (!l.empty() && l.back() == u'\r') l.remove_suffix(1);
    pos_ = lf == Text::npos ? buffer_.size() : lf + 1;
    ++number_;
    *line = l;
    return true;
  }
  int number() const { return number_; }
  bool too_long() const { return too_long_; }

 private:
  Decoder& decoder_;
  Text buffer_;
  std::size_t pos_ = 0;
  int number_ = 0;
  bool too_long_ = false;
};

class Parser {
 public:
  Parser(LineReader& lines, const RegTextKeySink& sink) : lines_(lines), sink_(sink) {}

  bool Run() {
    TextView line;
    bool have_header = false;
    while (lines_.Next(&line)) {
      TextView t = TrimLeft(line);
      if (TrimRight(t).empty()) continue;
      if (!have_header) {
        TextView h = TrimRight(t);
        if (h == u"Windows Registry Editor Version 5.00") {
          unicode_ = true;
        } else if (h == u"REGEDIT4") {
          unicode_ = false;
        } else {
          return Fail(1, "missing header: the first line must be \"Windows Registry Editor Version 5.00\" or "
                         "\"REGEDIT4\"");
        }
        have_header = true;
        continue;
      }
      if (t[0] == u';') continue;
      bool ok = false;
      if (t[0] == u'[') {
        ok = KeyLine(t);
      } else if (t[0] == u'"' || t[0] == u'@') {
        ok = ValueLine(t);
      } else {
        ok = Fail(lines_.number(), "unrecognized line " + Quote(TrimRight(t)));
      }
      if (!ok) return false;
    }
    if (lines_.too_long())
      return Fail(lines_.number() + 1, "line longer than " + std::to_string(kMaxRegTextLineChars) + " characters");
    if (!have_header) return Fail(1, "missing header: the file is empty");
    return Flush();
  }

  bool unicode() const { return unicode_; }
  RegTextError error;

 private:
  bool Fail(int line, std::string message) {
    error.line = line;
    error.message = std::move(message);
    return false;
  }

  bool KeyLine(TextView t) {
    const int line = lines_.number();
    std::size_t close = t.rfind(u']');
    if (close == TextView::npos) return Fail(line, "missing ']' at the end of the key name");
    if (!TrimRight(t.substr(close + 1)).empty())
      return Fail(line, "unexpected text after ']': " + Quote(TrimRight(t.substr(close + 1))));
    TextView inner = t.substr(1, close - 1);
    RegTextKey key;
    key.line = line;
    if (!inner.empty() && inner[0] == u'-') {
      key.remove = true;
      inner.remove_prefix(1);
    }
    std::size_t slash = inner.find(u'\\');
    TextView root_part = inner.substr(0, slash);
    if (!ParseRegRootName(root_part, &key.root)) return Fail(line, "unknown root key " + Quote(root_part));
    key.root_name = Text(RegRootName(key.root));
    if (slash != TextView::npos) key.path = Text(inner.substr(slash + 1));
    if (key.remove && key.path.empty()) return Fail(line, "a root key cannot be deleted");
    if (!Flush()) return false;
    current_ = std::move(key);
    have_current_ = true;
    in_key_ = !current_.remove;
    return true;
  }

  // Hands the key read so far to the sink.
  bool Flush() {
    if (!have_current_) return true;
    have_current_ = false;
    RegTextError e;
    e.line = current_.line;
    if (sink_(std::move(current_), &e)) return true;
    error = std::move(e);
    return false;
  }

  // Reads a quoted text starting at s[*pos] == '"'; *pos ends after the
  // closing quote.
  bool Quoted(TextView s, std::size_t* pos, Text* out, int line, const char* what) {
    std::size_t i = *pos + 1;
    while (i < s.size()) {
      char16_t c = s[i];
      if (c == u'"') {
        *pos = i + 1;
        return true;
      }
      if (c == u'\\') {
        if (i + 1 >= s.size()) break;
        char16_t e = s[i + 1];
        switch (e) {
          case u'\\': out->push_back(u'\\'); break;
          case u'"': out->push_back(u'"'); break;
          case u'n': out->push_back(u'\n'); break;
          case u'r': out->push_back(u'\r'); break;
          case u'0': out->push_back(u'\0'); break;
          default:
            return Fail(line, std::string("unknown escape sequence ") + Quote(s.substr(i, 2)) + " in the " + what);
        }
        i += 2;
        continue;
      }
      out->push_back(c);
      ++i;
    }
    return Fail(line, std::string("missing closing quote of the ") + what);
  }

  bool ValueLine(TextView t) {
    const int line = lines_.number();
    if (!in_key_) return Fail(line, "value line outside any key");
    RegTextValue v;
    v.line = line;
    std::size_t pos = 0;
    if (t[0] == u'@') {
      pos = 1;
    } else if (!Quoted(t, &pos, &v.name, line, "value name")) {
      return false;
    }
    while (pos < t.size() && IsBlank(t[pos])) ++pos;
    if (pos >= t.size() || t[pos] != u'=') return Fail(line, "missing '=' after the value name");
    ++pos;
    TextView rest = TrimLeft(t.substr(pos));
    if (!Data(rest, line, &v)) return false;
    current_.values.push_back(std::move(v));
    return true;
  }

  bool Data(TextView rest, int line, RegTextValue* v) {
    TextView r = TrimRight(rest);
    if (r == u"-") {
      v->remove = true;
      return true;
    }
    if (!r.empty() && r[0] == u'"') {
      Text text;
      std::size_t pos = 0;
      if (!Quoted(r, &pos, &text, line, "string")) return false;
      if (pos != r.size()) return Fail(line, "unexpected text after the closing quote: " + Quote(r.substr(pos)));
      v->type = kRegSz;
      v->data = ToUtf16leBytes(text);
      v->data.push_back(0);
      v->data.push_back(0);
      return true;
    }
    if (r.size() >= 6 && EqualsNoCase(r.substr(0, 6), u"dword:")) {
      std::uint32_t d = 0;
      if (!ParseHex32(TrimLeft(r.substr(6)), &d))
        return Fail(line, "dword value needs 1 to 8 hex digits: " + Quote(r.substr(6)));
      v->type = kRegDword;
      v->data = {static_cast<std::uint8_t>(d), static_cast<std::uint8_t>(d >> 8), static_cast<std::uint8_t>(d >> 16),
                 static_cast<std::uint8_t>(d >> 24)};
      return true;
    }
    if (r.size() >= 3 && EqualsNoCase(r.substr(0, 3), u"hex")) {
      std::size_t colon;
      if (r.size() >= 4 && r[3] == u':') {
        v->type = kRegBinary;
        colon = 3;
      } else if (r.size() >= 4 && r[3] == u'(') {
        std::size_t close = r.find(u')', 4);
        if (close == TextView::npos || !ParseHex32(r.substr(4, close - 4), &v->type))
          return Fail(line, "hex(N) needs a type of 1 to 8 hex digits");
        if (close + 1 >= r.size() || r[close + 1] != u':') return Fail(line, "missing ':' after hex(N)");
        colon = close + 1;
      } else {
        return Fail(line, "unknown data form " + Quote(r));
      }
      return HexList(rest.substr(colon + 1), line, v);
    }
    return Fail(line, "unknown data form " + Quote(r));
  }

  // The hex list after the colon, with its continuation lines.
  bool HexList(TextView first, int line, RegTextValue* v) {
    Text joined;
    TextView part = first;
    TextView list;
    bool continued = false;
    for (;;) {
      TextView p = TrimRight(part);
      if (!p.empty() && p.back() == u'\\') {
        joined.append(p.substr(0, p.size() - 1));
        continued = true;
        TextView next;
        if (!lines_.Next(&next)) return Fail(line, "line continuation at the end of the file");
        part = TrimLeft(next);
        continue;
      }
      if (continued) {
        joined.append(p);
        list = joined;
      } else {
        list = p;
      }
      break;
    }
    list = TrimLeft(list);
    std::vector<std::uint8_t> bytes;
    if (!list.empty()) {
      std::size_t start = 0;
      for (;;) {
        std::size_t comma = list.find(u',', start);
        std::size_t len = comma == TextView::npos ? TextView::npos : comma - start;
        TextView item = TrimRight(TrimLeft(list.substr(start, len)));
        if (item.empty()) return Fail(line, "missing hex byte in the list");
        if (item.size() > 2) return Fail(line, "bad hex byte " + Quote(item));
        int hi = HexDigit(item[0]);
        int lo = item.size() == 2 ? HexDigit(item[1]) : 0;
        if (hi < 0 || lo < 0) return Fail(line, "bad hex byte " + Quote(item));
        bytes.push_back(static_cast<std::uint8_t>(item.size() == 2 ? hi * 16 + lo : hi));
        if (comma == TextView::npos) break;
        start = comma + 1;
      }
    }
    if (!unicode_ && (v->type == kRegSz || v->type == kRegExpandSz || v->type == kRegMultiSz)) {
      // ANSI text bytes of a REGEDIT4 file: one UTF-16 unit per byte.
      Text wide = FromCp1252(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
      bytes = ToUtf16leBytes(wide);
    }
    v->data = std::move(bytes);
    return true;
  }

  LineReader& lines_;
  const RegTextKeySink& sink_;
  RegTextKey current_;
  bool have_current_ = false;
  bool unicode_ = true;
  RegTextDocument* doc_;
  bool in_key_ = false;
};

// ---------------------------------------------------------------------------
// Writing

void AppendEscaped(Text* out, TextView s, bool lossless) {
  for (char16_t c : s) {
    if (c == u'\\') {
      out->append(u"\\\\");
    } else if (c == u'"') {
      out->append(u"\\\"");
    } else if (lossless && c == u'\n') {
      out->append(u"\\n");
    } else if (lossless && c == u'\r') {
      out->append(u"\\r");
    } else if (lossless && c == u'\0') {
      out->append(u"\\0");
    } else {
      out->push_back(c);
    }
  }
}

void AppendHex(Text* out, std::uint32_t v, int min_digits) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  char16_t buf[8];
  int n = 0;
  do {
    buf[n++] = kDigits[v & 0xF];
    v >>= 4;
  } while (v != 0);
  while (n < min_digits) buf[n++] = u'0';
  while (n > 0) out->push_back(buf[--n]);
}

// Even size, one NUL unit at the end and none before it; CR and LF only
// where the quoted form may escape them.
bool IsCleanString(const std::vector<std::uint8_t>& d, bool allow_line_breaks) {
  if (d.size() < 2 || d.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < d.size(); i += 2) {
    const bool nul = d[i] == 0 && d[i + 1] == 0;
    if (nul != (i + 2 == d.size())) return false;
    if (!allow_line_breaks && d[i + 1] == 0 && (d[i] == '\r' || d[i] == '\n')) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Export walk

constexpr std::uint32_t kEnumKeyCapacity = 256;
constexpr std::uint32_t kEnumValueNameCapacity = 16384;

void AppendValues(Registry& reg, RegKey key, bool lossless, Text* out) {
  RegKeyInfo info;
  if (reg.QueryInfo(key, &info) != err::kSuccess) return;
  std::uint32_t capacity = info.max_value_data;
  for (std::uint32_t i = 0;; ++i) {
    Text name;
    RegValue value;
    WinError e = reg.EnumValue(key, i, kEnumValueNameCapacity, capacity, &name, &value);
    if (e == err::kMoreData) {
      // The value grew since QueryInfo: take its name alone, then the data.
      name.clear();
      e = reg.EnumValue(key, i, kEnumValueNameCapacity, 0, &name, nullptr);
      if (e == err::kSuccess) e = reg.QueryValue(key, name, &value);
      if (e != err::kSuccess && e != err::kNoMoreItems) continue;
    }
    if (e != err::kSuccess) break;
    out->append(FormatValueLine(name, value.type, value.data, lossless));
  }
}

std::vector<Text> SubkeyNames(Registry& reg, RegKey key) {
  std::vector<Text> names;
  for (std::uint32_t i = 0;; ++i) {
    Text name;
    WinError e = reg.EnumKey(key, i, kEnumKeyCapacity, &name);
    if (e == err::kMoreData) continue;  // longer than any valid name: skip it
    if (e != err::kSuccess) break;
    names.push_back(std::move(name));
  }
  return names;
}

}  // namespace

// ---------------------------------------------------------------------------

TextView RegRootName(RegKey root) {
  for (const auto& r : kRoots)
    if (r.key == root) return r.long_name;
  return {};
}

bool ParseRegRootName(TextView name, RegKey* root) {
  for (const auto& r : kRoots) {
    if (EqualsNoCase(name, r.long_name) || EqualsNoCase(name, r.short_name)) {
      *root = r.key;
      return true;
    }
  }
  return false;
}

bool ParseRegTextStream(RegTextByteSource& source, const RegTextKeySink& on_key, RegTextError* error,
                        bool* unicode) {
  RegTextError local;
  RegTextError* err = error ? error : &local;
  *err = RegTextError{};
  Decoder decoder(source);
  LineReader lines(decoder);
  Parser parser(lines, on_key);
  const bool ok = parser.Run();
  if (source.failed()) {
    err->line = 0;
    err->message = "the file could not be read";
    return false;
  }
  if (decoder.big_endian()) {
    err->line = 1;
    err->message = "UTF-16 big-endian text is not supported";
    return false;
  }
  if (decoder.odd_utf16()) {
    err->line = std::max(1, lines.number());
    err->message = "UTF-16 text ends in half a character (odd byte count)";
    return false;
  }
  if (!ok) {
    *err = std::move(parser.error);
    return false;
  }
  if (unicode) *unicode = parser.unicode();
  return true;
}

bool ParseRegText(const std::uint8_t* data, std::size_t size, RegTextDocument* doc, RegTextError* error) {
  *doc = RegTextDocument{};
  RegTextError local;
  RegTextError* err = error ? error : &local;
  *err = RegTextError{};
  if (size > kMaxRegTextBytes) {
    err->line = 0;
    err->message = "input larger than " + std::to_string(kMaxRegTextBytes) + " bytes";
    return false;
  }
  MemoryRegTextSource source(data, size);
  const bool ok = ParseRegTextStream(
      source,
      [doc](RegTextKey&& key, RegTextError*) {
        doc->keys.push_back(std::move(key));
        return true;
      },
      err, &doc->unicode);
  if (!ok) *doc = RegTextDocument{};
  return ok;
}

bool RegTextCanCarryName(TextView name) {
  return std::none_of(name.begin(), name.end(), [](char16_t c) { return c == u'\r' || c == u'\n' || c == 0; });
}

Text FormatValueLine(TextView name, std::uint32_t type, const std::vector<std::uint8_t>& data, bool lossless) {
  Text line;
  if (name.empty()) {
    line.push_back(u'@');
  } else {
    line.push_back(u'"');
    AppendEscaped(&line, name, lossless);
    line.push_back(u'"');
  }
  line.push_back(u'=');

  if (type == kRegSz && IsCleanString(data, /*allow_line_breaks=*/lossless)) {
    Text text = FromUtf16leBytes(data.data(), data.size() - 2);
    line.push_back(u'"');
    AppendEscaped(&line, text, lossless);
    line.append(u"\"\r\n");
    return line;
  }
  if (type == kRegDword && data.size() == 4) {
    std::uint32_t d = static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
                      static_cast<std::uint32_t>(data[2]) << 16 | static_cast<std::uint32_t>(data[3]) << 24;
    line.append(u"dword:");
    AppendHex(&line, d, 8);
    line.append(u"\r\n");
    return line;
  }
  if (type == kRegBinary) {
    line.append(u"hex:");
  } else {
    line.append(u"hex(");
    AppendHex(&line, type, 1);
    line.append(u"):");
  }
  // Characters written on the value's lines: the backslash and line break
  // of a continuation do not count, its two leading spaces do. This gives
  // the system editor's layout: 25 bytes on every continuation line.
  std::size_t count = line.size();
  for (std::size_t i = 0; i < data.size(); ++i) {
    AppendHex(&line, data[i], 2);
    if (i + 1 == data.size()) break;
    line.push_back(u',');
    count += 3;
    if (count % 77 <= 2) {
      line.append(u"\\\r\n  ");
      count += 2;
    }
  }
  line.append(u"\r\n");
  return line;
}

Text FormatKeyHeader(TextView full_key_name) {
  Text h = u"\r\n[";
  h.append(full_key_name);
  h.append(u"]\r\n");
  return h;
}

Text FormatKeyRemoval(TextView full_key_name) {
  Text h = u"\r\n[-";
  h.append(full_key_name);
  h.append(u"]\r\n");
  return h;
}

std::vector<std::uint8_t> EncodeRegFile(TextView body_lines) {
  std::vector<std::uint8_t> out;
  out.reserve(2 + body_lines.size() * 2);
  out.push_back(0xFF);
  out.push_back(0xFE);
  for (char16_t c : body_lines) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

WinError ApplyRegTextKey(Registry& reg, const RegTextKey& key, std::uint32_t view_sam, int* failed_line) {
  int unused = 0;
  int* line = failed_line ? failed_line : &unused;
  *line = 0;
  const std::uint32_t view = view_sam & kKeyWow64Res;
  if (key.remove) {
    if (key.path.empty()) {
      *line = key.line;
      return err::kAccessDenied;
    }
    WinError e = reg.DeleteTree(key.root, key.path, view);
    if (e == err::kFileNotFound) e = err::kSuccess;
    if (e != err::kSuccess) *line = key.line;
    return e;
  }
  RegKey h = 0;
  WinError e = reg.Create(key.root, key.path, kKeySetValue | view, &h, nullptr);
  if (e != err::kSuccess) {
    *line = key.line;
    return e;
  }
  for (const RegTextValue& v : key.values) {
    e = v.remove ? reg.DeleteValue(h, v.name) : reg.SetValue(h, v.name, v.type, v.data);
    if (v.remove && e == err::kFileNotFound) e = err::kSuccess;
    if (e != err::kSuccess) {
      reg.Close(h);
      *line = v.line;
      return e;
    }
  }
  reg.Close(h);
  return err::kSuccess;
}

WinError ApplyRegText(Registry& reg, const RegTextDocument& doc, std::uint32_t view_sam, int* failed_line) {
  for (const RegTextKey& key : doc.keys) {
    if (WinError e = ApplyRegTextKey(reg, key, view_sam, failed_line)) return e;
  }
  if (failed_line) *failed_line = 0;
  return err::kSuccess;
}

WinError ExportRegText(Registry& reg, RegKey root, TextView root_name, TextView path, std::uint32_t view_sam,
                       bool lossless, bool with_header, Text* out) {
  const std::uint32_t sam = kKeyRead | (view_sam & kKeyWow64Res);
  RegKey top = 0;
  WinError e = reg.Open(root, path, sam, &top);
  if (e != err::kSuccess) return e;
  if (with_header) out->append(kRegTextHeaderLine);

  // Depth-first, pre-order, without recursion: a stack of (open handle,
  // full name, remaining subkey names in reverse order).
  struct Frame {
    RegKey key;
    Text name;
    std::vector<Text> pending;
  };
  Text top_name(root_name);
  if (!path.empty()) {
    top_name.push_back(u'\\');
    top_name.append(path);
  }
  std::vector<Frame> stack;
  auto visit = [&](RegKey key, Text name) {
    out->append(FormatKeyHeader(name));
    AppendValues(reg, key, lossless, out);
    std::vector<Text> subs = SubkeyNames(reg, key);
    std::reverse(subs.begin(), subs.end());
    stack.push_back(Frame{key, std::move(name), std::move(subs)});
  };
  visit(top, std::move(top_name));
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.pending.empty()) {
      reg.Close(f.key);
      stack.pop_back();
      continue;
    }
    Text sub = std::move(f.pending.back());
    f.pending.pop_back();
    RegKey child = 0;
    if (reg.Open(f.key, sub, sam, &child) != err::kSuccess) continue;
    Text child_name = f.name + u"\\" + sub;
    visit(child, std::move(child_name));  // may reallocate the stack: f is not used after this
  }
  return err::kSuccess;
}

WinError ExportAllRoots(Registry& reg, std::uint32_t view_sam, bool lossless, Text* out) {
  out->append(kRegTextHeaderLine);
  constexpr RegKey kOrder[] = {kHkeyLocalMachine, kHkeyClassesRoot, kHkeyCurrentUser, kHkeyUsers,
                               kHkeyCurrentConfig};
  for (RegKey root : kOrder) {
    WinError e = ExportRegText(reg, root, RegRootName(root), TextView(), view_sam, lossless, false, out);
    (void)e;  // a root that cannot be opened is skipped
  }
  return err::kSuccess;
}

}  // namespace hs
