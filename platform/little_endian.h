// Little-endian integers in byte buffers, for the binary file formats read
// and written here. Callers check the bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace hs {

inline std::uint16_t LoadLe16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

inline std::uint32_t LoadLe32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
         (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

template <typename T>
void StoreLe(std::vector<std::uint8_t>& b, std::size_t at, T v) {
  for (std::size_t i = 0; i < sizeof(T); ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace hs
