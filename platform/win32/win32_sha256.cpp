#include <windows.h>
#include <bcrypt.h>

#include <algorithm>

#include "platform/sha256.h"

namespace hs {

std::string Sha256Hex(std::span<const std::uint8_t> data) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) return {};
  unsigned char digest[32] = {};
  bool ok = true;
  // BCryptHash takes ULONG lengths: hash larger inputs piecewise.
  BCRYPT_HASH_HANDLE hash = nullptr;
  ok = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) >= 0;
  for (std::size_t done = 0; ok && done < data.size();) {
    const ULONG n = static_cast<ULONG>(std::min<std::size_t>(data.size() - done, 1u << 30));
    ok = BCryptHashData(hash, const_cast<PUCHAR>(data.data() + done), n, 0) >= 0;
    done += n;
  }
  ok = ok && BCryptFinishHash(hash, digest, sizeof digest, 0) >= 0;
  if (hash) BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  if (!ok) return {};
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : digest) {
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 15]);
  }
  return out;
}

}  // namespace hs
