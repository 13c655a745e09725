// The scan's file cache answers as the adapter does, at about one call per
// path, and a later cache sees files made in between.
#include "platform/caching_shell_paths.h"

#include <gtest/gtest.h>

#include <thread>

#include "engine/file_reference.h"
#include "platform/counting_shell_paths.h"
#include "platform/portable/portable_shell_paths.h"
#include "platform/store/registry_store.h"
#include "testing/scratch_fs.h"

namespace hs {
namespace {

class CachingShellPathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_.drives = {{u'C', drive_type::kFixed}, {u'D', drive_type::kRemovable}};
    machine_.windows64 = true;
    for (const char16_t* f : {u"C:\\Apps\\One\\one.exe", u"C:\\Apps\\One\\Sub\\data.bin", u"C:\\Apps\\Two\\two.dll",
                              u"C:\\Windows\\System32\\drivers\\etc\\hosts", u"C:\\Windows\\SysWOW64\\w32.dll",
                              u"C:\\Windows\\System32\\x64.dll", u"C:\\Windows\\regedit.exe"})
      Put(f);
  }
  void Put(const Text& path) {
    ASSERT_EQ(scratch_.fs().CreateDirectories(path.substr(0, path.rfind(u'\\'))), err::kSuccess);
    ASSERT_EQ(scratch_.fs().WriteFileAtomic(path, {}), err::kSuccess);
  }

  ::hs::testing::ScratchFs scratch_{"hs_filecache"};
  ShellMachine machine_;
};

TEST_F(CachingShellPathsTest, AnswersAsTheAdapterInAnyOrder) {
  PortableShellPaths plain(scratch_.fs(), machine_);
  const std::vector<Text> paths = {
      u"C:\\Apps\\One\\one.exe", u"c:\\APPS\\one\\ONE.EXE", u"C:\\Apps\\One\\missing.exe", u"C:\\Apps\\One",
      u"C:\\Apps\\One\\", u"C:\\Apps\\One\\Sub\\data.bin\\", u"C:\\Apps\\One\\one.exe\\", u"C:\\Apps\\One\\one.exe\\x",
      u"C:\\Apps\\Gone\\a\\b.dll", u"C:\\Apps\\Gone", u"C:\\Apps\\One\\..\\Two\\two.dll", u"C:\\Apps\\Gone\\..\\Two",
      u"C:\\..\\..\\Apps\\.\\One\\Sub", u"C:\\Apps\\One\\\\one.exe", u"C:/Apps/One/one.exe", u"C:\\Apps\\One\\one.exe.",
      u"C:\\Apps\\One\\CON", u"C:\\Apps\\Gone\\NUL.txt", u"C:\\Apps\\One\\one.ex", u"C:\\Apps\\On", u"C:\\",
      u"C:", u"Apps\\One\\one.exe", u"\\Apps\\Two", u"D:\\setup.exe", u"Q:\\x", u"\\\\server\\share\\a.dll",
      u"C:\\Apps\\One\\o*.exe", u"C:\\Apps\\One\\one.exe. .", u"C:\\Apps\\One\\one", u"C:\\Apps\\One\\one.",
      u"C:\\Apps\\One\\...", u"C:\\Apps\\One.\\one.exe", u"C:\\Apps\\One\\Sub.", u"C:\\Apps\\One\\Sub.\\", Text(u"C:\\Apps\\One\\one.exe\0x", 21),
      // Redirection (on for this thread): System32 is SysWOW64 except its
      // drivers\etc; Sysnative is System32; regedit.exe is SysWOW64's.
      u"C:\\Windows\\System32\\x64.dll", u"C:\\Windows\\System32\\w32.dll", u"C:\\Windows\\System32\\drivers",
      u"C:\\Windows\\System32\\drivers\\etc\\hosts", u"C:\\Windows\\Sysnative\\x64.dll", u"C:\\Windows\\regedit.exe",
      u"C:\\Windows\\SYSTEM32", u"C:\\Windows\\SysWOW64\\w32.dll"};
  CountingShellPaths costly(plain, 3);  // lists a folder at its third entry asked
  for (int round = 0; round < 4; ++round) {
    const bool reversed = round % 2;
    CachingShellPaths cache(round < 2 ? static_cast<ShellPaths&>(plain) : costly);
    for (std::size_t i = 0; i < paths.size(); ++i) {
      const Text& p = paths[reversed ? paths.size() - 1 - i : i];
      for (int twice = 0; twice < 2; ++twice) {
        EXPECT_EQ(cache.FileAttributes(p), plain.FileAttributes(p)) << ToUtf8(p) << (reversed ? " (reversed)" : "");
        EXPECT_EQ(cache.PathFileExists(p), plain.PathFileExists(p)) << ToUtf8(p) << (reversed ? " (reversed)" : "");
      }
    }
  }
}

