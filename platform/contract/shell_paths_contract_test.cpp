// The ShellPaths contract, checked against the platform's adapter: the Win32
// one in the win32 build (under Wine, on the prefix's own drive C:), the
// portable one natively, on a machine laid out like a 64-bit Windows in a
// temporary folder mapped as C:. Where Wine answers otherwise than Windows
// the case says so; the portable adapter gives Windows' answer.
#include "platform/shell_paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "testing/test_env.h"
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

const Text kWindows = u"C:\\Windows";
const Text kSystem32 = u"C:\\Windows\\System32";

// File-system redirection off for the calling thread while it lives.
class RedirectionOff {
 public:
  explicit RedirectionOff(Wow64& wow64) : wow64_(wow64) { active_ = wow64_.DisableFsRedirection(&cookie_); }
  ~RedirectionOff() {
    if (active_) (void)wow64_.RevertFsRedirection(cookie_);
  }
  RedirectionOff(const RedirectionOff&) = delete;
  RedirectionOff& operator=(const RedirectionOff&) = delete;
  bool active() const { return active_; }

 private:
  Wow64& wow64_;
  void* cookie_ = nullptr;
  bool active_ = false;
};

class ShellPathsContract : public ::testing::Test {
 protected:
  void SetUp() override {
    wow64_ = ::hs::testing::MakeContractWow64();
    name_ = ::hs::testing::UniqueName("hs-contract");
    root_ = u"C:\\" + name_;
#ifdef _WIN32
    host_root_ = stdfs::path(std::wstring(root_.begin(), root_.end()));
#else
    host_root_ = stdfs::temp_directory_path() / ToUtf8(name_);
    stdfs::create_directories(host_root_);
    fs_.MapDrive(u'C', host_root_);
    // What the cases rely on from a real Windows folder.
    Put(kSystem32 + u"\\notepad.exe");
    Put(u"C:\\Windows\\SysWOW64\\notepad.exe");
    Put(kSystem32 + u"\\drivers\\etc\\hosts");
    machine_.drives = {{u'C', drive_type::kFixed}};
    machine_.environment = {{u"SystemRoot", kWindows}, {u"windir", kWindows}};
    machine_.search_path = {u"C:\\Windows\\system32", kWindows};
    machine_.windows64 = true;
#endif
    ASSERT_EQ(fs_.CreateDirectories(root_), err::kSuccess);
  }

  void TearDown() override {
    paths_.reset();
    {
      RedirectionOff off(*wow64_);
      for (const Text& f : system_files_) (void)fs_.DeleteFile(f);
    }
#ifdef _WIN32
    if (path_changed_) _wputenv((L"PATH=" + saved_path_).c_str());
#endif
    std::error_code ec;
    stdfs::remove_all(host_root_, ec);
  }

  ShellPaths& paths() {
    if (!paths_) {
#ifdef _WIN32
      paths_ = std::make_unique<Win32ShellPaths>();
#else
      paths_ = std::make_unique<PortableShellPaths>(fs_, machine_);
#endif
    }
    return *paths_;
  }

  // Adds a folder at the end of the search path (PATH).
  void AppendSearchFolder(const Text& dir) {
#ifdef _WIN32
    if (!path_changed_) {
      const wchar_t* old = _wgetenv(L"PATH");
      saved_path_ = old ? old : L"";
      path_changed_ = true;
    }
    const std::wstring value = L"PATH=" + saved_path_ + L";" + std::wstring(dir.begin(), dir.end());
    ASSERT_EQ(_wputenv(value.c_str()), 0);
#else
    machine_.search_path.push_back(dir);
    paths_.reset();
#endif
  }

  // An empty file, with its folders.
  void Put(const Text& path) {
    ASSERT_EQ(fs_.CreateDirectories(path.substr(0, path.rfind(u'\\'))), err::kSuccess);
    ASSERT_EQ(fs_.WriteFileAtomic(path, {}), err::kSuccess);
  }
  // An empty file in a system folder, made with redirection off (removed
  // again after the case).
  void PutSystemFile(const Text& path) {
    RedirectionOff off(*wow64_);
    ASSERT_TRUE(off.active());
    system_files_.push_back(path);
    Put(path);
  }

  Text Path(TextView rel) const { return root_ + u"\\" + Text(rel); }

  Text Qualify(TextView path) {
    Text out = u"<unset>";
    EXPECT_TRUE(paths().PathSearchAndQualify(path, &out)) << ToUtf8(path);
    return out;
  }

