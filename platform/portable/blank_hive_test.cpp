// The blank hive: its layout, its base block checksum, and hivex opening it,
// adding a key and values, committing and reading them back.
#include "platform/portable/blank_hive.h"

#include <gtest/gtest.h>
#include <hivex.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "testing/test_env.h"

namespace hs {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t kFiletime = 0x01DB49A1B2C3D4E5ULL;

std::uint32_t Get32(const Bytes& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
std::uint16_t Get16(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8)); }
std::uint64_t Get64(const Bytes& b, std::size_t at) {
  return Get32(b, at) | (static_cast<std::uint64_t>(Get32(b, at + 4)) << 32);
}
std::string Ascii(const Bytes& b, std::size_t at, std::size_t n) {
  return std::string(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + n));
}

Bytes Blank(TextView name = u"ROOT") {
  Bytes b;
  EXPECT_TRUE(MakeBlankHive(name, kFiletime, &b));
  return b;
}

class TempDir {
 public:
  TempDir() : path_(std::filesystem::temp_directory_path() / ToUtf8(testing::UniqueName("hs_blank_hive"))) {
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string File(const char* name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

void WriteBytes(const std::string& path, const Bytes& b) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  ASSERT_TRUE(f.good());
}

Bytes ReadBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

struct HiveCloser {
  void operator()(hive_h* h) const { hivex_close(h); }
};
using Hive = std::unique_ptr<hive_h, HiveCloser>;

std::string NodeName(hive_h* h, hive_node_h node) {
  char* name = hivex_node_name(h, node);
  std::string s = name ? name : "<none>";
  std::free(name);
  return s;
}

// The value's type and raw data as hivex reads them.
Bytes ValueData(hive_h* h, hive_node_h node, const char* key, hive_type* type) {
  const hive_value_h v = hivex_node_get_value(h, node, key);
  if (v == 0) return {};
  std::size_t len = 0;
  char* data = hivex_value_value(h, v, type, &len);
  if (data == nullptr) return {};
  Bytes out(data, data + len);
  std::free(data);
  return out;
}

TEST(BlankHiveTest, BaseBlockAndBinLayout) {
  const Bytes b = Blank();
  ASSERT_EQ(b.size(), kHiveBaseBlockSize + kHiveBinSize);
  EXPECT_EQ(Ascii(b, 0, 4), "regf");
  EXPECT_EQ(Get32(b, 4), Get32(b, 8));  // sequence numbers agree: no write pending
  EXPECT_EQ(Get64(b, 12), kFiletime);
  EXPECT_EQ(Get32(b, 20), 1u);
  EXPECT_EQ(Get32(b, 24), 5u);
  EXPECT_EQ(Get32(b, 28), 0u);  // primary file
  EXPECT_EQ(Get32(b, 32), 1u);
  EXPECT_EQ(Get32(b, 36), kBlankHiveRootCell);
  EXPECT_EQ(Get32(b, 40), kHiveBinSize);
  EXPECT_EQ(Get32(b, 44), 1u);
  EXPECT_EQ(Get16(b, 48), u'R');
  EXPECT_EQ(Get16(b, 54), u'T');
  EXPECT_EQ(Get16(b, 56), 0u);
  EXPECT_EQ(Get32(b, kHiveChecksumOffset), HiveBaseBlockChecksum(b));

  const std::size_t bin = kHiveBaseBlockSize;
  EXPECT_EQ(Ascii(b, bin, 4), "hbin");
  EXPECT_EQ(Get32(b, bin + 4), 0u);
  EXPECT_EQ(Get32(b, bin + 8), kHiveBinSize);
  EXPECT_EQ(Get64(b, bin + 20), kFiletime);

  // The cells tile the bin exactly, each 8-byte aligned: two allocated
  // (negative sizes), then one free cell up to the end.
  std::vector<std::int32_t> sizes;
  std::size_t at = 32;
  while (at < kHiveBinSize && sizes.size() < 8) {
    const auto size = static_cast<std::int32_t>(Get32(b, bin + at));
    sizes.push_back(size);
    const std::size_t len = static_cast<std::size_t>(size < 0 ? -static_cast<std::int64_t>(size) : size);
    ASSERT_EQ(len % 8, 0u) << "cell at " << at;
    ASSERT_GT(len, 0u);
    at += len;
  }
  EXPECT_EQ(at, kHiveBinSize);
  ASSERT_EQ(sizes.size(), 3u);
  EXPECT_LT(sizes[0], 0);
  EXPECT_LT(sizes[1], 0);
  EXPECT_GT(sizes[2], 0);
}

TEST(BlankHiveTest, RootKeyPointsAtItsOwnSecurityCell) {
  const Bytes b = Blank();
  const std::size_t nk = kHiveBaseBlockSize + kBlankHiveRootCell;
  EXPECT_EQ(Ascii(b, nk + 4, 2), "nk");
  EXPECT_EQ(Get16(b, nk + 6), kKeyHiveEntry | kKeyNoDelete | kKeyCompressedName);
  EXPECT_EQ(Get64(b, nk + 8), kFiletime);
  EXPECT_EQ(Get32(b, nk + 24), 0u);           // subkeys
  EXPECT_EQ(Get32(b, nk + 32), 0xFFFFFFFFu);  // subkey list
  EXPECT_EQ(Get32(b, nk + 40), 0u);           // values
  EXPECT_EQ(Get32(b, nk + 44), 0xFFFFFFFFu);  // value list
  EXPECT_EQ(Get32(b, nk + 52), 0xFFFFFFFFu);  // class
  EXPECT_EQ(Get16(b, nk + 76), 4u);
  EXPECT_EQ(Ascii(b, nk + 80, 4), "ROOT");

  const std::uint32_t sk_cell = Get32(b, nk + 48);
  const std::size_t sk = kHiveBaseBlockSize + sk_cell;
  ASSERT_LT(sk + 24, b.size());
  EXPECT_EQ(Ascii(b, sk + 4, 2), "sk");
  EXPECT_EQ(Get32(b, sk + 8), sk_cell);
  EXPECT_EQ(Get32(b, sk + 12), sk_cell);
  EXPECT_EQ(Get32(b, sk + 16), 1u);

  // Self-relative descriptor: owner Administrators, group SYSTEM, a DACL of
  // three grants, every part inside the declared size.
  const std::size_t sd_size = Get32(b, sk + 20);
  const std::size_t sd = sk + 24;
  ASSERT_LE(sk + 24 + sd_size, kHiveBaseBlockSize + kHiveBinSize);
  EXPECT_EQ(b[sd], 1);
  EXPECT_EQ(Get16(b, sd + 2), 0x8004);
  const std::size_t owner = Get32(b, sd + 4), group = Get32(b, sd + 8), dacl = Get32(b, sd + 16);
  EXPECT_EQ(Get32(b, sd + 12), 0u);
  ASSERT_LE(owner + 16, sd_size);
  ASSERT_LE(group + 12, sd_size);
  EXPECT_EQ(b[sd + owner + 1], 2);  // S-1-5-32-544
  EXPECT_EQ(Get32(b, sd + owner + 8), 32u);
  EXPECT_EQ(Get32(b, sd + owner + 12), 544u);
  EXPECT_EQ(b[sd + group + 1], 1);  // S-1-5-18
  EXPECT_EQ(Get32(b, sd + group + 8), 18u);
  const std::size_t acl_size = Get16(b, sd + dacl + 2);
  ASSERT_LE(dacl + acl_size, sd_size);
  EXPECT_EQ(Get16(b, sd + dacl + 4), 3u);
  std::size_t ace = sd + dacl + 8;
  for (int i = 0; i < 3; ++i) ace += Get16(b, ace + 2);
  EXPECT_EQ(ace, sd + dacl + acl_size);  // the ACEs fill the ACL exactly
}

TEST(BlankHiveTest, ChecksumMatchesHandComputedValues) {
  Bytes block(kHiveBaseBlockSize, 0);
  EXPECT_EQ(HiveBaseBlockChecksum(block), 1u);  // XOR 0 is written as 1
  block[0] = 0x78, block[1] = 0x56, block[2] = 0x34, block[3] = 0x12;
  block[4] = 0x0F, block[5] = 0x0F, block[6] = 0x0F, block[7] = 0x0F;
  block[504] = 0x01;
  EXPECT_EQ(HiveBaseBlockChecksum(block), 0x12345678u ^ 0x0F0F0F0Fu ^ 0x00000001u);
  // Bytes from the checksum field on do not count.
  block[508] = 0xAA, block[600] = 0xBB, block[4095] = 0xCC;
  EXPECT_EQ(HiveBaseBlockChecksum(block), 0x1D3B5976u);
  // A flipped byte changes the checksum by exactly that byte in its lane.
  block[2] ^= 0x80;
  EXPECT_EQ(HiveBaseBlockChecksum(block), 0x1D3B5976u ^ 0x00800000u);
  // XOR 0xFFFFFFFF is written as 0xFFFFFFFE.
  Bytes ones(kHiveChecksumOffset, 0);
  ones[100] = ones[101] = ones[102] = ones[103] = 0xFF;
  EXPECT_EQ(HiveBaseBlockChecksum(ones), 0xFFFFFFFEu);
  EXPECT_EQ(HiveBaseBlockChecksum(Bytes(kHiveChecksumOffset - 1, 0x11)), 0u);

  // In a blank hive, a flipped byte anywhere before the field breaks it.
  Bytes hive = Blank();
  const std::uint32_t stored = Get32(hive, kHiveChecksumOffset);
  hive[24] ^= 0x01;  // minor version 5 -> 4
  EXPECT_EQ(HiveBaseBlockChecksum(hive), stored ^ 0x00000001u);
}

TEST(BlankHiveTest, RootNamesOutsideTheRulesAreRefused) {
  Bytes out = {1, 2, 3};
  EXPECT_FALSE(MakeBlankHive(u"", kFiletime, &out));
  EXPECT_FALSE(MakeBlankHive(Text(256, u'a'), kFiletime, &out));
  EXPECT_FALSE(MakeBlankHive(u"A\\B", kFiletime, &out));
  EXPECT_FALSE(MakeBlankHive(Text(u"A\0B", 3), kFiletime, &out));
  EXPECT_EQ(out, (Bytes{1, 2, 3}));

  ASSERT_TRUE(MakeBlankHive(Text(255, u'a'), kFiletime, &out));
  EXPECT_EQ(Get16(out, kHiveBaseBlockSize + kBlankHiveRootCell + 76), 255u);
  // Only 31 units of the name go into the base block's file name field.
  EXPECT_EQ(Get16(out, 48 + 2 * 30), u'a');
  EXPECT_EQ(Get16(out, 48 + 2 * 31), 0u);
}

TEST(BlankHiveTest, HivexAddsKeysAndValuesAndReadsThemBack) {
  TempDir dir;
  const std::string blank = dir.File("blank.hiv"), saved = dir.File("saved.hiv");
  ASSERT_NO_FATAL_FAILURE(WriteBytes(blank, Blank()));

  const Bytes text = ToUtf16leBytes(Text(u"Hello, hive\0", 12));
  const Bytes dword = {0x78, 0x56, 0x34, 0x12};
  const Bytes binary = {0x00, 0x01, 0x7F, 0xFF, 0x80};
  {
    Hive h(hivex_open(blank.c_str(), HIVEX_OPEN_WRITE));
    ASSERT_TRUE(h) << "hivex refused the blank hive: " << std::strerror(errno);
    const hive_node_h root = hivex_root(h.get());
    EXPECT_EQ(NodeName(h.get(), root), "ROOT");
    EXPECT_EQ(hivex_last_modified(h.get()), static_cast<std::int64_t>(kFiletime));
    EXPECT_EQ(hivex_node_nr_children(h.get(), root), 0u);
    EXPECT_EQ(hivex_node_nr_values(h.get(), root), 0u);

    const hive_node_h child = hivex_node_add_child(h.get(), root, "Settings");
    ASSERT_NE(child, 0u) << std::strerror(errno);
    Bytes t = text, d = dword, bin = binary;
    std::string kt = "Name", kd = "Count", kb = "Blob";
    const hive_set_value values[] = {{kt.data(), hive_t_REG_SZ, t.size(), reinterpret_cast<char*>(t.data())},
                                     {kd.data(), hive_t_REG_DWORD, d.size(), reinterpret_cast<char*>(d.data())},
                                     {kb.data(), hive_t_REG_BINARY, bin.size(), reinterpret_cast<char*>(bin.data())}};
    for (const hive_set_value& v : values) ASSERT_EQ(hivex_node_set_value(h.get(), child, &v, 0), 0) << v.key;
    ASSERT_EQ(hivex_commit(h.get(), saved.c_str(), 0), 0) << std::strerror(errno);
  }
  // The blank file itself is left as it was.
  EXPECT_EQ(ReadBytes(blank), Blank());

  // hivex's own checksum of the saved base block agrees with ours.
  const Bytes saved_bytes = ReadBytes(saved);
  ASSERT_GE(saved_bytes.size(), kHiveBaseBlockSize);
  EXPECT_EQ(Get32(saved_bytes, kHiveChecksumOffset), HiveBaseBlockChecksum(saved_bytes));

  Hive h(hivex_open(saved.c_str(), 0));
  ASSERT_TRUE(h) << std::strerror(errno);
  const hive_node_h root = hivex_root(h.get());
  EXPECT_EQ(NodeName(h.get(), root), "ROOT");
  ASSERT_EQ(hivex_node_nr_children(h.get(), root), 1u);
  const hive_node_h child = hivex_node_get_child(h.get(), root, "Settings");
  ASSERT_NE(child, 0u);
  EXPECT_EQ(NodeName(h.get(), child), "Settings");
  EXPECT_EQ(hivex_node_parent(h.get(), child), root);
  EXPECT_EQ(hivex_node_nr_values(h.get(), child), 3u);
  hive_type type{};
  EXPECT_EQ(ValueData(h.get(), child, "Name", &type), text);
  EXPECT_EQ(type, hive_t_REG_SZ);
  EXPECT_EQ(ValueData(h.get(), child, "Count", &type), dword);
  EXPECT_EQ(type, hive_t_REG_DWORD);
  EXPECT_EQ(hivex_value_dword(h.get(), hivex_node_get_value(h.get(), child, "Count")), 0x12345678);
  EXPECT_EQ(ValueData(h.get(), child, "Blob", &type), binary);
  EXPECT_EQ(type, hive_t_REG_BINARY);
}

TEST(BlankHiveTest, HivexRefusesABrokenChecksumAndReadsAWideRootName) {
  TempDir dir;
  Bytes broken = Blank();
  broken[kHiveChecksumOffset] ^= 0x01;
  ASSERT_NO_FATAL_FAILURE(WriteBytes(dir.File("broken.hiv"), broken));
  Hive bad(hivex_open(dir.File("broken.hiv").c_str(), 0));
  EXPECT_FALSE(bad) << "hivex does not check the checksum, so its acceptance proves nothing";

  // A name with a unit above 0xFF is stored as UTF-16, without the flag.
  Bytes wide;
  ASSERT_TRUE(MakeBlankHive(u"R\u0101\u4E2D", kFiletime, &wide));
  EXPECT_EQ(Get16(wide, kHiveBaseBlockSize + kBlankHiveRootCell + 6), kKeyHiveEntry | kKeyNoDelete);
  EXPECT_EQ(Get16(wide, kHiveBaseBlockSize + kBlankHiveRootCell + 76), 6u);
  ASSERT_NO_FATAL_FAILURE(WriteBytes(dir.File("wide.hiv"), wide));
  Hive h(hivex_open(dir.File("wide.hiv").c_str(), 0));
  ASSERT_TRUE(h) << std::strerror(errno);
  EXPECT_EQ(NodeName(h.get(), hivex_root(h.get())), ToUtf8(u"R\u0101\u4E2D"));
}

}  // namespace
}  // namespace hs
