// A small strict XML reader for tests on both builds: checks that a UTF-8
// document is well-formed (XML 1.0 characters, matching tags, quoted and
// unique attributes, only the predefined entities and character references,
// one root element) and gives back its elements with their attributes and
// text, references resolved and line ends normalised as a reader sees them.
// Only what the writers produce: no DOCTYPE, comments, CDATA or processing
// instructions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace hs::testing {

struct XmlElement {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;
  std::vector<XmlElement> children;
  std::string text;  // character data directly inside, pieces joined

  // The names of the child elements, in order.
  std::vector<std::string> ChildNames() const {
    std::vector<std::string> out;
    for (const auto& c : children) out.push_back(c.name);
    return out;
  }
  const XmlElement* Child(std::string_view n) const {
    for (const auto& c : children)
      if (c.name == n) return &c;
    return nullptr;
  }
  // The first child's text; "<missing>" when there is no such child.
  std::string ChildText(std::string_view n) const {
    const XmlElement* c = Child(n);
    return c ? c->text : "<missing>";
  }
  const std::string* Attribute(std::string_view n) const {
    for (const auto& a : attributes)
      if (a.first == n) return &a.second;
    return nullptr;
  }
};

struct XmlDocument {
  bool bom = false;
  std::string declaration;  // between "<?xml" and "?>"; empty when absent
  XmlElement root;
};

namespace xml_check_detail {

class Parser {
 public:
  explicit Parser(std::string text) : s_(std::move(text)) {}

  std::string Run(XmlDocument* doc) {
    if (!CheckChars()) return error_;
    Normalise();
    if (s_.compare(0, 5, "<?xml") == 0 && s_.size() > 5 && IsSpace(s_[5])) {
      const std::size_t end = s_.find("?>");
      if (end == std::string::npos) return "unterminated XML declaration";
      doc->declaration = s_.substr(5, end - 5);
      p_ = end + 2;
    }
    SkipSpace();
    if (!Element(&doc->root, 0)) return error_;
    SkipSpace();
    if (p_ != s_.size()) return Fail("content after the root element");
    return {};
  }

 private:
  static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
  static bool IsNameStart(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
  }
  static bool IsNameChar(unsigned char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }
  static bool IsXmlChar(std::uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
  }
  static void AppendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }

  std::string Fail(const std::string& what) {
    if (error_.empty()) error_ = what + " at byte " + std::to_string(p_);
    return error_;
  }
  bool Bad(const std::string& what) {
    Fail(what);
    return false;
  }
  bool At(std::string_view t) const { return s_.compare(p_, t.size(), t) == 0; }
  void SkipSpace() {
    while (p_ < s_.size() && IsSpace(s_[p_])) ++p_;
  }

  // Strict UTF-8 (no overlongs, no surrogates) of XML 1.0 characters only.
  bool CheckChars() {
    for (p_ = 0; p_ < s_.size();) {
      const auto b = static_cast<unsigned char>(s_[p_]);
      int n = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
      if (n < 0 || p_ + n >= s_.size()) return Bad("bad UTF-8");
      std::uint32_t c = n == 0 ? b : (b & (0x3F >> n));
      for (int i = 1; i <= n; ++i) {
        const auto t = static_cast<unsigned char>(s_[p_ + i]);
        if ((t & 0xC0) != 0x80) return Bad("bad UTF-8");
        c = (c << 6) | (t & 0x3F);
      }
      static constexpr std::uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
      if (c < kMin[n] || (c >= 0xD800 && c <= 0xDFFF)) return Bad("bad UTF-8");
      if (!IsXmlChar(c)) return Bad("character not allowed in XML");
      p_ += n + 1;
    }
    p_ = 0;
    return true;
  }
  // CR LF and lone CR become LF, as a reader sees them.
  void Normalise() {
    std::string out;
    for (std::size_t i = 0; i < s_.size(); ++i) {
      if (s_[i] == '\r') {
        out.push_back('\n');
        if (i + 1 < s_.size() && s_[i + 1] == '\n') ++i;
      } else {
        out.push_back(s_[i]);
      }
    }
    s_ = std::move(out);
  }

  bool Name(std::string* out) {
    const std::size_t start = p_;
    if (p_ >= s_.size() || !IsNameStart(static_cast<unsigned char>(s_[p_]))) return Bad("name expected");
    while (p_ < s_.size() && IsNameChar(static_cast<unsigned char>(s_[p_]))) ++p_;
    *out = s_.substr(start, p_ - start);
    return true;
  }

