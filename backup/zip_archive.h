// Zip archives held in memory, written and read with minizip over an
// in-memory stream, so that the bytes reach the disk only through the
// FileSystem port (atomically, see WriteFileAtomic) and so that readers can be
// fed any buffer.
//
// Archives are hostile input when read: entry counts, names and sizes are
// checked against the limits below before anything is allocated, and a
// damaged archive is an error, never a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/win_error.h"

namespace hs {

// Largest archive read, entry extracted, and entry count accepted.
inline constexpr std::uint64_t kMaxZipArchiveBytes = std::uint64_t{1} << 30;
inline constexpr std::uint64_t kMaxZipEntryBytes = std::uint64_t{1} << 30;
inline constexpr std::uint64_t kMaxZipEntries = 4096;
// Longest entry name accepted, in bytes.
inline constexpr std::size_t kMaxZipEntryName = 260;

// Builds a zip archive (deflate) in memory. Not thread-safe.
class ZipWriter {
 public:
  ZipWriter();
  ~ZipWriter();
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;

  // Adds an entry under `name` (ASCII). False when the archive could not
  // take it (the writer is then unusable).
  [[nodiscard]] bool Add(const std::string& name, std::span<const std::uint8_t> bytes);
  // Closes the archive and moves its bytes to *out. False on failure.
  [[nodiscard]] bool Finish(std::vector<std::uint8_t>* out);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Reads a zip archive from a caller-owned buffer that outlives the reader.
class ZipReader {
 public:
  ZipReader();
  ~ZipReader();
  ZipReader(const ZipReader&) = delete;
  ZipReader& operator=(const ZipReader&) = delete;

  // Opens the archive and lists its entries. False (with a reason in
  // error()) when it is not a readable zip archive or breaks a limit.
  [[nodiscard]] bool Open(std::span<const std::uint8_t> bytes);
  std::size_t EntryCount() const { return names_.size(); }
  const std::string& EntryName(std::size_t i) const { return names_[i]; }
  // Extracts entry i (decompressed, CRC checked). False with error() set.
  [[nodiscard]] bool Extract(std::size_t i, std::vector<std::uint8_t>* out);
  const std::string& error() const { return error_; }

 private:
  struct State;
  std::unique_ptr<State> state_;
  std::vector<std::string> names_;
  std::vector<std::uint64_t> sizes_;
  std::string error_;
};

}  // namespace hs
