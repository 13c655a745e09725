#include "platform/portable/blank_hive.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <utility>

#include "platform/little_endian.h"

namespace hs {
namespace {

// Base block fields.
constexpr std::size_t kBaseSignature = 0;
constexpr std::size_t kBasePrimarySequence = 4;
constexpr std::size_t kBaseSecondarySequence = 8;
constexpr std::size_t kBaseLastWritten = 12;
constexpr std::size_t kBaseMajorVersion = 20;
constexpr std::size_t kBaseMinorVersion = 24;
constexpr std::size_t kBaseFileType = 28;
constexpr std::size_t kBaseFileFormat = 32;
constexpr std::size_t kBaseRootCell = 36;
constexpr std::size_t kBaseBinsDataSize = 40;
constexpr std::size_t kBaseClustering = 44;
constexpr std::size_t kBaseFileName = 48;
constexpr std::size_t kBaseFileNameBytes = 64;
constexpr std::uint32_t kFileTypePrimary = 0;
constexpr std::uint32_t kFileFormatDirectMemoryLoad = 1;
constexpr std::uint32_t kClusteringFactor = 1;
constexpr std::uint32_t kSequence = 1;

// Hive bin header fields.
constexpr std::size_t kBinSignature = 0;
constexpr std::size_t kBinOffset = 4;
constexpr std::size_t kBinSize = 8;
constexpr std::size_t kBinTimestamp = 20;
constexpr std::size_t kBinHeaderSize = 32;

// Key node cell fields (offsets from the cell's size field).
constexpr std::size_t kNkSignature = 4;
constexpr std::size_t kNkFlags = 6;
constexpr std::size_t kNkLastWritten = 8;
constexpr std::size_t kNkParent = 20;
constexpr std::size_t kNkSubkeyCount = 24;
constexpr std::size_t kNkVolatileSubkeyCount = 28;
constexpr std::size_t kNkSubkeyList = 32;
constexpr std::size_t kNkVolatileSubkeyList = 36;
constexpr std::size_t kNkValueCount = 40;
constexpr std::size_t kNkValueList = 44;
constexpr std::size_t kNkSecurity = 48;
constexpr std::size_t kNkClass = 52;
constexpr std::size_t kNkNameLength = 76;
constexpr std::size_t kNkClassLength = 78;
constexpr std::size_t kNkName = 80;

// Security cell fields.
constexpr std::size_t kSkSignature = 4;
constexpr std::size_t kSkFlink = 8;
constexpr std::size_t kSkBlink = 12;
constexpr std::size_t kSkReferences = 16;
constexpr std::size_t kSkDescriptorSize = 20;
constexpr std::size_t kSkDescriptor = 24;

constexpr std::uint32_t kNoCell = 0xFFFFFFFF;
constexpr std::size_t kCellAlignment = 8;

// Security descriptor pieces.
constexpr std::uint16_t kSeDaclPresent = 0x0004;
constexpr std::uint16_t kSeSelfRelative = 0x8000;
constexpr std::uint8_t kAclRevision = 2;
constexpr std::uint8_t kAccessAllowedAce = 0;
constexpr std::uint8_t kContainerInheritAce = 0x02;
constexpr std::uint32_t kKeyAllAccess = 0x000F003F;
constexpr std::uint32_t kKeyRead = 0x00020019;
constexpr std::size_t kDescriptorHeaderSize = 20;
constexpr std::size_t kAclHeaderSize = 8;
constexpr std::size_t kAceHeaderSize = 8;

void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) { StoreLe(b, at, v); }
void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) { StoreLe(b, at, v); }
void Put64(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v) { StoreLe(b, at, v); }

void PutAscii(std::vector<std::uint8_t>& b, std::size_t at, const char* s) {
  for (std::size_t i = 0; s[i] != '\0'; ++i) b[at + i] = static_cast<std::uint8_t>(s[i]);
}

// A cell's size field: negative while allocated.
std::uint32_t AllocatedSize(std::size_t size) { return static_cast<std::uint32_t>(-static_cast<std::int64_t>(size)); }

std::size_t AlignCell(std::size_t size) { return (size + kCellAlignment - 1) / kCellAlignment * kCellAlignment; }

