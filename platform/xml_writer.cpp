#include "platform/xml_writer.h"

#include <cstdio>

namespace hs {

HResult HResultFromWin32(WinError e) {
  if (e <= 0) return static_cast<HResult>(e);
  return static_cast<HResult>(0x80070000u | (static_cast<std::uint32_t>(e) & 0xFFFFu));
}

std::string HResultHex(HResult hr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08lx", static_cast<unsigned long>(static_cast<std::uint32_t>(hr)));
  return buf;
}

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

Text XmlSafeText(TextView text) {
  constexpr char16_t kReplacement = 0xFFFD;
  Text out(text);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const char16_t c = out[i];
    if (IsHighSurrogate(c)) {
      if (i + 1 < out.size() && IsLowSurrogate(out[i + 1])) {
        ++i;  // a valid pair
      } else {
        out[i] = kReplacement;
      }
    } else if (IsLowSurrogate(c) || c == 0xFFFE || c == 0xFFFF ||
               (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r')) {
      out[i] = kReplacement;
    }
  }
  return out;
}

bool IsXmlName(TextView name) {
  if (name.empty()) return false;
  auto letter = [](char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_'; };
  if (!letter(name[0])) return false;
  for (char16_t c : name)
    if (!letter(c) && !(c >= u'0' && c <= u'9') && c != u'-' && c != u'.') return false;
  return true;
}

bool IsXmlWhitespace(TextView text) {
  if (text.empty()) return false;
  for (char16_t c : text)
    if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r') return false;
  return true;
}

Text EscapeXmlAttribute(TextView value) {
  Text out;
  out.reserve(value.size());
  for (char16_t c : value) {
    switch (c) {
      case u'&': out += u"&amp;"; break;
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      case u'"': out += u"&quot;"; break;
      case u'\t': out += u"&#x9;"; break;
      case u'\n': out += u"&#xA;"; break;
      case u'\r': out += u"&#xD;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

}  // namespace hs