  // At '&': a predefined entity or a character reference.
  bool Reference(std::string* out) {
    const std::size_t end = s_.find(';', p_);
    if (end == std::string::npos || end - p_ > 12) return Bad("bad reference");
    const std::string ref = s_.substr(p_ + 1, end - p_ - 1);
    p_ = end + 1;
    if (ref == "amp") *out += '&';
    else if (ref == "lt") *out += '<';
    else if (ref == "gt") *out += '>';
    else if (ref == "quot") *out += '"';
    else if (ref == "apos") *out += '\'';
    else if (ref.size() > 1 && ref[0] == '#') {
      const bool hex = ref[1] == 'x';
      const std::string digits = ref.substr(hex ? 2 : 1);
      if (digits.empty()) return Bad("bad character reference");
      std::uint32_t c = 0;
      for (char d : digits) {
        int v = d >= '0' && d <= '9' ? d - '0' : hex && d >= 'a' && d <= 'f' ? d - 'a' + 10
                : hex && d >= 'A' && d <= 'F' ? d - 'A' + 10 : -1;
        if (v < 0) return Bad("bad character reference");
        c = c * (hex ? 16 : 10) + static_cast<std::uint32_t>(v);
        if (c > 0x10FFFF) return Bad("bad character reference");
      }
      if (!IsXmlChar(c)) return Bad("reference to a character not allowed in XML");
      AppendUtf8(*out, c);
    } else {
      return Bad("unknown entity &" + ref + ";");
    }
    return true;
  }

  bool Element(XmlElement* e, int depth) {
    if (depth > 200) return Bad("too deep");
    if (!At("<")) return Bad("element expected");
    ++p_;
    if (!Name(&e->name)) return false;
    for (;;) {
      const std::size_t before = p_;
      SkipSpace();
      if (At("/>")) {
        p_ += 2;
        return true;
      }
      if (At(">")) {
        ++p_;
        break;
      }
      if (p_ == before) return Bad("space expected before an attribute");
      std::string name, value;
      if (!Name(&name)) return false;
      SkipSpace();
      if (!At("=")) return Bad("'=' expected");
      ++p_;
      SkipSpace();
      if (p_ >= s_.size() || (s_[p_] != '"' && s_[p_] != '\'')) return Bad("quoted value expected");
      const char quote = s_[p_++];
      while (p_ < s_.size() && s_[p_] != quote) {
        const char c = s_[p_];
        if (c == '<') return Bad("'<' in an attribute value");
        if (c == '&') {
          if (!Reference(&value)) return false;
        } else {
          value += IsSpace(c) ? ' ' : c;
          ++p_;
        }
      }
      if (p_ >= s_.size()) return Bad("unterminated attribute value");
      ++p_;
      if (e->Attribute(name)) return Bad("duplicate attribute " + name);
      e->attributes.emplace_back(name, value);
    }
    // Content up to the end tag.
    for (;;) {
      if (p_ >= s_.size()) return Bad("missing end tag of " + e->name);
      if (At("</")) {
        p_ += 2;
        std::string name;
        if (!Name(&name)) return false;
        if (name != e->name) return Bad("end tag " + name + " does not match " + e->name);
        SkipSpace();
        if (!At(">")) return Bad("'>' expected");
        ++p_;
        return true;
      }
      if (At("<!") || At("<?")) {
        return Bad("comment, CDATA or processing instruction");      } else if (At("<")) {
        e->children.emplace_back();
        if (!Element(&e->children.back(), depth + 1)) return false;
      } else if (At("&")) {
        if (!Reference(&e->text)) return false;
      } else {
        if (At("]]>")) return Bad("']]>' in text");
        e->text += s_[p_++];
      }
    }
  }

  std::string s_;
  std::size_t p_ = 0;
  std::string error_;
};

}  // namespace xml_check_detail

// Empty when `bytes` is a well-formed document (then *doc holds it), else
// what is wrong and where.
inline std::string ParseXml(std::string_view bytes, XmlDocument* doc) {
  *doc = XmlDocument{};
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    doc->bom = true;
    bytes.remove_prefix(3);
  }
  return xml_check_detail::Parser(std::string(bytes)).Run(doc);
}

}  // namespace hs::testing
