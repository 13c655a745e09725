// Limits on the hive data the program reads: the hivelist entries, the
// compaction parameter file, the analysis summary and registry hive files.
// Anything beyond them is refused as malformed, so a damaged or hostile file
// can cost no more memory or time than these allow.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hs {

// hivelist value names and data (the hive list of the installation).
inline constexpr std::size_t kMaxHiveNameChars = 1024;
inline constexpr std::size_t kMaxHivePathBytes = 1024;
// Hives listed in one parameter file or one analysis summary.
inline constexpr std::uint32_t kMaxHiveRecords = 1024;
// The parameter file: header, then per record 16 bytes and two texts of at
// most kMaxHiveNameChars UTF-16 units each.
inline constexpr std::uint64_t kMaxParameterFileBytes =
    12 + std::uint64_t{kMaxHiveRecords} * (16 + 4 * kMaxHiveNameChars);
// The analysis summary (summary2.bin).
inline constexpr std::uint64_t kMaxSummaryFileBytes = 4 * 1024 * 1024;
// A registry hive file taken for compaction (the largest hive Windows loads
// is far smaller: SOFTWARE reaches a few hundred MB at most).
inline constexpr std::uint64_t kMaxHiveFileBytes = 2ull * 1024 * 1024 * 1024;
// Depth of keys copied from one hive into its compact copy.
inline constexpr int kMaxHiveKeyDepth = 512;

}  // namespace hs
