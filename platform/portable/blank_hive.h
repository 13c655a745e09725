// A blank registry hive file (regf): a base block and one hive bin holding
// the root key, its security cell and a free cell. A hive library that cannot
// create a hive from nothing opens these bytes and adds keys and values.
// See blank_hive.md for the fields written and how the result was checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/text.h"

namespace hs {

// Sizes and offsets of the layout written; the hive bins data (and every
// cell offset) starts at kHiveBaseBlockSize in the file.
inline constexpr std::size_t kHiveBaseBlockSize = 4096;
inline constexpr std::size_t kHiveBinSize = 4096;
inline constexpr std::size_t kHiveChecksumOffset = 508;
inline constexpr std::uint32_t kHiveMajorVersion = 1;
inline constexpr std::uint32_t kHiveMinorVersion = 5;
// Key names hold at most this many UTF-16 units.
inline constexpr std::size_t kHiveMaxKeyNameUnits = 255;
// Cell offsets of the root key node and its security cell, relative to the
// start of the hive bins data.
inline constexpr std::uint32_t kBlankHiveRootCell = 0x20;

// Root key flags: hive entry, not deletable, name stored one byte a unit.
inline constexpr std::uint16_t kKeyHiveEntry = 0x0004;
inline constexpr std::uint16_t kKeyNoDelete = 0x0008;
inline constexpr std::uint16_t kKeyCompressedName = 0x0020;

// XOR of the 127 little-endian 32-bit words before the checksum field of a
// base block; 0 becomes 1 and 0xFFFFFFFF becomes 0xFFFFFFFE. `base_block`
// must hold at least kHiveChecksumOffset bytes (else 0 is returned, which is
// never a valid checksum).
[[nodiscard]] std::uint32_t HiveBaseBlockChecksum(std::span<const std::uint8_t> base_block);

// Writes a blank hive (8192 bytes) whose root key is named `root_name` and
// whose base block, bin and root key carry `filetime` (100 ns units since
// 1601). The name is stored one byte a unit when every unit is below 0x100,
// else as UTF-16. False (and `out` untouched) when the name is empty, longer
// than kHiveMaxKeyNameUnits or holds a backslash or a NUL.
[[nodiscard]] bool MakeBlankHive(TextView root_name, std::uint64_t filetime, std::vector<std::uint8_t>* out);

}  // namespace hs
