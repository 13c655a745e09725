// SHA-256 digests, by the system's own library: BCrypt in the win32 build,
// OpenSSL's libcrypto natively (platform/sha256.cpp).
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace hs {

// Lower-case hexadecimal digest of `data`; empty when the library failed.
std::string Sha256Hex(std::span<const std::uint8_t> data);

}  // namespace hs
