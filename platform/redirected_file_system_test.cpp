// The data-folder redirection on the build's real file system.
#include "platform/redirected_file_system.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "testing/scratch_fs.h"

namespace hs {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view s) { return std::vector<std::uint8_t>(s.begin(), s.end()); }

class Redirected : public ::testing::Test {
 protected:
  Redirected() {
    EXPECT_EQ(err::kSuccess, scratch_.fs().CreateDirectories(scratch_.Path(u"machine\\AppData")));
    EXPECT_EQ(err::kSuccess, scratch_.fs().CreateDirectories(scratch_.Path(u"data")));
    EXPECT_EQ(err::kSuccess, scratch_.fs().WriteFileAtomic(scratch_.Path(u"machine\\AppData\\old.txt"), Bytes("old")));
  }
  Text From(TextView rest = {}) {
    return scratch_.Path(u"machine\\AppData\\Corvanta\\HiveSweep") + (rest.empty() ? Text() : u"\\" + Text(rest));
  }

  ::hs::testing::ScratchFs scratch_{"hs_redirect"};
  RedirectedFileSystem fs_{scratch_.fs(), From() + u"\\", scratch_.Path(u"data"), /*read_only_elsewhere=*/true};
};

TEST_F(Redirected, FilesOfTheFolderLiveInTheTarget) {
  ASSERT_EQ(err::kSuccess, fs_.CreateDirectories(From()));
  ASSERT_EQ(err::kSuccess, fs_.WriteFileAtomic(From(u"results.hsw"), Bytes("abc")));
  EXPECT_TRUE(scratch_.fs().Exists(scratch_.Path(u"data\\results.hsw")));
  EXPECT_FALSE(scratch_.fs().Exists(From(u"results.hsw"))) << "nothing is written at the folder's own place";

  // Another case and forward slashes name the same folder.
  Text spelled = Lowercase(From(u"RESULTS.HSW"));
  for (auto& c : spelled)
    if (c == u'\\') c = u'/';
  std::vector<std::uint8_t> back;
  ASSERT_EQ(err::kSuccess, fs_.ReadFile(spelled, 100, &back));
  EXPECT_EQ(Bytes("abc"), back);

  std::unique_ptr<AppendFile> log;
  ASSERT_EQ(err::kSuccess, fs_.OpenAppend(From(u"log.log"), &log));
  ASSERT_EQ(err::kSuccess, log->Append(Bytes("x")));
  log.reset();
  std::vector<DirEntry> entries;
  ASSERT_EQ(err::kSuccess, fs_.ListDirectory(From(), &entries));
  EXPECT_EQ(2u, entries.size());
  EXPECT_TRUE(fs_.IsDirectory(From()));
  FileInfo info;
  ASSERT_EQ(err::kSuccess, fs_.GetFileInfo(From(u"results.hsw"), &info));
  EXPECT_EQ(3u, info.size);
  EXPECT_EQ(err::kSuccess, fs_.DeleteFile(From(u"log.log")));
  EXPECT_FALSE(scratch_.fs().Exists(scratch_.Path(u"data\\log.log")));
}

TEST_F(Redirected, EverythingElseIsReadOnly) {
  std::vector<std::uint8_t> back;
  ASSERT_EQ(err::kSuccess, fs_.ReadFile(scratch_.Path(u"machine\\AppData\\old.txt"), 100, &back));
  EXPECT_EQ(Bytes("old"), back);
  EXPECT_TRUE(fs_.Exists(scratch_.Path(u"machine\\AppData\\old.txt")));

  std::unique_ptr<WritableFile> file;
  std::unique_ptr<AppendFile> append;
  EXPECT_EQ(err::kAccessDenied, fs_.CreateNewFile(scratch_.Path(u"machine\\new.txt"), &file));
  EXPECT_EQ(err::kAccessDenied, fs_.OpenAppend(scratch_.Path(u"machine\\new.txt"), &append));
  EXPECT_EQ(err::kAccessDenied, fs_.CreateDirectories(scratch_.Path(u"machine\\Made")));
  EXPECT_EQ(err::kAccessDenied, fs_.DeleteFile(scratch_.Path(u"machine\\AppData\\old.txt")));
  EXPECT_EQ(err::kAccessDenied, fs_.WriteFileAtomic(scratch_.Path(u"machine\\AppData\\old.txt"), Bytes("new")));
  // A move needs both ends inside the folder.
  ASSERT_EQ(err::kSuccess, fs_.CreateDirectories(From()));
  EXPECT_EQ(err::kAccessDenied, fs_.MoveFile(scratch_.Path(u"machine\\AppData\\old.txt"), From(u"old.txt"), false));
  // A name that merely starts like the folder is not the folder.
  EXPECT_EQ(err::kAccessDenied, fs_.CreateNewFile(From() + u"Old\\x.txt", &file));
  EXPECT_FALSE(scratch_.fs().Exists(scratch_.Path(u"machine\\new.txt")));
  EXPECT_FALSE(scratch_.fs().Exists(scratch_.Path(u"machine\\Made")));
  ASSERT_EQ(err::kSuccess, scratch_.fs().ReadFile(scratch_.Path(u"machine\\AppData\\old.txt"), 100, &back));
  EXPECT_EQ(Bytes("old"), back);
}