// NT AUTHORITY (5) SIDs: S-1-5-<subauthorities...>.
std::vector<std::uint8_t> NtSid(std::initializer_list<std::uint32_t> subauthorities) {
  std::vector<std::uint8_t> sid(8 + 4 * subauthorities.size(), 0);
  sid[0] = 1;  // revision
  sid[1] = static_cast<std::uint8_t>(subauthorities.size());
  sid[7] = 5;  // identifier authority, big-endian 48 bits
  std::size_t at = 8;
  for (std::uint32_t sub : subauthorities) {
    Put32(sid, at, sub);
    at += 4;
  }
  return sid;
}

void Append(std::vector<std::uint8_t>& to, const std::vector<std::uint8_t>& bytes) {
  to.insert(to.end(), bytes.begin(), bytes.end());
}

// Self-relative descriptor: owner BUILTIN\Administrators, group SYSTEM, a
// DACL granting full control to Administrators and SYSTEM and read to Users
// (inherited by subkeys); no SACL.
std::vector<std::uint8_t> DefaultKeyDescriptor() {
  const std::vector<std::uint8_t> administrators = NtSid({32, 544});
  const std::vector<std::uint8_t> system = NtSid({18});
  const std::vector<std::uint8_t> users = NtSid({32, 545});
  struct Grant {
    const std::vector<std::uint8_t>* sid;
    std::uint32_t mask;
  };
  const std::array<Grant, 3> grants = {{{&administrators, kKeyAllAccess}, {&system, kKeyAllAccess}, {&users, kKeyRead}}};

  std::vector<std::uint8_t> acl(kAclHeaderSize, 0);
  for (const Grant& g : grants) {
    std::vector<std::uint8_t> ace(kAceHeaderSize, 0);
    ace[0] = kAccessAllowedAce;
    ace[1] = kContainerInheritAce;
    Put16(ace, 2, static_cast<std::uint16_t>(kAceHeaderSize + g.sid->size()));
    Put32(ace, 4, g.mask);
    Append(ace, *g.sid);
    Append(acl, ace);
  }
  acl[0] = kAclRevision;
  Put16(acl, 2, static_cast<std::uint16_t>(acl.size()));
  Put16(acl, 4, static_cast<std::uint16_t>(grants.size()));

  std::vector<std::uint8_t> sd(kDescriptorHeaderSize, 0);
  sd[0] = 1;  // revision
  Put16(sd, 2, kSeSelfRelative | kSeDaclPresent);
  const std::size_t dacl_at = sd.size();
  Append(sd, acl);
  const std::size_t owner_at = sd.size();
  Append(sd, administrators);
  const std::size_t group_at = sd.size();
  Append(sd, system);
  Put32(sd, 4, static_cast<std::uint32_t>(owner_at));
  Put32(sd, 8, static_cast<std::uint32_t>(group_at));
  Put32(sd, 12, 0);  // no SACL
  Put32(sd, 16, static_cast<std::uint32_t>(dacl_at));
  return sd;
}

bool NameAllowed(TextView name) {
  if (name.empty() || name.size() > kHiveMaxKeyNameUnits) return false;
  return std::none_of(name.begin(), name.end(), [](char16_t c) { return c == u'\\' || c == u'\0'; });
}

}  // namespace

std::uint32_t HiveBaseBlockChecksum(std::span<const std::uint8_t> base_block) {
  if (base_block.size() < kHiveChecksumOffset) return 0;
  std::uint32_t sum = 0;
  for (std::size_t at = 0; at < kHiveChecksumOffset; at += 4) sum ^= LoadLe32(base_block, at);
  if (sum == 0xFFFFFFFF) return 0xFFFFFFFE;
  if (sum == 0) return 1;
  return sum;
}

