#include "app/data_folder.h"

#include <gtest/gtest.h>

namespace hs {
namespace {

class FixedFolders final : public ShellFolders {
 public:
  explicit FixedFolders(Text app_data) : app_data_(std::move(app_data)) {}
  Text AppDataFolder() override { return app_data_; }

 private:
  Text app_data_;
};

// Records CreateDirectories; everything else is unused here.
class RecordingFileSystem final : public FileSystem {
 public:
  WinError create_result = err::kSuccess;
  std::vector<Text> created;

  WinError CreateDirectories(TextView path) override {
    created.emplace_back(path);
    return create_result;
  }
  WinError ReadFile(TextView, std::uint64_t, std::vector<std::uint8_t>*) override { return err::kCallNotImplemented; }
  WinError CreateNewFile(TextView, std::unique_ptr<WritableFile>*) override { return err::kCallNotImplemented; }
  WinError OpenAppend(TextView, std::unique_ptr<AppendFile>*) override { return err::kCallNotImplemented; }
  bool Exists(TextView) override { return false; }
  bool IsDirectory(TextView) override { return false; }
  WinError DeleteFile(TextView) override { return err::kCallNotImplemented; }
  WinError MoveFile(TextView, TextView, bool) override { return err::kCallNotImplemented; }
  WinError ListDirectory(TextView, std::vector<DirEntry>*) override { return err::kCallNotImplemented; }
};

TEST(DataFolderTest, JoinsTheApplicationDataFolderOnce) {
  FixedFolders plain(u"C:\\Users\\me\\AppData\\Roaming");
  FixedFolders trailing(u"C:\\Users\\me\\AppData\\Roaming\\");
  FixedFolders root(u"D:\\");
  EXPECT_EQ(DataFolderPath(plain), u"C:\\Users\\me\\AppData\\Roaming\\Corvanta\\HiveSweep");
  EXPECT_EQ(DataFolderPath(trailing), u"C:\\Users\\me\\AppData\\Roaming\\Corvanta\\HiveSweep");
  EXPECT_EQ(DataFolderPath(root), u"D:\\Corvanta\\HiveSweep");
}

TEST(DataFolderTest, EnsureCreatesTheFolderAndReportsFailures) {
  FixedFolders folders(u"C:\\AppData");
  RecordingFileSystem fs;
  Text out = u"stale";
  ASSERT_EQ(EnsureDataFolder(folders, fs, &out), err::kSuccess);
  EXPECT_EQ(out, u"C:\\AppData\\Corvanta\\HiveSweep");
  EXPECT_EQ(fs.created, std::vector<Text>{u"C:\\AppData\\Corvanta\\HiveSweep"});

  fs.create_result = err::kAccessDenied;
  EXPECT_EQ(EnsureDataFolder(folders, fs, &out), err::kAccessDenied);
  EXPECT_TRUE(out.empty());
}

TEST(DataFolderTest, UnknownApplicationDataFolderCreatesNothing) {
  FixedFolders folders(u"");
  RecordingFileSystem fs;
  Text out = u"stale";
  EXPECT_EQ(DataFolderPath(folders), u"");
  EXPECT_EQ(EnsureDataFolder(folders, fs, &out), err::kPathNotFound);
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(fs.created.empty());  // no relative "Corvanta\HiveSweep"
}

}  // namespace
}  // namespace hs
