// Portable INI reader: parses the file itself (format and encodings in
// platform/ini_reader.h), read through a FileSystem.
//
// Files larger than kIniMaxFileBytes, or that cannot be read, read as
// missing. Parsed files are kept (up to kIniCachedFiles, the most recently
// used) and reused while their size and last-write time are unchanged, so
// that reading many keys does not parse the file again each time; a file
// whose time cannot be read is parsed for every call.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/file_system.h"
#include "platform/ini_reader.h"

namespace hs {

inline constexpr std::uint64_t kIniMaxFileBytes = 4u * 1024 * 1024;
inline constexpr std::size_t kIniCachedFiles = 4;

// The parsed content of one INI file.
class IniDocument {
 public:
  // Decodes and parses file bytes; never fails (garbage yields odd keys).
  static IniDocument Parse(const std::uint8_t* data, std::size_t size);

  // The raw value of section/key (quotes not yet removed), or null when the
  // section or key is missing or the key has no '='.
  const Text* Find(TextView section, TextView key) const;

 private:
  struct Entry {
    Text name;
    Text value;
    bool has_value = false;
  };
  struct Section {
    Text name;
    std::vector<Entry> entries;
  };
  std::vector<Section> sections_;
};

class PortableIniReader final : public IniReader {
 public:
  // `fs` must outlive the reader.
  explicit PortableIniReader(FileSystem& fs) : fs_(fs) {}

  Text ReadString(TextView path, TextView section, TextView key, TextView default_value,
                  std::size_t capacity) override;

 private:
  struct Cached {
    Text path;  // as asked, compared without regard to case
    FileInfo info;
    std::shared_ptr<const IniDocument> doc;
  };
  // The parsed file, or null when it cannot be read.
  std::shared_ptr<const IniDocument> Load(TextView path);

  FileSystem& fs_;
  std::mutex mu_;
  std::list<Cached> cache_;  // most recently used first
};

}  // namespace hs
