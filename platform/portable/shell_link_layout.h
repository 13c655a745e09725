// Strict walk of a shortcut file's structure from its bytes in memory,
// before a parser that trusts declared sizes sees them.
//
// The walk follows the link flags: the 76-byte header, the target item list
// (a 16-bit size, then items of 16-bit sizes up to a zero terminator), the
// link information (a 32-bit size, its header, its volume, network and path
// parts at offsets inside it), the string items (16-bit character counts,
// two bytes a character when the link is Unicode), then the extra-data
// blocks (32-bit sizes up to a terminal block). Every declared size, offset
// and count must fit the bytes that remain, so nothing read from the file
// can describe more memory than the file itself holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace hs {

// The limits of the walk, all from the shell-link layout.
inline constexpr std::uint32_t kShellLinkHeaderBytes = 0x4C;
// The link information's header without (and with) the Unicode offsets.
inline constexpr std::uint32_t kLinkInfoHeaderBytes = 0x1C;
inline constexpr std::uint32_t kLinkInfoUnicodeHeaderBytes = 0x24;
// A volume description is larger than this; a label offset equal to
// kVolumeIdUnicodeLabelAt says a Unicode label offset follows.
inline constexpr std::uint32_t kVolumeIdFixedBytes = 0x10;
inline constexpr std::uint32_t kVolumeIdUnicodeLabelAt = 0x14;
// A network location is at least this large; a net-name offset above it
// says the two Unicode offsets follow.
inline constexpr std::uint32_t kNetworkLinkFixedBytes = 0x14;
inline constexpr std::uint32_t kNetworkLinkUnicodeBytes = 0x1C;
// An extra-data block holds its size and signature; a size below
// kExtraDataTerminalBelow ends the blocks.
inline constexpr std::uint32_t kExtraDataBlockMinBytes = 8;
inline constexpr std::uint32_t kExtraDataTerminalBelow = 4;

// The bytes hold a shell link whose every declared size fits: true, or
// false for anything else (too short, wrong header or class, a size, offset
// or count past its end, a string without its terminator inside its part).
// Bytes after the terminal block are not looked at.
[[nodiscard]] bool ShellLinkLayoutFits(std::span<const std::uint8_t> bytes);

}  // namespace hs
