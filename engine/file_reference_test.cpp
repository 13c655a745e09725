// File reference resolution on the build's shell paths: natively a 64-bit
// machine laid out in a temporary folder mapped as C:, under Wine the
// prefix's own drive C: (test files in a unique folder, removed afterwards).
#include "engine/file_reference.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/scan_manager.h"
#include "testing/scan_fixture.h"
#ifdef _WIN32
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_shell_paths.h"
#else
#include "platform/portable/host_file_system.h"
#include "platform/portable/portable_shell_paths.h"
#endif

namespace hs {
namespace {

namespace stdfs = std::filesystem;
using ::hs::testing::ScanFixture;

class FileRefs : public ::testing::Test {
 protected:
  FileRefs()
      : fx_(MachineFacts{6, false}, ::hs::testing::MakePlain) {
    name_ = ::hs::testing::UniqueName("hs-fr");
    root_ = u"C:\\" + name_;
#ifdef _WIN32
    host_ = stdfs::path(std::wstring(root_.begin(), root_.end()));
    shell_ = std::make_unique<Win32ShellPaths>();
    system32_ = u"C:\\windows\\system32\\";
    syswow64_ = u"C:\\windows\\syswow64";
#else
    host_ = stdfs::temp_directory_path() / ToUtf8(name_);
    stdfs::create_directories(host_);
    fs_.MapDrive(u'C', host_);
    ShellMachine m;
    m.drives = {{u'C', drive_type::kFixed}, {u'E', drive_type::kCdRom}};
    m.environment = {{u"SystemRoot", u"C:\\Windows"}, {u"windir", u"C:\\Windows"}};
    m.search_path = {u"C:\\Windows\\system32", u"C:\\Windows"};
    m.windows64 = true;
    system32_ = u"C:\\Windows\\system32\\";
    syswow64_ = u"C:\\Windows\\SysWOW64";
    Put(system32_ + u"shell32.dll");
    shell_ = std::make_unique<PortableShellPaths>(fs_, m);
#endif
    EXPECT_EQ(err::kSuccess, fs_.CreateDirectories(root_));
    fx_.manager->CreateAreas(0x0002, 1);
    refs_ = std::make_unique<FileReferences>(*shell_, fx_.manager->reg(), nullptr, system32_, syswow64_);
  }
  ~FileRefs() override {
    for (const Text& f : system_files_) (void)fs_.DeleteFile(f);
    std::error_code ec;
    stdfs::remove_all(host_, ec);
  }
  void Put(const Text& path) {
    ASSERT_EQ(err::kSuccess, fs_.CreateDirectories(path.substr(0, path.rfind(u'\\'))));
    ASSERT_EQ(err::kSuccess, fs_.WriteFileAtomic(path, std::vector<std::uint8_t>{'x'}));
  }
  bool Valid(TextView text, FileRefFlags flags = {}) {
    return refs_->FileReferenceValid(*fx_.manager->AreaByBit(0x0002), text, flags);
  }

