#include "platform/portable/hive_file.h"

#include <gtest/gtest.h>
#include <hivex.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "platform/portable/blank_hive.h"
#include "platform/portable/machine_hives.h"
#include "platform/store/registry_store.h"
#include "testing/test_env.h"

namespace hs {
namespace {

namespace fs = std::filesystem;

class HiveDir {
 public:
  HiveDir() : path_(fs::temp_directory_path() / ToUtf8(testing::UniqueName("hs_hive_file"))) {
    fs::create_directories(path_);
  }
  ~HiveDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  fs::path operator/(const char* name) const { return path_ / name; }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

std::vector<std::uint8_t> Bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Write(const fs::path& p, const std::vector<std::uint8_t>& b) {
  std::ofstream(p, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(b.data()),
                                                             static_cast<std::streamsize>(b.size()));
}

void Blank(const fs::path& p, TextView root = u"HIVE") {
  std::vector<std::uint8_t> b;
  ASSERT_TRUE(MakeBlankHive(root, 133000000000000000ULL, &b));
  Write(p, b);
}

// Keys added with values, then three in four deleted: much free space.
void Fragmented(const fs::path& p, int keys) {
  Blank(p);
  hive_h* h = hivex_open(p.c_str(), HIVEX_OPEN_WRITE);
  ASSERT_NE(h, nullptr);
  for (int i = 0; i < keys; ++i) {
    const std::string name = "Key" + std::to_string(i);
    const hive_node_h k = hivex_node_add_child(h, hivex_root(h), name.c_str());
    ASSERT_NE(k, 0u);
    std::string vname = "V", data(300, static_cast<char>(i)), dw = "abcd", dwname = "D";
    hive_set_value v[2] = {{vname.data(), hive_t_REG_BINARY, data.size(), data.data()},
                           {dwname.data(), hive_t_REG_DWORD, 4, dw.data()}};
    ASSERT_EQ(hivex_node_set_values(h, k, 2, v, 0), 0);
    if (i % 5 == 0) {
      ASSERT_NE(hivex_node_add_child(h, k, "Sub"), 0u);
    }
  }
  ASSERT_EQ(hivex_commit(h, p.c_str(), 0), 0);
  for (int i = 0; i < keys; ++i) {
    if (i % 4 == 0) continue;
    const std::string name = "Key" + std::to_string(i);
    ASSERT_EQ(hivex_node_delete_child(h, hivex_node_get_child(h, hivex_root(h), name.c_str())), 0);
  }
  ASSERT_EQ(hivex_commit(h, p.c_str(), 0), 0);
  ASSERT_EQ(hivex_close(h), 0);
}

TEST(HiveFile, CompactCopyIsSmallerWithTheSameContents) {
  HiveDir d;
  Fragmented(d / "SAM", 80);
  std::string error;
  ASSERT_TRUE(WriteCompactHive(d / "SAM", d / "SAM.bak", &error)) << error;
  EXPECT_LT(fs::file_size(d / "SAM.bak") * 2, fs::file_size(d / "SAM"));
  EXPECT_TRUE(SameHiveContents(d / "SAM", d / "SAM.bak", &error)) << error;
}

TEST(HiveFile, ComparisonFindsAChangedValue) {
  HiveDir d;
  Fragmented(d / "A", 8);
  fs::copy_file(d / "A", d / "B");
  std::string difference;
  ASSERT_TRUE(SameHiveContents(d / "A", d / "B", &difference));
  hive_h* h = hivex_open((d / "B").c_str(), HIVEX_OPEN_WRITE);
  ASSERT_NE(h, nullptr);
  std::string name = "D", data = "abce";
  hive_set_value v{name.data(), hive_t_REG_DWORD, 4, data.data()};
  ASSERT_EQ(hivex_node_set_value(h, hivex_node_get_child(h, hivex_root(h), "Key4"), &v, 0), 0);
  ASSERT_EQ(hivex_commit(h, nullptr, 0), 0);
  ASSERT_EQ(hivex_close(h), 0);
  EXPECT_FALSE(SameHiveContents(d / "A", d / "B", &difference));
  EXPECT_NE(difference.find("Key4"), std::string::npos) << difference;
}

TEST(HiveFile, InPlaceCompactionSwapsTheVerifiedCopyIn) {
  HiveDir d;
  Fragmented(d / "NTUSER.DAT", 40);
  fs::copy_file(d / "NTUSER.DAT", d / "original");
  std::string error;
  ASSERT_TRUE(CompactHiveInPlace(d / "NTUSER.DAT", &error)) << error;
  EXPECT_LT(fs::file_size(d / "NTUSER.DAT"), fs::file_size(d / "original"));
  EXPECT_TRUE(SameHiveContents(d / "original", d / "NTUSER.DAT", &error)) << error;
  EXPECT_FALSE(fs::exists(d / "NTUSER.DAT.compact"));
  EXPECT_FALSE(fs::exists(d / "NTUSER.DAT.old"));
}

TEST(HiveFile, ACopyFailingVerificationIsNeverSwappedIn) {
  HiveDir d;
  Fragmented(d / "SECURITY", 12);
  const std::vector<std::uint8_t> before = Bytes(d / "SECURITY");
  // A writer whose copy lacks the keys.
  const HiveCopyWriter lossy = [](const fs::path&, const fs::path& target, std::string*) {
    std::vector<std::uint8_t> b;
    if (!MakeBlankHive(u"HIVE", 1, &b)) return false;
    Write(target, b);
    return true;
  };
  std::string error;
  EXPECT_FALSE(CompactHiveInPlace(d / "SECURITY", &error, lossy));
  EXPECT_NE(error.find("verification"), std::string::npos) << error;
  EXPECT_EQ(Bytes(d / "SECURITY"), before);
  EXPECT_FALSE(fs::exists(d / "SECURITY.compact"));
}

TEST(HiveFile, GarbageHiveFilesAreRefusedAndLeftAlone) {
  HiveDir d;
  std::mt19937 rng(7);
  std::vector<std::uint8_t> junk(9000);
  for (auto& b : junk) b = static_cast<std::uint8_t>(rng());
  std::copy_n("regf", 4, junk.begin());
  Write(d / "SYSTEM", junk);
  std::string error;
  EXPECT_FALSE(WriteCompactHive(d / "SYSTEM", d / "copy", &error));
  EXPECT_FALSE(fs::exists(d / "copy"));
  EXPECT_FALSE(CompactHiveInPlace(d / "SYSTEM", &error));
  EXPECT_EQ(Bytes(d / "SYSTEM"), junk);
  EXPECT_FALSE(CompactHiveInPlace(d / "missing", &error));
}

TEST(HiveFile, HeaderCheckFromMemoryNeverReadsPastTheBuffer) {
  std::vector<std::uint8_t> good;
  ASSERT_TRUE(MakeBlankHive(u"ROOT", 1, &good));
  std::string why;
  ASSERT_TRUE(CheckHiveImage(good, &why)) << why;
  for (std::size_t n = 0; n < good.size(); n += 7)
    EXPECT_FALSE(CheckHiveImage(std::span(good).first(n), &why)) << n;
  // Any change to the checksummed words is caught.
  std::mt19937 rng(11);
  for (int i = 0; i < 500; ++i) {
    std::vector<std::uint8_t> bad = good;
    bad[rng() % kHiveChecksumOffset] ^= static_cast<std::uint8_t>(1 + rng() % 255);
    EXPECT_FALSE(CheckHiveImage(bad, &why));
  }
  // Random images: whatever the answer, a hivex open after the check never crashes.
  HiveDir d;
  for (int i = 0; i < 200; ++i) {
    std::vector<std::uint8_t> image = good;
    for (int k = 0; k < 40; ++k) image[kHiveBaseBlockSize + rng() % kHiveBinSize] = static_cast<std::uint8_t>(rng());
    Write(d / "fuzz", image);
    std::string error;
    (void)WriteCompactHive(d / "fuzz", d / "fuzz.copy", &error);
  }
}

TEST(MachineHives, CompactCopiesOfTheListedHiveFiles) {
  HiveDir d;
  fs::create_directories(d / "c" / "config");
  fs::create_directories(d / "d");
  Fragmented(d.path() / "c" / "config" / "SAM", 30);
  MachineHivesSetup setup;
  setup.drive_folders = {{u'C', d / "c"}, {u'D', d / "d"}};
  setup.fixed_drives = {u'C', u'D'};
  setup.hivelist = {{u"\\REGISTRY\\MACHINE\\SAM", u"\\Device\\HarddiskVolume1\\config\\SAM"},
                    {u"\\REGISTRY\\MACHINE\\SECURITY", u"\\Device\\HarddiskVolume1\\config\\SECURITY"}};
  RegistryStore registry;
  MachineHives hives(setup, registry);
  const std::vector<DriveDevice> drives = hives.FixedDrives();
  ASSERT_EQ(drives.size(), 2u);
  EXPECT_EQ(drives[1].drive, u"D:");
  EXPECT_EQ(drives[1].device, u"\\Device\\HarddiskVolume2");
  ASSERT_EQ(hives.SaveCompactCopy(kHkeyLocalMachine, u"sam", u"D:\\sam.bak"), err::kSuccess);
  std::uint64_t file = 0, copy = 0;
  ASSERT_EQ(hives.FileSize(u"C:\\config\\SAM", &file), err::kSuccess);
  ASSERT_EQ(hives.FileSize(u"D:\\sam.bak", &copy), err::kSuccess);
  EXPECT_LT(copy, file);
  std::string difference;
  EXPECT_TRUE(SameHiveContents(d.path() / "c" / "config" / "SAM", d.path() / "d" / "sam.bak", &difference));
  // A listed hive without its file, and a hive that is not listed.
  EXPECT_EQ(hives.SaveCompactCopy(kHkeyLocalMachine, u"security", u"D:\\security.bak"), err::kBadDbDatabase);
  EXPECT_EQ(hives.SaveCompactCopy(kHkeyUsers, u"s-1-5-21", u"D:\\u.bak"), err::kFileNotFound);
  EXPECT_FALSE(hives.Exists(u"D:\\security.bak"));
  // The boot step's in-place compaction through the adapter.
  Text error;
  EXPECT_TRUE(hives.CompactInPlace(u"C:\\config\\SAM", &error)) << ToUtf8(error);
  EXPECT_FALSE(hives.CompactInPlace(u"C:\\config\\SECURITY", &error));
}

}  // namespace
}  // namespace hs