bool MakeBlankHive(TextView root_name, std::uint64_t filetime, std::vector<std::uint8_t>* out) {
  if (!NameAllowed(root_name)) return false;
  const bool compressed = std::all_of(root_name.begin(), root_name.end(), [](char16_t c) { return c < 0x100; });
  const std::size_t name_bytes = compressed ? root_name.size() : 2 * root_name.size();

  const std::vector<std::uint8_t> descriptor = DefaultKeyDescriptor();
  const std::uint32_t root_cell = kBlankHiveRootCell;
  const std::size_t root_size = AlignCell(kNkName + name_bytes);
  const auto sk_cell = static_cast<std::uint32_t>(root_cell + root_size);
  const std::size_t sk_size = AlignCell(kSkDescriptor + descriptor.size());
  const std::size_t free_cell = sk_cell + sk_size;
  static_assert(kBlankHiveRootCell == kBinHeaderSize);
  // The longest root name and the descriptor (well under 512 bytes) fit the bin.
  static_assert(kBinHeaderSize + kNkName + 2 * kHiveMaxKeyNameUnits + 8 + kSkDescriptor + 512 < kHiveBinSize);

  std::vector<std::uint8_t> b(kHiveBaseBlockSize + kHiveBinSize, 0);

  // Base block.
  PutAscii(b, kBaseSignature, "regf");
  Put32(b, kBasePrimarySequence, kSequence);
  Put32(b, kBaseSecondarySequence, kSequence);
  Put64(b, kBaseLastWritten, filetime);
  Put32(b, kBaseMajorVersion, kHiveMajorVersion);
  Put32(b, kBaseMinorVersion, kHiveMinorVersion);
  Put32(b, kBaseFileType, kFileTypePrimary);
  Put32(b, kBaseFileFormat, kFileFormatDirectMemoryLoad);
  Put32(b, kBaseRootCell, root_cell);
  Put32(b, kBaseBinsDataSize, static_cast<std::uint32_t>(kHiveBinSize));
  Put32(b, kBaseClustering, kClusteringFactor);
  // File name: the root name, cut to leave a terminating NUL in the field.
  const std::size_t file_name_units = std::min(root_name.size(), kBaseFileNameBytes / 2 - 1);
  for (std::size_t i = 0; i < file_name_units; ++i) Put16(b, kBaseFileName + 2 * i, root_name[i]);
  Put32(b, kHiveChecksumOffset, HiveBaseBlockChecksum(std::span(b).first(kHiveBaseBlockSize)));

  // The one bin.
  const std::size_t bin = kHiveBaseBlockSize;
  PutAscii(b, bin + kBinSignature, "hbin");
  Put32(b, bin + kBinOffset, 0);
  Put32(b, bin + kBinSize, static_cast<std::uint32_t>(kHiveBinSize));
  Put64(b, bin + kBinTimestamp, filetime);

  // Root key node.
  const std::size_t nk = bin + root_cell;
  Put32(b, nk, AllocatedSize(root_size));
  PutAscii(b, nk + kNkSignature, "nk");
  Put16(b, nk + kNkFlags,
        static_cast<std::uint16_t>(kKeyHiveEntry | kKeyNoDelete | (compressed ? kKeyCompressedName : 0)));
  Put64(b, nk + kNkLastWritten, filetime);
  Put32(b, nk + kNkParent, kNoCell);
  Put32(b, nk + kNkSubkeyCount, 0);
  Put32(b, nk + kNkVolatileSubkeyCount, 0);
  Put32(b, nk + kNkSubkeyList, kNoCell);
  Put32(b, nk + kNkVolatileSubkeyList, kNoCell);
  Put32(b, nk + kNkValueCount, 0);
  Put32(b, nk + kNkValueList, kNoCell);
  Put32(b, nk + kNkSecurity, sk_cell);
  Put32(b, nk + kNkClass, kNoCell);
  Put16(b, nk + kNkNameLength, static_cast<std::uint16_t>(name_bytes));
  Put16(b, nk + kNkClassLength, 0);
  for (std::size_t i = 0; i < root_name.size(); ++i) {
    if (compressed) {
      b[nk + kNkName + i] = static_cast<std::uint8_t>(root_name[i]);
    } else {
      Put16(b, nk + kNkName + 2 * i, root_name[i]);
    }
  }

  // Security cell: the only one, so the list of security cells is itself.
  const std::size_t sk = bin + sk_cell;
  Put32(b, sk, AllocatedSize(sk_size));
  PutAscii(b, sk + kSkSignature, "sk");
  Put32(b, sk + kSkFlink, sk_cell);
  Put32(b, sk + kSkBlink, sk_cell);
  Put32(b, sk + kSkReferences, 1);
  Put32(b, sk + kSkDescriptorSize, static_cast<std::uint32_t>(descriptor.size()));
  std::copy(descriptor.begin(), descriptor.end(), b.begin() + static_cast<std::ptrdiff_t>(sk + kSkDescriptor));

  // The rest of the bin is one free cell.
  Put32(b, bin + free_cell, static_cast<std::uint32_t>(kHiveBinSize - free_cell));

  *out = std::move(b);
  return true;
}

}  // namespace hs