  ScanFixture fx_;
  // Like the scan worker, the test thread sees the 64-bit system folder.
  std::unique_ptr<Wow64> wow64_ = ::hs::testing::MakeContractWow64();
  FsRedirectionOff redirection_{*wow64_, true};
  Text name_, root_, system32_, syswow64_;
  stdfs::path host_;
#ifdef _WIN32
  Win32FileSystem fs_;
#else
  HostFileSystem fs_;
#endif
  std::unique_ptr<ShellPaths> shell_;
  std::unique_ptr<FileReferences> refs_;
  std::vector<Text> system_files_;
};

TEST_F(FileRefs, QuotedProgramsWithArgumentsAndTheDriveWalk) {
  Put(root_ + u"\\App\\app.exe");
  EXPECT_TRUE(Valid(u"\"" + root_ + u"\\App\\app.exe\" /arg"));
  EXPECT_FALSE(Valid(u"\"" + root_ + u"\\App\\gone.exe\" /arg"));
  Put(root_ + u"\\Tools\\run.exe");
  EXPECT_TRUE(Valid(root_ + u"\\Tools\\run.exe -q"));
  EXPECT_EQ(1, refs_->FileReferenceExists(root_ + u"\\Tools\\run.exe -q")) << "a file followed by arguments";
  EXPECT_EQ(-1, refs_->FileReferenceExists(root_ + u"\\Tools\\none.exe -q"));
  EXPECT_EQ(0, refs_->FileReferenceExists(u"no drive here.exe"));
  EXPECT_EQ(1, refs_->FileReferenceExists(u""));
  FileRefFlags command;
  command.is_command_line = true;
  EXPECT_TRUE(Valid(u"\"" + root_ + u"\\App\\app.exe\" -x", command));
  EXPECT_FALSE(Valid(u"\"" + root_ + u"\\App\\app.exe\" " + root_ + u"\\App\\missing.exe", command));
}

TEST_F(FileRefs, TheDriveWalkAsksOnlyAboutPrefixesThatCanNameAFile) {
  Put(root_ + u"\\App\\app.exe");
  const std::uint64_t before = refs_->fs_calls();
  EXPECT_EQ(1, refs_->FileReferenceExists(u"\"" + root_ + u"\\App\\app.exe\" /arg /more"));
  EXPECT_EQ(1u, refs_->fs_calls() - before) << "only the file itself: nothing holding the quote is asked about";
  EXPECT_EQ(-1, refs_->FileReferenceExists(u"\"" + root_ + u"\\App\\gone.exe\" /arg"));
  EXPECT_EQ(1, refs_->FileReferenceExists(root_ + u"\\App\\app.exe|x"));
}

TEST_F(FileRefs, TextTestsComeFirst) {
  for (const char16_t* t : {u"abc", u".\\x.dll", u"http://example.invalid/x.exe", u"mailto:x", u"a;b;c.exe",
                            u"C:\\x\\*.tmp\\y", u"x86_microsoft.vc80.crt, type=win32, version=8.0.5, token=1fc8b3"})
    EXPECT_TRUE(Valid(t)) << ToUtf8(t);
  Put(root_ + u"\\x\\y.txt");
  const Text url = u"file:///" + root_.substr(0, 2) + u"/" + name_ + u"/x/y.txt";
  EXPECT_TRUE(Valid(url));
  EXPECT_FALSE(Valid(u"file:///" + root_.substr(0, 2) + u"/" + name_ + u"/x/z.txt"));
}

TEST_F(FileRefs, IndirectResourcesAndRundll32) {
  EXPECT_TRUE(Valid(u"@%SystemRoot%\\system32\\shell32.dll,-100"));
  EXPECT_FALSE(Valid(u"@%SystemRoot%\\system32\\" + name_ + u".dll,-100"));
  Put(root_ + u"\\x\\y.dll");
  EXPECT_TRUE(Valid(u"rundll32.exe " + root_ + u"\\x\\y.dll,Entry"));
  EXPECT_FALSE(Valid(u"rundll32.exe " + root_ + u"\\x\\gone.dll,Entry"));
}

TEST_F(FileRefs, SystemFolderSwapOn64BitWindows) {
  const Text only32 = syswow64_ + u"\\" + name_ + u".dll";
  Put(only32);
  system_files_.push_back(only32);
  const Text in64 = system32_ + name_ + u".dll";
  EXPECT_TRUE(Valid(in64));
  FileRefFlags skip;
  skip.skip_system_folder_swap = true;
  EXPECT_FALSE(Valid(Upcase(in64), skip)) << "another text: not answered from the cache";
}

TEST_F(FileRefs, RelativeNamesAndTheCache) {
  EXPECT_TRUE(Valid(name_ + u".txt")) << "another extension is never judged";
  EXPECT_FALSE(Valid(name_ + u".dll"));
  const Text in_system = system32_ + name_ + u"-sys.dll";
  Put(in_system);
  system_files_.push_back(in_system);
  EXPECT_TRUE(Valid(name_ + u"-sys.dll"));
  Put(root_ + u"\\cached.exe");
  EXPECT_TRUE(Valid(root_ + u"\\cached.exe"));
  ASSERT_EQ(err::kSuccess, fs_.DeleteFile(root_ + u"\\cached.exe"));
  EXPECT_TRUE(Valid(root_ + u"\\cached.exe")) << "once valid, valid for the rest of the process";
  EXPECT_FALSE(Valid(root_ + u"\\CACHED.exe")) << "the cache key is the text as passed";
}

TEST_F(FileRefs, MissingAnswersLastOneScan) {
  const Text later = root_ + u"\\later.exe";
  EXPECT_FALSE(Valid(later));
  Put(later);
  EXPECT_FALSE(Valid(later)) << "one scan reads one moment of the machine";
  refs_->BeginScan();
  EXPECT_TRUE(Valid(later));
}

TEST_F(FileRefs, RemovableMediaAreNotJudged) {
#ifdef _WIN32
  GTEST_SKIP() << "the test prefix has no CD drive";
#else
  EXPECT_TRUE(Valid(u"E:\\setup.exe"));
  refs_->set_skip_removable_media(false);
  EXPECT_FALSE(Valid(u"E:\\setup2.exe"));
#endif
}

TEST_F(FileRefs, CleanPathReference) {
  EXPECT_EQ(u"C:\\a,b\\file.dll", refs_->CleanPathReference(u"C:\\a,b\\file.dll,1"));
  EXPECT_EQ(u"C:\\Program Files\\App\\app.exe", refs_->CleanPathReference(u"\"C:\\Program Files\\App\\app.exe\" /x"));
  EXPECT_EQ(u"C:\\x\\y.ico", refs_->CleanPathReference(u"C:\\x\\y.ico,0"));
  EXPECT_EQ(u"notepad", refs_->CleanPathReference(u"notepad %1"));
  EXPECT_TRUE(EqualsNoCase(u"C:\\Windows\\system32\\x.dll", refs_->CleanPathReference(u"%SystemRoot%\\system32\\x.dll")));
  EXPECT_EQ(u"x.dll", FileNamePart(u"C:\\a\\x.dll"));
  EXPECT_EQ(u"C:\\a", FolderPart(u"C:\\a\\x.dll"));
  EXPECT_EQ(u"", FolderPart(u"x.dll"));
}

TEST_F(FileRefs, ACancelledScanJudgesNothing) {
  fx_.manager->Cancel();
  EXPECT_TRUE(Valid(root_ + u"\\definitely\\missing.exe"));
  EXPECT_EQ(0u, refs_->cache_size()) << "cancelled answers are not cached";
}

}  // namespace
}  // namespace hs
