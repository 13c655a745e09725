// Registry hive files (regf) on the host, through hivex: a header check
// that runs before hivex sees a file, a compact rebuild of a hive, a
// comparison of two hives' contents, and the in-place compaction that the
// boot-time step performs.
//
// The compact copy is a blank hive (blank_hive.h) with the same root name,
// into which every key and value of the source is copied in order; hivex
// writes it without the free space of the source. Key class names,
// security descriptors and last-written times are not carried over.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

namespace hs {

// Checks the base block of a hive held in memory (the whole file): the
// "regf" signature, the checksum, format 1, a hive bins size that is a
// multiple of 4096 and lies inside the buffer, a root cell inside the bins
// data, the first bin's "hbin" signature, and the size limit
// kMaxHiveFileBytes. False with *why on the first fault.
[[nodiscard]] bool CheckHiveImage(std::span<const std::uint8_t> image, std::string* why);

// CheckHiveImage on a host file (read whole, within kMaxHiveFileBytes).
[[nodiscard]] bool CheckHiveFile(const std::filesystem::path& file, std::string* why);

// Writes a compact copy of `source` to `target` (replaced when present).
// False with *error when the source fails the check, hivex refuses it, a
// key is nested deeper than kMaxHiveKeyDepth, or writing fails; `target` is
// then removed.
[[nodiscard]] bool WriteCompactHive(const std::filesystem::path& source, const std::filesystem::path& target,
                                    std::string* error);

// Whether both hives open and hold the same keys (by name, in order), the
// same values (by name, in order) with the same types and data. *difference
// names the first difference.
[[nodiscard]] bool SameHiveContents(const std::filesystem::path& a, const std::filesystem::path& b,
                                    std::string* difference);

// Compacts `file` in place: the copy "<file>.compact" is written and
// compared with the file, the file is renamed to "<file>.old", the copy to
// `file`, and only then is "<file>.old" removed. When the copy cannot be
// made or differs, it is removed and the file is left untouched.
// `write` makes the copy (WriteCompactHive unless a test gives another).
using HiveCopyWriter = std::function<bool(const std::filesystem::path& source, const std::filesystem::path& target,
                                          std::string* error)>;
[[nodiscard]] bool CompactHiveInPlace(const std::filesystem::path& file, std::string* error,
                                      const HiveCopyWriter& write = WriteCompactHive);

}  // namespace hs