TEST_F(CachingShellPathsTest, AFolderCostsOneCallForAllBelowIt) {
  for (int i = 0; i < 40; ++i) Put(u"C:\\Big\\f" + ToText(static_cast<std::int64_t>(i)) + u".dll");
  PortableShellPaths plain(scratch_.fs(), machine_);
  CountingShellPaths counted(plain);
  CachingShellPaths cache(counted);
  for (int i = 0; i < 200; ++i) {
    const Text n = ToText(static_cast<std::int64_t>(i));
    EXPECT_EQ(cache.FileAttributes(u"C:\\Gone\\Sub" + n + u"\\f" + n + u".dll"), FileKind::kMissing);
  }
  EXPECT_EQ(counted.total(), 1u) << "the drive root's listing answers C:\\Gone and so all below it";
  for (int i = 0; i < 80; ++i) {
    const Text n = ToText(static_cast<std::int64_t>(i));
    EXPECT_EQ(cache.FileAttributes(u"C:\\big\\F" + n + u".DLL"), i < 40 ? FileKind::kFile : FileKind::kMissing);
  }
  EXPECT_EQ(counted.total(), 2u) << "one listing of C:\\Big";
  // A path ending in dots names the file without them, from the listing.
  EXPECT_EQ(cache.FileAttributes(u"C:\\Big\\f1.dll."), FileKind::kFile);
  EXPECT_EQ(cache.FileAttributes(u"C:\\Big\\f1."), FileKind::kMissing);
  EXPECT_EQ(counted.total(), 2u);

  // Another thread's redirection may differ: it is passed through.
  const std::uint64_t before = counted.total();
  std::thread([&] { EXPECT_EQ(cache.FileAttributes(u"C:\\Big\\f1.dll"), FileKind::kFile); }).join();
  EXPECT_EQ(counted.total(), before + 1);
}

TEST_F(CachingShellPathsTest, ACostlyListingWaitsForEnoughLookups) {
  for (int i = 0; i < 10; ++i) Put(u"C:\\Big\\f" + ToText(static_cast<std::int64_t>(i)) + u".dll");
  PortableShellPaths plain(scratch_.fs(), machine_);
  CountingShellPaths counted(plain, 4);
  CachingShellPaths cache(counted);
  EXPECT_EQ(cache.FileAttributes(u"C:\\Big\\f1.dll"), FileKind::kFile);
  EXPECT_EQ(cache.FileAttributes(u"C:\\Big\\f1.dll"), FileKind::kFile);
  EXPECT_EQ(cache.FileAttributes(u"C:\\Big\\none.dll"), FileKind::kMissing);
  EXPECT_EQ(cache.FileAttributes(u"C:\\Big\\f2.dll\\x"), FileKind::kMissing);
  EXPECT_EQ(counted.listings, 1u) << "the drive root only";
  EXPECT_EQ(counted.attributes, 3u) << "one test per distinct entry of C:\\Big";
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(cache.FileAttributes(u"C:\\Big\\F" + ToText(static_cast<std::int64_t>(i)) + u".DLL"),
              i < 10 ? FileKind::kFile : FileKind::kMissing);
  EXPECT_EQ(counted.listings, 2u) << "the fourth entry lists C:\\Big";
  EXPECT_EQ(counted.attributes, 3u);
}

TEST_F(CachingShellPathsTest, DrivesAreAskedOncePerDrive) {
  machine_.drives[u'N'] = drive_type::kRemote;
  PortableShellPaths plain(scratch_.fs(), machine_);
  CountingShellPaths counted(plain);
  CachingShellPaths cache(counted);
  const std::vector<Text> paths = {u"C:\\Apps\\one.exe", u"c:\\x",       u"N:\\share\\a.dll", u"n:",
                                   u"\\\\server\\a.dll", u"Apps\\x.dll", u"D:\\setup.exe",    u"1:\\x"};
  for (int round = 0; round < 3; ++round)
    for (const Text& p : paths) {
      EXPECT_EQ(cache.PathIsNetworkPath(p), plain.PathIsNetworkPath(p)) << ToUtf8(p);
      const Text root = p.substr(0, 3);
      EXPECT_EQ(cache.DriveType(root), plain.DriveType(root)) << ToUtf8(root);
    }
  // Network tests: C, N, D once each; the UNC, relative and "1:" paths each
  // time. Drive types: one per distinct root text.
  EXPECT_EQ(counted.drive_queries, 3u + 3u * 3u + 7u);
}

TEST_F(CachingShellPathsTest, EachScanSeesTheFilesOfItsStart) {
  PortableShellPaths plain(scratch_.fs(), machine_);
  RegistryStore store;
  FileReferences refs(plain, RegEnv{store, false}, nullptr, u"C:\\Windows\\system32\\", u"");
  refs.BeginScan();
  EXPECT_EQ(refs.FileReferenceExists(u"C:\\Later\\new.exe"), -1);
  Put(u"C:\\Later\\new.exe");
  EXPECT_EQ(refs.FileReferenceExists(u"C:\\Later\\new.exe"), -1) << "one scan reads one moment of the machine";
  refs.EndScan();
  EXPECT_EQ(refs.FileReferenceExists(u"C:\\Later\\new.exe"), 1) << "outside a scan the adapter answers";
  refs.BeginScan();
  EXPECT_EQ(refs.FileReferenceExists(u"C:\\Later\\new.exe"), 1);
  refs.EndScan();
}

}  // namespace
}  // namespace hs