  std::unique_ptr<Wow64> wow64_;
  Text name_;
  Text root_;
  stdfs::path host_root_;
  std::vector<Text> system_files_;
  std::unique_ptr<ShellPaths> paths_;
#ifdef _WIN32
  Win32FileSystem fs_;
  std::wstring saved_path_;
  bool path_changed_ = false;
#else
  HostFileSystem fs_;
  ShellMachine machine_;
#endif
};

TEST_F(ShellPathsContract, AttributesTellFilesFoldersAndMissingEntries) {
  Put(Path(u"dir\\file.txt"));
  ShellPaths& p = paths();
  auto kind = [&](TextView rel) { return p.FileAttributes(Path(rel)); };
  EXPECT_EQ(kind(u"dir"), FileKind::kDirectory);
  EXPECT_EQ(kind(u"dir\\"), FileKind::kDirectory);
  EXPECT_EQ(kind(u"dir\\file.txt"), FileKind::kFile);
  EXPECT_EQ(p.FileAttributes(Upcase(Path(u"dir\\file.txt"))), FileKind::kFile) << "case-insensitive";
  EXPECT_EQ(kind(u"x\\..\\dir/./file.txt. ."), FileKind::kFile) << "resolved as Windows resolves paths";
  EXPECT_EQ(kind(u"dir\\file.txt\\"), FileKind::kMissing);
  EXPECT_EQ(kind(u"dir\\nope.txt"), FileKind::kMissing);
  EXPECT_EQ(kind(u"nodir\\file.txt"), FileKind::kMissing);
  EXPECT_EQ(kind(u"dir\\*.txt"), FileKind::kMissing);
  // DOS device names exist in every existing folder.
  EXPECT_EQ(kind(u"dir\\NUL"), FileKind::kFile);
  EXPECT_EQ(kind(u"dir\\con.txt"), FileKind::kFile);

  EXPECT_TRUE(p.PathFileExists(Path(u"DIR")));
  EXPECT_TRUE(p.PathFileExists(Path(u"dir\\file.txt")));
  EXPECT_FALSE(p.PathFileExists(Path(u"dir\\nope.txt")));
  EXPECT_FALSE(p.PathFileExists(u""));
  // A NUL must not cut "...\file.txt\0x" short to an existing file.
  Text with_nul = Path(u"dir\\file.txt");
  with_nul += Text(1, u'\0') + u"x";
  EXPECT_EQ(p.FileAttributes(with_nul), FileKind::kMissing);
  EXPECT_FALSE(p.PathFileExists(with_nul));
}

TEST_F(ShellPathsContract, AListingNamesEntriesAsAttributesFindThem) {
  Put(Path(u"dir\\file.txt"));
  Put(Path(u"dir\\A Long Folder Name\\inner.txt"));
  ShellPaths& p = paths();
  std::vector<ShellPaths::FolderEntry> entries;
  ASSERT_TRUE(p.ListFolder(Path(u"dir"), &entries));
  bool file = false, folder = false;
  for (const auto& e : entries) {
    // Every name (a short 8.3 one too) finds the entry it lists.
    EXPECT_EQ(e.kind, p.FileAttributes(Path(u"dir\\") + e.name)) << ToUtf8(e.name);
    file = file || (e.name == u"file.txt" && e.kind == FileKind::kFile);
    folder = folder || (e.name == u"A Long Folder Name" && e.kind == FileKind::kDirectory);
  }
  EXPECT_TRUE(file);
  EXPECT_TRUE(folder);
  EXPECT_FALSE(p.ListFolder(Path(u"dir\\file.txt"), &entries));
  EXPECT_TRUE(entries.empty());
  EXPECT_FALSE(p.ListFolder(Path(u"missing"), &entries));
}

TEST_F(ShellPathsContract, DrivesAreListedWithTheirTypes) {
  ShellPaths& p = paths();
  const std::vector<Text> drives = p.LogicalDriveStrings();
  EXPECT_NE(std::find(drives.begin(), drives.end(), u"C:\\"), drives.end());
  Text unlisted;
  for (char16_t letter = u'Z'; letter >= u'D' && unlisted.empty(); --letter) {
    const Text root{letter, u':', u'\\'};
    if (std::find(drives.begin(), drives.end(), root) == drives.end()) unlisted = root;
  }
  ASSERT_FALSE(unlisted.empty());
  EXPECT_EQ(p.DriveType(u"C:\\"), drive_type::kFixed);
  EXPECT_EQ(p.DriveType(u"c:"), drive_type::kFixed);
  EXPECT_EQ(p.DriveType(unlisted), drive_type::kNoRootDir);
  EXPECT_EQ(p.DriveType(u""), drive_type::kNoRootDir);
  if (::hs::testing::RunningOnWine()) {
    // Wine deviation: it answers for the volume of any folder; Windows wants
    // the root itself.
    EXPECT_EQ(p.DriveType(u"C:\\Windows"), drive_type::kFixed);
  } else {
    EXPECT_EQ(p.DriveType(u"C:\\Windows"), drive_type::kNoRootDir);
  }
}

