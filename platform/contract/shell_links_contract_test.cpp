// The ShellLinks contract, checked against the platform's adapter (the
// system's shell-link object under Wine, liblnk natively) on the same
// shortcut files: platform/contract/shortcuts/*.lnk, made under Wine with
// hs_make_shortcut (env.lnk is present.lnk with an expandable-path block
// added by hand, which Wine's shell-link object cannot write), plus three
// files that are no shortcuts.
#include "platform/shell_links.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "testing/fixture_files.h"
#include "testing/test_env.h"
#ifdef _WIN32
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_shell_links.h"
#include "platform/win32/win32_shell_paths.h"
// last: its macros rename members of the ports
#include <windows.h>
#else
#include "platform/portable/host_file_system.h"
#include "platform/portable/liblnk_shell_links.h"
#include "platform/portable/portable_shell_paths.h"
#endif

namespace hs {
namespace {

namespace stdfs = std::filesystem;

class ShellLinksContract : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = ::hs::testing::UniqueName("hs-links");
    root_ = u"C:\\" + name_;
#ifdef _WIN32
    host_ = stdfs::path(std::wstring(root_.begin(), root_.end()));
    shell_ = std::make_unique<Win32ShellPaths>();
    links_ = std::make_unique<Win32ShellLinks>();
#else
    host_ = stdfs::temp_directory_path() / ToUtf8(name_);
    stdfs::create_directories(host_);
    fs_.MapDrive(u'C', host_);
    ShellMachine m;
    m.drives = {{u'C', drive_type::kFixed}};
    m.environment = {{u"ProgramFiles", u"C:\\Program Files (x86)"}, {u"SystemRoot", u"C:\\Windows"}};
    shell_ = std::make_unique<PortableShellPaths>(fs_, m);
    links_ = std::make_unique<LiblnkShellLinks>(fs_, *shell_);
#endif
    ASSERT_EQ(err::kSuccess, fs_.CreateDirectories(root_));
    guard_ = links_->EnterThread();
  }
  void TearDown() override {
    guard_.reset();
    std::error_code ec;
    stdfs::remove_all(host_, ec);
  }

  // Copies a committed shortcut file into the test folder; its path there.
  Text Copy(const std::string& file) {
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(::hs::testing::ReadSourceFile("platform/contract/shortcuts/" + file, &bytes)) << file;
    const Text path = root_ + u"\\" + FromUtf8(file);
    EXPECT_EQ(err::kSuccess, fs_.WriteFileAtomic(path, bytes));
    return path;
  }
  Text Target(const std::string& file) { return links_->TargetPath(Copy(file)); }

  Text name_, root_;
  stdfs::path host_;
#ifdef _WIN32
  Win32FileSystem fs_;
#else
  HostFileSystem fs_;
#endif
  std::unique_ptr<ShellPaths> shell_;
  std::unique_ptr<ShellLinks> links_;
  std::unique_ptr<ShellLinks::ThreadGuard> guard_;
};

TEST_F(ShellLinksContract, TargetsOfShortcutsMadeByTheShell) {
  EXPECT_EQ(u"C:\\hs-shortcut-fixture\\App\\present.exe", Target("present.lnk"));
  EXPECT_EQ(u"C:\\hs-shortcut-fixture\\App\\gone.exe", Target("gone.lnk"));
  EXPECT_EQ(u"C:\\hs-shortcut-fixture\\Never\\made.exe", Target("nowhere.lnk")) << "made for a missing target";
  EXPECT_EQ(u"C:\\hs-shortcut-fixture\\App\\present.exe", Target("args.lnk")) << "arguments are not part of it";
  // Wine's shell-link object stores the relative path without setting its
  // flag, so rel.lnk ends in data that is no valid block: Wine reads its own
  // file back, liblnk refuses the file (hostile input: no target).
  EXPECT_EQ(::hs::testing::RunningOnWine() ? u"C:\\hs-shortcut-fixture\\App\\present.exe" : u"", Target("rel.lnk"));
  EXPECT_EQ(u"C:\\hs-shortcut-fixture\\Docs", Target("folder.lnk"));
  EXPECT_EQ(u"\\\\fileserver\\share\\report.doc", Target("unc.lnk"));
}

