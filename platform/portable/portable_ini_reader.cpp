#include "platform/portable/portable_ini_reader.h"

#include <exception>

namespace hs {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r') || c == 0x1A; }

TextView TrimBlanks(TextView t) {
  while (!t.empty() && IsBlank(t.front())) t.remove_prefix(1);
  while (!t.empty() && IsBlank(t.back())) t.remove_suffix(1);
  return t;
}

TextView CutAtNul(TextView t) {
  std::size_t nul = t.find(u'\0');
  return nul == TextView::npos ? t : t.substr(0, nul);
}

Text Decode(const std::uint8_t* data, std::size_t size) {
  if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF)
    return FromUtf8(std::string_view(reinterpret_cast<const char*>(data) + 3, size - 3));
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) return FromUtf16leBytes(data + 2, (size - 2) & ~std::size_t{1});
  if (size >= 2 && data[0] == 0xFE && data[1] == 0xFF) {
    Text out;
    out.reserve((size - 2) / 2);
    for (std::size_t i = 2; i + 1 < size; i += 2) out.push_back(static_cast<char16_t>((data[i] << 8) | data[i + 1]));
    return out;
  }
  return FromCp1252(std::string_view(reinterpret_cast<const char*>(data), size));
}

// A value in matching double or single quotes loses them.
TextView StripQuotes(TextView v) {
  if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

}  // namespace

IniDocument IniDocument::Parse(const std::uint8_t* data, std::size_t size) {
  const Text text = Decode(data, size);
  IniDocument doc;
  doc.sections_.emplace_back();  // lines before the first section header
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = start;
    while (end < text.size() && text[end] != u'\r' && text[end] != u'\n') ++end;
    TextView line = TrimBlanks(TextView(text).substr(start, end - start));
    start = end + 1;
    if (line.empty()) continue;

    if (line.front() == u'[') {
      std::size_t close = line.rfind(u']');
      if (close != TextView::npos) {
        Section s;
        s.name = Text(TrimBlanks(CutAtNul(line.substr(1, close - 1))));
        doc.sections_.push_back(std::move(s));
        continue;
      }
    }
    Entry e;
    std::size_t eq = line.find(u'=');
    if (eq == TextView::npos) {
      e.name = Text(CutAtNul(line));
    } else {
      e.name = Text(TrimBlanks(CutAtNul(line.substr(0, eq))));
      e.value = Text(CutAtNul(TrimBlanks(line.substr(eq + 1))));
      e.has_value = true;
    }
    doc.sections_.back().entries.push_back(std::move(e));
  }
  return doc;
}

const Text* IniDocument::Find(TextView section, TextView key) const {
  for (const Section& s : sections_) {
    if (!EqualsNoCase(s.name, section)) continue;
    for (const Entry& e : s.entries) {
      if (EqualsNoCase(e.name, key)) return e.has_value ? &e.value : nullptr;
    }
    return nullptr;  // only the first section of a name counts
  }
  return nullptr;
}

std::shared_ptr<const IniDocument> PortableIniReader::Load(TextView path) {
  FileInfo info;
  const bool known = fs_.GetFileInfo(path, &info) == err::kSuccess;
  if (known && info.is_directory) return nullptr;
  if (known) {
    for (auto it = cache_.begin(); it != cache_.end(); ++it) {
      if (EqualsNoCase(it->path, path) && it->info.size == info.size && it->info.last_write == info.last_write) {
        cache_.splice(cache_.begin(), cache_, it);
        return cache_.front().doc;
      }
    }
  }
  std::vector<std::uint8_t> bytes;
  if (fs_.ReadFile(path, kIniMaxFileBytes, &bytes) != err::kSuccess) return nullptr;
  auto doc = std::make_shared<const IniDocument>(IniDocument::Parse(bytes.data(), bytes.size()));
  if (known) {
    for (auto it = cache_.begin(); it != cache_.end(); ++it) {
      if (EqualsNoCase(it->path, path)) {
        cache_.erase(it);
        break;
      }
    }
    cache_.push_front(Cached{Text(path), info, doc});
    if (cache_.size() > kIniCachedFiles) cache_.pop_back();
  }
  return doc;
}

Text PortableIniReader::ReadString(TextView path, TextView section, TextView key, TextView default_value,
                                   std::size_t capacity) {
  if (capacity == 0) return {};
  try {
    TextView result = CutAtNul(default_value);
    while (!result.empty() && result.back() == u' ') result.remove_suffix(1);

    std::lock_guard<std::mutex> lock(mu_);
    std::shared_ptr<const IniDocument> doc = Load(path);
    if (doc) {
      if (const Text* value = doc->Find(TrimBlanks(CutAtNul(section)), TrimBlanks(CutAtNul(key))))
        result = StripQuotes(*value);
    }
    return Text(result.substr(0, capacity - 1));
  } catch (const std::exception&) {
    return {};  // out of memory
  }
}

}  // namespace hs
