// What the portable shell-paths adapter models beyond the contract suite:
// configured drives and protected files, the current folder, the search
// orders and the redirection exceptions.
#include "platform/portable/portable_shell_paths.h"

#include <gtest/gtest.h>

#include "platform/portable/portable_wow64.h"
#include "testing/scratch_fs.h"

namespace hs {
namespace {

class PortableShellPathsTest : public ::testing::Test {
 protected:
  PortableShellPaths& paths() {
    if (!paths_) paths_ = std::make_unique<PortableShellPaths>(scratch_.fs(), machine_);
    return *paths_;
  }
  void Put(const Text& path) {
    ASSERT_EQ(scratch_.fs().CreateDirectories(path.substr(0, path.rfind(u'\\'))), err::kSuccess);
    ASSERT_EQ(scratch_.fs().WriteFileAtomic(path, {}), err::kSuccess);
  }
  Text Find(TextView name) {
    Text n(name);
    return paths().PathFindOnPath(&n) ? n : u"<none>";
  }
  Text Search(TextView name) {
    Text found;
    return paths().SearchPath(name, &found) ? found : u"<none>";
  }
  Text Qualify(TextView path) {
    Text out;
    return paths().PathSearchAndQualify(path, &out) ? out : u"<none>";
  }

  ::hs::testing::ScratchFs scratch_{"hs_shellpaths"};
  ShellMachine machine_;
  std::unique_ptr<PortableShellPaths> paths_;
};

TEST_F(PortableShellPathsTest, ConfiguredDrivesAndProtectedFiles) {
  machine_.drives = {{u'n', drive_type::kRemote}, {u'C', drive_type::kFixed}, {u'D', drive_type::kCdRom},
                     {u'E', drive_type::kNoRootDir}};
  machine_.protected_files = {u"C:/Windows/System32/kernel32.dll"};
  PortableShellPaths& p = paths();
  EXPECT_EQ(p.LogicalDriveStrings(), (std::vector<Text>{u"C:\\", u"D:\\", u"N:\\"}));
  EXPECT_EQ(p.DriveType(u"d:\\"), drive_type::kCdRom);
  EXPECT_EQ(p.DriveType(u"E:\\"), drive_type::kNoRootDir);
  EXPECT_EQ(p.FileAttributes(u"D:\\setup.exe"), FileKind::kMissing) << "a drive without a folder holds nothing";
  EXPECT_TRUE(p.PathIsNetworkPath(u"n:\\share\\a.exe"));
  EXPECT_FALSE(p.PathIsNetworkPath(u"D:\\a.exe"));

  EXPECT_TRUE(p.IsFileProtected(u"c:\\windows\\SysWOW64\\..\\system32\\KERNEL32.DLL"));
  EXPECT_FALSE(p.IsFileProtected(u"kernel32.dll")) << "only full paths";
}

TEST_F(PortableShellPathsTest, RelativePathsResolveAgainstTheCurrentFolder) {
  Put(u"C:\\Work\\a.txt");
  machine_.drives = {{u'C', drive_type::kFixed}, {u'D', drive_type::kRemovable}};
  machine_.current_directory = u"C:\\Work\\";
  PortableShellPaths& p = paths();
  EXPECT_EQ(p.FileAttributes(u"a.txt"), FileKind::kFile);
  EXPECT_EQ(p.FileAttributes(u"C:a.txt"), FileKind::kFile);
  EXPECT_EQ(p.FileAttributes(u"\\Work\\a.txt"), FileKind::kFile);
  EXPECT_EQ(Qualify(u"C:"), u"C:\\Work");
  EXPECT_EQ(Qualify(u"D:x"), u"D:\\x") << "another drive: its root";
  EXPECT_EQ(Qualify(u"a..\\b.\\c..."), u"C:\\Work\\a.\\b\\c");
  EXPECT_EQ(Qualify(u"\\\\server\\share\\..\\a"), u"\\\\server\\share\\a");
  EXPECT_EQ(p.FileAttributes(u"\\\\server\\share\\a"), FileKind::kMissing) << "no network";
  EXPECT_EQ(p.FileAttributes(u"\\\\?\\C:\\Work\\a.txt."), FileKind::kMissing) << "taken as written";

  machine_.current_directory = u"Work";  // not absolute: no current folder
  paths_.reset();
  EXPECT_EQ(paths().FileAttributes(u"a.txt"), FileKind::kMissing);
  EXPECT_EQ(Qualify(u"a.txt"), u"<none>");
}

TEST_F(PortableShellPathsTest, SearchOrders) {
  machine_.drives = {{u'C', drive_type::kFixed}};
  machine_.program_directory = u"C:\\Prog";
  machine_.current_directory = u"C:\\Cwd";
  machine_.search_path = {u"", u"C:\\Tools"};
  for (const char16_t* f : {u"C:\\Prog\\a.txt", u"C:\\Cwd\\a.txt", u"C:\\Cwd\\b.txt", u"C:\\Windows\\system32\\b.txt",
                            u"C:\\Windows\\System\\c.txt", u"C:\\Windows\\c.txt", u"C:\\Tools\\d.txt"})
    Put(f);
  // SearchPath: program folder, current folder, system folders, Windows, PATH.
  EXPECT_EQ(Search(u"a.txt"), u"C:\\Prog\\a.txt");
  EXPECT_EQ(Search(u"b.txt. "), u"C:\\Cwd\\b.txt");
  EXPECT_EQ(Search(u"c.txt"), u"C:\\Windows\\System\\c.txt");
  EXPECT_EQ(Search(u"d.txt"), u"C:\\Tools\\d.txt");
  // PathFindOnPath: neither of the first two, and an empty PATH entry is no
  // folder (it would find names in the current folder).
  EXPECT_EQ(Find(u"a.txt"), u"<none>");
  EXPECT_EQ(Find(u"b.txt"), u"C:\\Windows\\system32\\b.txt");
  EXPECT_EQ(Find(u"c.txt"), u"C:\\Windows\\System\\c.txt");
  EXPECT_EQ(Find(u"d.txt"), u"C:\\Tools\\d.txt");

  Text out;
  ASSERT_TRUE(paths().ExpandEnvironmentStrings(u"%path%", 100, &out).ok);
  EXPECT_EQ(out, u"C:\\Tools");
}

TEST_F(PortableShellPathsTest, RedirectionExceptions) {
  machine_.drives = {{u'C', drive_type::kFixed}};
  machine_.windows64 = true;
  for (const char16_t* f : {u"C:\\Windows\\System32\\spool\\x.dll", u"C:\\Windows\\System32\\drivers\\x.sys",
                            u"C:\\Windows\\SysWOW64\\regedit.exe"})
    Put(f);
  PortableShellPaths& p = paths();
  EXPECT_EQ(p.FileAttributes(u"C:\\Windows\\system32\\SPOOL\\x.dll"), FileKind::kFile) << "exempt";
  EXPECT_EQ(p.FileAttributes(u"C:\\Windows\\System32\\drivers\\x.sys"), FileKind::kMissing);
  EXPECT_EQ(p.FileAttributes(u"C:\\Windows\\regedit.exe"), FileKind::kFile);
  {
    PortableWow64 wow64(true);
    void* cookie = nullptr;
    ASSERT_TRUE(wow64.DisableFsRedirection(&cookie));
    EXPECT_EQ(p.FileAttributes(u"C:\\Windows\\regedit.exe"), FileKind::kMissing);
    ASSERT_TRUE(wow64.RevertFsRedirection(cookie));
  }

  // 32-bit Windows: every path is itself.
  machine_.windows64 = false;
  paths_.reset();
  EXPECT_EQ(paths().FileAttributes(u"C:\\Windows\\System32\\drivers\\x.sys"), FileKind::kFile);
  EXPECT_EQ(paths().FileAttributes(u"C:\\Windows\\Sysnative\\drivers\\x.sys"), FileKind::kMissing);
}

}  // namespace
}  // namespace hs
