#include "platform/portable/shell_link_layout.h"

#include <algorithm>
#include <cstring>

#include "platform/little_endian.h"

namespace hs {

namespace {

// The shell-link class identifier as stored (little-endian fields).
constexpr std::uint8_t kShellLinkClassId[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr std::size_t kClassIdAt = 4;
constexpr std::size_t kLinkFlagsAt = 20;

// Link flags that say which parts follow the header.
constexpr std::uint32_t kHasTargetIdList = 1u << 0;
constexpr std::uint32_t kHasLinkInfo = 1u << 1;
constexpr std::uint32_t kHasName = 1u << 2;
constexpr std::uint32_t kHasRelativePath = 1u << 3;
constexpr std::uint32_t kHasWorkingDir = 1u << 4;
constexpr std::uint32_t kHasArguments = 1u << 5;
constexpr std::uint32_t kHasIconLocation = 1u << 6;
constexpr std::uint32_t kIsUnicode = 1u << 7;

// Link information flags.
constexpr std::uint32_t kVolumeIdAndLocalBasePath = 1u << 0;
constexpr std::uint32_t kNetworkLinkAndPathSuffix = 1u << 1;
// Network location flag: the device name offset is valid.
constexpr std::uint32_t kValidDevice = 1u << 0;

using Bytes = std::span<const std::uint8_t>;


// A NUL-terminated single-byte string at `at` ends inside `part`.
bool AnsiFits(Bytes part, std::uint32_t at) {
  return at < part.size() && std::find(part.begin() + at, part.end(), 0) != part.end();
}
// A NUL-terminated UTF-16 string at `at` ends inside `part`.
bool Utf16Fits(Bytes part, std::uint32_t at) {
  for (std::size_t i = at; i < part.size() && part.size() - i >= 2; i += 2)
    if (part[i] == 0 && part[i + 1] == 0) return true;
  return false;
}

// The target item list after its 16-bit size: items of 16-bit sizes (each
// counting its own size field) up to a zero terminator inside the list.
bool ItemListFits(Bytes list) {
  std::size_t pos = 0;
  while (list.size() - pos >= 2) {
    const std::uint16_t size = LoadLe16(list, pos);
    if (size == 0) return true;
    if (size < 2 || size > list.size() - pos) return false;
    pos += size;
  }
  return false;
}

// A volume description at `at` inside the link information.
bool VolumeIdFits(Bytes info, std::uint32_t at) {
  if (at >= info.size() || info.size() - at < 4) return false;
  const std::uint32_t size = LoadLe32(info, at);
  if (size <= kVolumeIdFixedBytes || size > info.size() - at) return false;
  const Bytes volume = info.subspan(at, size);
  const std::uint32_t label = LoadLe32(volume, 12);
  if (label == kVolumeIdUnicodeLabelAt) {
    if (size < kVolumeIdUnicodeLabelAt) return false;
    return Utf16Fits(volume, LoadLe32(volume, kVolumeIdFixedBytes));
  }
  return AnsiFits(volume, label);
}

// A network location at `at` inside the link information.
bool NetworkLinkFits(Bytes info, std::uint32_t at) {
  if (at >= info.size() || info.size() - at < 4) return false;
  const std::uint32_t size = LoadLe32(info, at);
  if (size < kNetworkLinkFixedBytes || size > info.size() - at) return false;
  const Bytes link = info.subspan(at, size);
  const std::uint32_t flags = LoadLe32(link, 4);
  const std::uint32_t net_name = LoadLe32(link, 8);
  if (!AnsiFits(link, net_name)) return false;
  if ((flags & kValidDevice) && !AnsiFits(link, LoadLe32(link, 12))) return false;
  if (net_name > kNetworkLinkFixedBytes) {
    if (size < kNetworkLinkUnicodeBytes) return false;
    if (!Utf16Fits(link, LoadLe32(link, 20))) return false;
    if ((flags & kValidDevice) && !Utf16Fits(link, LoadLe32(link, 24))) return false;
  }
  return true;
}

// The link information: its size and header, then the parts its flags name.
bool LinkInfoFits(Bytes info) {
  const std::uint32_t header = LoadLe32(info, 4);
  if (header != kLinkInfoHeaderBytes && (header < kLinkInfoUnicodeHeaderBytes || header > info.size())) return false;
  const bool unicode = header >= kLinkInfoUnicodeHeaderBytes;
  const std::uint32_t flags = LoadLe32(info, 8);
  if (flags & kVolumeIdAndLocalBasePath) {
    if (!VolumeIdFits(info, LoadLe32(info, 12)) || !AnsiFits(info, LoadLe32(info, 16))) return false;
    if (unicode && !Utf16Fits(info, LoadLe32(info, 28))) return false;
  }
  if (flags & kNetworkLinkAndPathSuffix) {
    if (!NetworkLinkFits(info, LoadLe32(info, 20))) return false;
  }
  if (!AnsiFits(info, LoadLe32(info, 24))) return false;
  if (unicode && !Utf16Fits(info, LoadLe32(info, 32))) return false;
  return true;
}

}  // namespace

bool ShellLinkLayoutFits(Bytes bytes) {
  if (bytes.size() < kShellLinkHeaderBytes || LoadLe32(bytes, 0) != kShellLinkHeaderBytes) return false;
  if (std::memcmp(bytes.data() + kClassIdAt, kShellLinkClassId, sizeof kShellLinkClassId) != 0) return false;
  const std::uint32_t flags = LoadLe32(bytes, kLinkFlagsAt);
  Bytes rest = bytes.subspan(kShellLinkHeaderBytes);

  if (flags & kHasTargetIdList) {
    if (rest.size() < 2) return false;
    const std::uint16_t size = LoadLe16(rest, 0);
    if (size > rest.size() - 2 || !ItemListFits(rest.subspan(2, size))) return false;
    rest = rest.subspan(2 + std::size_t{size});
  }

  if (flags & kHasLinkInfo) {
    if (rest.size() < 4) return false;
    const std::uint32_t size = LoadLe32(rest, 0);
    if (size < kLinkInfoHeaderBytes || size > rest.size() || !LinkInfoFits(rest.first(size))) return false;
    rest = rest.subspan(size);
  }

  const std::size_t char_bytes = (flags & kIsUnicode) ? 2 : 1;
  for (const std::uint32_t item : {kHasName, kHasRelativePath, kHasWorkingDir, kHasArguments, kHasIconLocation}) {
    if (!(flags & item)) continue;
    if (rest.size() < 2) return false;
    const std::size_t size = LoadLe16(rest, 0) * char_bytes;
    if (size > rest.size() - 2) return false;
    rest = rest.subspan(2 + size);
  }

  // Extra-data blocks up to the terminal block (or the end of the file).
  while (!rest.empty()) {
    if (rest.size() < 4) return false;
    const std::uint32_t size = LoadLe32(rest, 0);
    if (size < kExtraDataTerminalBelow) return true;
    if (size < kExtraDataBlockMinBytes || size > rest.size()) return false;
    rest = rest.subspan(size);
  }
  return true;
}

}  // namespace hs