TEST_F(ShellPathsContract, EnvironmentExpansion) {
  ShellPaths& p = paths();
  Text out;
  ExpandResult r = p.ExpandEnvironmentStrings(u"%SystemRoot%\\x", 2048, &out);
  EXPECT_TRUE(r.ok);
  EXPECT_TRUE(EqualsNoCase(out, kWindows + u"\\x")) << ToUtf8(out);
  EXPECT_EQ(r.needed, out.size() + 1);
  ASSERT_TRUE(p.ExpandEnvironmentStrings(u"%systemroot%%WINDIR%", 2048, &out).ok) << "names ignore case";
  EXPECT_TRUE(EqualsNoCase(out, kWindows + kWindows)) << ToUtf8(out);
  // Unknown names and lone '%' stay as written.
  for (const Text& same : {u"%" + name_ + u"%\\x", Text(u"50%"), Text(u"a%b"), Text(u"%%")}) {
    ASSERT_TRUE(p.ExpandEnvironmentStrings(same, 2048, &out).ok);
    EXPECT_EQ(out, same);
  }

  // The capacity counts the terminator; too small reports the size needed.
  const auto needed = static_cast<std::uint32_t>(kWindows.size() + 1);
  out = u"stale";
  r = p.ExpandEnvironmentStrings(u"%SystemRoot%", needed - 1, &out);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.needed, needed);
  EXPECT_EQ(out, u"");
  EXPECT_EQ(p.ExpandEnvironmentStrings(u"%SystemRoot%", 0, &out).needed, needed);
  EXPECT_TRUE(p.ExpandEnvironmentStrings(u"%SystemRoot%", needed, &out).ok);

  // Over-long text is refused, not cut short.
  r = p.ExpandEnvironmentStrings(Text(kMaxShellTextChars + 1, u'a'), 1 << 20, &out);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.needed, 0u);
}

TEST_F(ShellPathsContract, CommandLinesNetworkPathsAndFileSpecs) {
  ShellPaths& p = paths();
  EXPECT_EQ(p.PathGetArgs(u"\"C:\\Program Files\\a.exe\" -x y"), u"-x y");
  EXPECT_EQ(p.PathGetArgs(u"a.exe  b"), u" b");
  EXPECT_EQ(p.PathGetArgs(u"a"), u"");
  EXPECT_EQ(p.PathGetArgs(u"\"a b\""), u"");
  EXPECT_EQ(p.PathGetArgs(u"\"a\"b c"), u"c");

  EXPECT_TRUE(p.PathIsNetworkPath(u"\\\\server\\share"));
  EXPECT_FALSE(p.PathIsNetworkPath(u"C:\\x"));
  EXPECT_FALSE(p.PathIsNetworkPath(u"//server/share"));

  EXPECT_TRUE(p.PathIsFileSpec(u"a.dll"));
  EXPECT_TRUE(p.PathIsFileSpec(u"x/a.dll"));
  EXPECT_FALSE(p.PathIsFileSpec(u"x\\a.dll"));
  EXPECT_FALSE(p.PathIsFileSpec(u"c:a"));

  Put(Path(u"lib\\a.dll"));
  EXPECT_FALSE(p.IsFileProtected(Path(u"lib\\a.dll")));
}

TEST_F(ShellPathsContract, SearchesFindSystemAndPathFolderFiles) {
  Put(Path(u"bin\\sub\\deep.txt"));
  AppendSearchFolder(Path(u"bin"));
  ShellPaths& p = paths();
  const Text notepad = kSystem32 + u"\\notepad.exe";
  Text name = u"NOTEPAD.EXE";
  ASSERT_TRUE(p.PathFindOnPath(&name));
  EXPECT_TRUE(EqualsNoCase(name, notepad) && name.ends_with(u"NOTEPAD.EXE")) << ToUtf8(name);
  Text found;
  ASSERT_TRUE(p.SearchPath(u"notepad.exe", &found));
  EXPECT_TRUE(EqualsNoCase(found, notepad)) << ToUtf8(found);
  EXPECT_TRUE(EqualsNoCase(Qualify(u"notepad.exe"), notepad));

  // Names with folders: SearchPath looks below each folder, PathFindOnPath
  // takes bare names only.
  ASSERT_TRUE(p.SearchPath(u"sub\\deep.txt", &found));
  EXPECT_TRUE(EqualsNoCase(found, Path(u"bin\\sub\\deep.txt"))) << ToUtf8(found);
  name = u"sub\\deep.txt";
  EXPECT_FALSE(p.PathFindOnPath(&name));
  name = notepad;
  EXPECT_FALSE(p.PathFindOnPath(&name));
  EXPECT_EQ(name, notepad);

  name = name_ + u".exe";
  EXPECT_FALSE(p.PathFindOnPath(&name));
  EXPECT_EQ(name, name_ + u".exe");
  EXPECT_FALSE(p.SearchPath(name_ + u".exe", &found));
  EXPECT_EQ(found, u"");
  // No name is no file (the Windows calls answer a folder for these).
  for (const Text& blank : {Text(), Text(u"."), Text(u"..")}) {
    name = blank;
    EXPECT_FALSE(p.PathFindOnPath(&name)) << '"' << ToUtf8(blank) << '"';
    EXPECT_FALSE(p.SearchPath(blank, &found)) << '"' << ToUtf8(blank) << '"';
  }
}