TEST_F(ShellLinksContract, StoredPathWinsOverTheExpandablePath) {
  // env.lnk holds C:\hs-shortcut-fixture\App\present.exe and the
  // expandable "%ProgramFiles%\hs-shortcut-fixture\tool.exe": the shell
  // gives the stored path.
  EXPECT_EQ(u"C:\\hs-shortcut-fixture\\App\\present.exe", Target("env.lnk"));
}

TEST_F(ShellLinksContract, FilesThatAreNoShortcutsHaveNoTarget) {
  for (const char* f : {"notalink.lnk", "empty.lnk", "truncated.lnk"}) EXPECT_EQ(u"", Target(f)) << f;
  EXPECT_EQ(u"", links_->TargetPath(root_ + u"\\missing.lnk"));
  EXPECT_EQ(u"", links_->TargetPath(root_));
  // Larger than any shortcut: not read.
  std::vector<std::uint8_t> big;
  ASSERT_TRUE(::hs::testing::ReadSourceFile("platform/contract/shortcuts/present.lnk", &big));
  big.resize(kMaxShellLinkBytes + 1, 0);
  ASSERT_EQ(err::kSuccess, fs_.WriteFileAtomic(root_ + u"\\big.lnk", big));
  EXPECT_EQ(u"", links_->TargetPath(root_ + u"\\big.lnk"));
}

TEST_F(ShellLinksContract, WritableMeansAnExistingFile) {
  const Text link = Copy("present.lnk");
  EXPECT_TRUE(links_->IsWritable(link));
  EXPECT_FALSE(links_->IsWritable(root_ + u"\\missing.lnk"));
  EXPECT_FALSE(fs_.Exists(root_ + u"\\missing.lnk")) << "never created";
  EXPECT_FALSE(links_->IsWritable(root_));
  std::vector<std::uint8_t> bytes;
  ASSERT_EQ(err::kSuccess, fs_.ReadFile(link, 4096, &bytes));
  EXPECT_EQ(430u, bytes.size()) << "not truncated";
}

#ifdef _WIN32
TEST_F(ShellLinksContract, Win32ShortcutsRoundTrip) {
  ShellLinkFields fields;
  fields.target = root_ + u"\\App\\tool.exe";
  fields.arguments = u"-x";
  const Text link = root_ + u"\\made.lnk";
  ASSERT_EQ(0, SaveShellLink(link, fields));
  EXPECT_EQ(fields.target, links_->TargetPath(link));
  // (Whether a read-only file is writable is not checked: Wine run as root
  // opens it for writing.)
  const std::wstring w(link.begin(), link.end());
  ASSERT_TRUE(::SetFileAttributesW(w.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(fields.target, links_->TargetPath(link)) << "read-only shortcuts are still read";
  ::SetFileAttributesW(w.c_str(), FILE_ATTRIBUTE_NORMAL);
}
#else
TEST(LinkRelativePath, ResolvedAgainstTheShortcutsFolder) {
  EXPECT_EQ(u"C:\\a\\x.exe", ResolveLinkRelativePath(u"C:\\a\\b\\l.lnk", u"..\\x.exe"));
  EXPECT_EQ(u"C:\\a\\b\\c\\x.exe", ResolveLinkRelativePath(u"C:\\a\\b\\l.lnk", u".\\c\\.\\x.exe"));
  EXPECT_EQ(u"C:\\x.exe", ResolveLinkRelativePath(u"C:\\a\\l.lnk", u"..\\..\\..\\x.exe")) << "never above the root";
  EXPECT_EQ(u"\\\\srv\\share\\x.exe", ResolveLinkRelativePath(u"\\\\srv\\share\\d\\l.lnk", u"..\\..\\x.exe"));
  EXPECT_EQ(u"", ResolveLinkRelativePath(u"C:\\a\\l.lnk", u"C:\\x.exe"));
  EXPECT_EQ(u"", ResolveLinkRelativePath(u"C:\\a\\l.lnk", u""));
  EXPECT_EQ(u"", ResolveLinkRelativePath(u"l.lnk", u".\\x.exe"));
}
#endif

}  // namespace
}  // namespace hs
