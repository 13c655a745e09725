// What the contract suite cannot show of the portable INI reader: its size
// limit, hostile bytes, and when it reuses a parsed file.
#include "platform/portable/portable_ini_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "platform/portable/host_file_system.h"
#include "testing/fault_file_system.h"
#include "testing/test_env.h"

namespace hs {
namespace {

namespace stdfs = std::filesystem;

class PortableIniReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = stdfs::temp_directory_path() / ToUtf8(::hs::testing::UniqueName("hs_pini"));
    stdfs::create_directories(host_);
    fs_.MapDrive(u'C', host_);
  }
  void TearDown() override {
    std::error_code ec;
    stdfs::remove_all(host_, ec);
  }
  void Put(const char* name, const std::string& bytes) {
    std::ofstream(host_ / name, std::ios::binary | std::ios::trunc) << bytes;
  }

  stdfs::path host_;
  HostFileSystem fs_;
};

TEST_F(PortableIniReaderTest, FilesOverTheLimitReadAsMissing) {
  std::string body = "[S]\r\nk=v\r\n";
  Put("ok.ini", body + std::string(kIniMaxFileBytes - body.size(), ' '));
  Put("big.ini", body + std::string(kIniMaxFileBytes - body.size() + 1, ' '));
  PortableIniReader ini(fs_);
  EXPECT_EQ(u"v", ini.ReadString(u"C:\\ok.ini", u"S", u"k", u"D", 100));
  EXPECT_EQ(u"D", ini.ReadString(u"C:\\big.ini", u"S", u"k", u"D", 100));
}

TEST_F(PortableIniReaderTest, HostileBytesNeverBreakTheReader) {
  std::mt19937 rng(11);
  const std::string alphabet = std::string("[]=;\"' \t\r\n\x1a\xff\xfe\xef\xbb\xbf", 16) + std::string(1, '\0') + "abS";
  for (int round = 0; round < 300; ++round) {
    std::string bytes;
    const std::size_t n = rng() % 200;
    for (std::size_t i = 0; i < n; ++i) bytes.push_back(round % 2 ? char(rng()) : alphabet[rng() % alphabet.size()]);
    IniDocument doc = IniDocument::Parse(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    (void)doc.Find(u"S", u"a");
    (void)doc.Find(u"", u"b");
  }
}

TEST_F(PortableIniReaderTest, ParsedFilesAreReusedWhileUnchanged) {
  FaultFileSystem counted(fs_);
  PortableIniReader ini(counted);
  for (int i = 0; i <= static_cast<int>(kIniCachedFiles); ++i)
    Put(("f" + std::to_string(i) + ".ini").c_str(), "[S]\r\nk=" + std::to_string(i) + "\r\n");
  auto read = [&](int i) {
    return ini.ReadString(u"C:\\f" + ToText(i) + u".ini", u"S", u"k", u"", 100);
  };
  EXPECT_EQ(u"0", read(0));
  EXPECT_EQ(u"0", ini.ReadString(u"C:\\F0.INI", u"s", u"K", u"", 100));
  EXPECT_EQ(1, counted.Calls(FsOp::kReadFile)) << "one parse for both reads";

  for (int i = 1; i <= static_cast<int>(kIniCachedFiles); ++i) EXPECT_EQ(ToText(i), read(i));
  const int before = counted.Calls(FsOp::kReadFile);
  EXPECT_EQ(u"0", read(0));
  EXPECT_EQ(before + 1, counted.Calls(FsOp::kReadFile)) << "the oldest file was dropped";

  // Without a readable time the file is parsed on every call.
  counted.FailOp(FsOp::kGetFileInfo, err::kAccessDenied);
  const int reads = counted.Calls(FsOp::kReadFile);
  EXPECT_EQ(u"1", read(1));
  EXPECT_EQ(u"1", read(1));
  EXPECT_EQ(reads + 2, counted.Calls(FsOp::kReadFile));
}

}  // namespace
}  // namespace hs