TEST_F(ShellPathsContract, QualifyingGivesFullPaths) {
  EXPECT_EQ(Qualify(Path(u"a\\..\\b\\.\\c")), Path(u"b\\c"));
  EXPECT_EQ(Qualify(Path(u"x//y. . ")), Path(u"x\\y"));
  EXPECT_EQ(Qualify(Path(u"x\\")), Path(u"x\\"));
  EXPECT_EQ(Qualify(u"C:\\..\\..\\x"), u"C:\\x");
  // The result must fit 260 units with its terminator.
  const Text longest = u"C:\\" + Text(kMaxPathChars - 4, u'b');
  EXPECT_EQ(Qualify(longest), longest);
  Text out = u"stale";
  EXPECT_FALSE(paths().PathSearchAndQualify(longest + u"b", &out));
  EXPECT_EQ(out, u"");
}

TEST_F(ShellPathsContract, System32IsRedirectedUntilTheThreadSwitchesItOff) {
  if (!wow64_->IsWow64Process()) GTEST_SKIP() << "32-bit Windows has no redirection";
  const Text only64 = name_ + u"-64.txt";
  const Text only32 = name_ + u"-32.txt";
  PutSystemFile(kSystem32 + u"\\" + only64);
  PutSystemFile(u"C:\\Windows\\SysWOW64\\" + only32);
  ShellPaths& p = paths();
  auto kind = [&](TextView folder, TextView file) { return p.FileAttributes(Text(folder) + u"\\" + Text(file)); };

  // On, as a 32-bit program starts: System32 shows the 32-bit files.
  EXPECT_EQ(kind(kSystem32, only32), FileKind::kFile);
  EXPECT_EQ(kind(kSystem32, only64), FileKind::kMissing);
  EXPECT_EQ(kind(u"C:\\Windows\\Sysnative", only64), FileKind::kFile);
  EXPECT_EQ(kind(u"C:\\Windows\\SysWOW64\\..\\System32", only64), FileKind::kMissing);
  EXPECT_EQ(kind(kSystem32, u"drivers\\etc\\hosts"), FileKind::kFile) << "not redirected";
  Text name = only32;
  ASSERT_TRUE(p.PathFindOnPath(&name));
  EXPECT_TRUE(EqualsNoCase(name, kSystem32 + u"\\" + only32)) << "reported under System32: " << ToUtf8(name);
  name = only64;
  EXPECT_FALSE(p.PathFindOnPath(&name));

  {
    RedirectionOff off(*wow64_);
    ASSERT_TRUE(off.active());
    EXPECT_EQ(kind(kSystem32, only64), FileKind::kFile);
    EXPECT_EQ(kind(kSystem32, only32), FileKind::kMissing);
    EXPECT_EQ(kind(u"C:\\Windows\\SysWOW64", only32), FileKind::kFile);
    name = only64;
    EXPECT_TRUE(p.PathFindOnPath(&name));
    if (::hs::testing::RunningOnWine()) {
      // Wine deviation: Sysnative stays visible with redirection off.
      EXPECT_EQ(kind(u"C:\\Windows\\Sysnative", only64), FileKind::kFile);
    } else {
      EXPECT_EQ(kind(u"C:\\Windows\\Sysnative", only64), FileKind::kMissing);
    }
    // Redirection is per thread: another thread still has it on.
    FileKind seen = FileKind::kFile;
    std::thread other([&] { seen = kind(kSystem32, only64); });
    other.join();
    EXPECT_EQ(seen, FileKind::kMissing);
  }
  EXPECT_EQ(kind(kSystem32, only64), FileKind::kMissing) << "on again";
}

}  // namespace
}  // namespace hs