TEST_F(Redirected, ParentComponentsCannotLeaveTheTarget) {
  std::unique_ptr<WritableFile> file;
  EXPECT_EQ(err::kPathNotFound, fs_.CreateNewFile(From(u"..\\escaped.txt"), &file));
  EXPECT_EQ(err::kPathNotFound, fs_.CreateNewFile(From(u"sub\\..\\..\\escaped.txt"), &file));
  EXPECT_EQ(err::kPathNotFound, fs_.CreateNewFile(From(u". .\\escaped.txt"), &file));
  std::vector<std::uint8_t> out{1};
  EXPECT_EQ(err::kPathNotFound, fs_.ReadFile(From(u"..\\..\\AppData\\old.txt"), 100, &out));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(scratch_.fs().Exists(scratch_.Path(u"escaped.txt")));
  EXPECT_FALSE(scratch_.fs().Exists(scratch_.Path(u"machine\\AppData\\Corvanta\\escaped.txt")));
  // A single dot is the folder itself.
  ASSERT_EQ(err::kSuccess, fs_.CreateDirectories(From()));
  EXPECT_EQ(err::kSuccess, fs_.WriteFileAtomic(From(u".\\dot.txt"), Bytes("d")));
  EXPECT_TRUE(scratch_.fs().Exists(scratch_.Path(u"data\\dot.txt")));
}

// Records where writers were asked for; creates none.
class PathRecordingXml final : public XmlWriterFactory {
 public:
  XmlWriterOpen Create(TextView path) override {
    paths.emplace_back(path);
    return {};
  }
  std::vector<Text> paths;
};

TEST_F(Redirected, WritersThatOpenTheirOwnFilesFollowTheRules) {
  PathRecordingXml system_xml;
  RedirectedXmlWriterFactory xml(system_xml, fs_);
  (void)xml.Create(From(u"HSWscanlog.xml"));
  ASSERT_EQ(1u, system_xml.paths.size());
  EXPECT_EQ(scratch_.Path(u"data\\HSWscanlog.xml"), system_xml.paths[0]);

  const XmlWriterOpen refused = xml.Create(scratch_.Path(u"machine\\HSWscanlog.xml"));
  EXPECT_EQ(1u, system_xml.paths.size()) << "a refused path never reaches the writer";
  EXPECT_EQ(nullptr, refused.writer);
  ASSERT_EQ(1u, refused.failures.size());
  EXPECT_EQ(XmlSetupStep::kFileStream, refused.failures[0].step);
  EXPECT_EQ(HResultFromWin32(err::kAccessDenied), refused.failures[0].hr);
}

TEST_F(Redirected, TheWayToTheFolderExistsAndIsListed) {
  const Text corvanta = scratch_.Path(u"machine\\AppData\\Corvanta");
  EXPECT_FALSE(scratch_.fs().IsDirectory(corvanta));
  EXPECT_TRUE(fs_.IsDirectory(corvanta));
  EXPECT_TRUE(fs_.Exists(corvanta + u"\\"));
  EXPECT_FALSE(fs_.Exists(corvanta + u"\\Other"));
  std::vector<DirEntry> entries;
  ASSERT_EQ(err::kSuccess, fs_.ListDirectory(scratch_.Path(u"machine\\APPDATA"), &entries));
  ASSERT_EQ(2u, entries.size());
  std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  EXPECT_EQ(u"Corvanta", entries[0].name);
  EXPECT_TRUE(entries[0].is_directory);
  EXPECT_EQ(u"old.txt", entries[1].name);
  ASSERT_EQ(err::kSuccess, fs_.ListDirectory(corvanta, &entries));
  ASSERT_EQ(1u, entries.size());
  EXPECT_EQ(u"HiveSweep", entries[0].name);
  EXPECT_TRUE(entries[0].is_directory);
}

TEST(RedirectedMap, ADriveTargetKeepsItsRoot) {
  ::hs::testing::ScratchFs scratch{"hs_redirect"};  // never reached: Map only computes
  RedirectedFileSystem fs(scratch.fs(), u"C:\\Users\\u\\AppData\\Roaming\\Corvanta\\HiveSweep", u"Z:\\", false);
  Text out;
  bool redirected = false;
  ASSERT_EQ(err::kSuccess, fs.Map(u"C:\\Users\\u\\AppData\\Roaming\\Corvanta\\HiveSweep", &out, &redirected));
  EXPECT_TRUE(redirected);
  EXPECT_EQ(u"Z:\\", out);
  ASSERT_EQ(err::kSuccess, fs.Map(u"c:\\users\\U\\appdata\\roaming\\corvanta\\hivesweep\\\\a\\b.txt", &out, &redirected));
  EXPECT_EQ(u"Z:\\a\\b.txt", out);
  ASSERT_EQ(err::kSuccess, fs.Map(u"C:\\Users\\u\\AppData\\Roaming\\Corvanta", &out, &redirected));
  EXPECT_FALSE(redirected);
  EXPECT_EQ(u"C:\\Users\\u\\AppData\\Roaming\\Corvanta", out);
}

}  // namespace
}  // namespace hs
