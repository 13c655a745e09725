#include "backup/full_backup.h"

#include <gtest/gtest.h>

#include "backup/restore_point.h"
#include "platform/store/registry_store.h"
#include "platform/store_reg_editor.h"
#include "testing/manual_clock.h"
#include "testing/memory_log.h"
#include "testing/reg_snapshot.h"
#include "testing/scratch_fs.h"

namespace hs {
namespace {

using namespace hs::testing;

// The store's editor, with the faults of a real one on request.
class FaultyEditor final : public WholeRegistryEditor {
 public:
  FaultyEditor(StoreRegEditor& real, FileSystem& fs) : real_(real), fs_(fs) {}
  enum class Fault { kNone, kCutShort, kFails, kNeverEnds, kImportsNothing };
  Fault fault = Fault::kNone;
  int imports = 0;

  RegImportOutcome ExportAll(TextView path, std::uint32_t wait_ms) override {
    RegImportOutcome out = real_.ExportAll(path, wait_ms);
    if (fault == Fault::kFails) out.exit_code = 1;
    if (fault == Fault::kNeverEnds) out.finished = false;
    if (fault == Fault::kCutShort) Truncate(path, 0.5);
    return out;
  }
  RegImportOutcome ImportAll(TextView path, std::uint32_t wait_ms) override {
    ++imports;
    if (fault == Fault::kImportsNothing) return RegImportOutcome{true, true, 0};
    return real_.ImportAll(path, wait_ms);
  }
  // Keeps the first `share` of the file, ending at a line break (a cut that
  // still parses).
  void Truncate(TextView path, double share) {
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(0, fs_.ReadFile(path, 1u << 30, &bytes));
    std::size_t end = static_cast<std::size_t>(bytes.size() * share) & ~std::size_t{1};
    while (end >= 2 && !(bytes[end - 2] == '\n' && bytes[end - 1] == 0)) end -= 2;
    bytes.resize(end);
    ASSERT_EQ(0, fs_.DeleteFile(path));
    std::unique_ptr<WritableFile> f;
    ASSERT_EQ(0, fs_.CreateNewFile(path, &f));
    ASSERT_EQ(0, f->Write(bytes));
    ASSERT_EQ(0, f->Close());
  }

 private:
  StoreRegEditor& real_;
  FileSystem& fs_;
};

class FullBackupTest : public ::testing::Test {
 protected:
  FullBackupTest()
      : registry(RegistryStore::Options{true, nullptr}),
        store_editor(registry, scratch.fs(), true, log),
        editor(store_editor, scratch.fs()),
        clock(DateTime{2026, 3, 9, 14, 5, 0}, 60),
        env{editor, registry, scratch.fs(), clock, log, scratch.Path(u"data"), true} {
    EXPECT_EQ(0, scratch.fs().CreateDirectories(env.data_folder));
    Set(kHkeyLocalMachine, u"Software\\Maker\\App", u"Path", kRegSz, SzData(u"C:\\App\\app.exe"), kKeyWow64_64Key);
    Set(kHkeyLocalMachine, u"Software\\Maker\\App", u"Bits", kRegBinary, {0, 1, 2, 0xFF}, kKeyWow64_32Key);
    Set(kHkeyCurrentUser, u"Software\\Maker\\Recent", u"MRUList", kRegSz, SzData(u"cba"), 0);
    Set(kHkeyCurrentUser, u"Software\\Maker\\Recent", u"odd", kRegSz, {'x', 0, 0, 0, 'y'}, 0);
  }

  void Set(RegKey root, TextView path, TextView name, std::uint32_t type, std::vector<std::uint8_t> data,
           std::uint32_t view) {
    RegKey k = 0;
    ASSERT_EQ(0, registry.Create(root, path, kKeyAllAccess | view, &k, nullptr));
    ASSERT_EQ(0, registry.SetValue(k, name, type, data));
    registry.Close(k);
  }
  std::vector<Text> State() {
    Text text;
    EXPECT_EQ(0, ExportAllRoots(registry, kKeyWow64_64Key, true, &text));
    return SortedRegLines(text);
  }
  void Scramble() {
    ASSERT_EQ(0, registry.DeleteTree(kHkeyLocalMachine, u"Software\\Maker", kKeyWow64_32Key));
    ASSERT_EQ(0, registry.DeleteTree(kHkeyCurrentUser, u"Software\\Maker\\Recent", 0));
    Set(kHkeyLocalMachine, u"Software\\Maker\\App", u"Path", kRegDword, DwordData(1), kKeyWow64_64Key);
  }
  std::vector<Text> DataFolderNames() {
    std::vector<DirEntry> entries;
    EXPECT_EQ(0, scratch.fs().ListDirectory(env.data_folder, &entries));
    std::vector<Text> names;
    for (const DirEntry& e : entries) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
  }

  ScratchFs scratch{"hs_full"};
  MemoryLog log;
  RegistryStore registry;
  StoreRegEditor store_editor;
  FaultyEditor editor;
  ManualClock clock;
  FullBackupEnv env;
};

TEST_F(FullBackupTest, ListingFollowsTheFileNameRules) {
  const std::int64_t when = CalendarSeconds(DateTime{2026, 3, 9, 13, 5, 0});
  for (const Text& name : {ToText(when) + u".reg", ToText(when) + u".reg.old", Text(u"letters.reg"),
                           Text(u"registry.reg"), Text(u"noteg.txt"), Text(u"sample.REG")}) {
    std::unique_ptr<WritableFile> f;
    ASSERT_EQ(0, scratch.fs().CreateNewFile(env.data_folder + u"\\" + name, &f));
  }
  ASSERT_EQ(0, scratch.fs().CreateDirectories(env.data_folder + u"\\99.reg"));
  const auto list = ListFullBackups(scratch.fs(), env.data_folder);
  ASSERT_EQ(2u, list.size());
  EXPECT_EQ(ToText(when) + u".reg", list[0].name);
  EXPECT_TRUE(list[0].dated);
  EXPECT_EQ(env.data_folder + u"\\" + list[0].name, list[0].path);
  // One hour ahead of UTC.
  EXPECT_EQ(u"Mon. Mar 09, 2026. 02:05 PM", FormatBackupDate(clock.LocalTimeOf(list[0].seconds)));
  EXPECT_EQ(u"letters.reg", list[1].name);
  EXPECT_FALSE(list[1].dated);
  EXPECT_EQ(u"Fri. Jan 02, 2026. 12:00 AM", FormatBackupDate(DateTime{2026, 1, 2, 0, 0, 0, 0, 5}));
}

TEST_F(FullBackupTest, BackupAndRestoreBringTheRegistryBack) {
  const auto before = State();
  const FullBackupResult r = MakeFullBackup(env);
  ASSERT_EQ(FullBackupStatus::kOk, r.status) << ToUtf8(r.detail);
  EXPECT_EQ(std::vector<Text>{r.path.substr(env.data_folder.size() + 1)}, DataFolderNames());
  Scramble();
  ASSERT_NE(before, State());
  const FullRestoreResult back = RestoreFullBackupFile(env, r.path);
  ASSERT_EQ(FullRestoreStatus::kOk, back.status) << ToUtf8(back.detail);
  EXPECT_EQ(back.keys, back.checked);  // a small file is read back whole
  EXPECT_EQ(before, State());
}

TEST_F(FullBackupTest, AFailedExportLeavesNoBackup) {
  for (auto fault : {FaultyEditor::Fault::kCutShort, FaultyEditor::Fault::kFails, FaultyEditor::Fault::kNeverEnds}) {
    editor.fault = fault;
    const FullBackupResult r = MakeFullBackup(env);
    EXPECT_NE(FullBackupStatus::kOk, r.status);
    EXPECT_TRUE(DataFolderNames().empty()) << ToUtf8(DataFolderNames().front());
  }
  // A cut that drops a root is found by the check; one that keeps both is
  // what the closing line is for (below).
  env.data_folder = scratch.Path(u"missing");
  editor.fault = FaultyEditor::Fault::kNone;
  EXPECT_EQ(FullBackupStatus::kNoDataFolder, MakeFullBackup(env).status);
}

TEST_F(FullBackupTest, ARestoreRefusesFilesThatWouldFail) {
  const FullBackupResult r = MakeFullBackup(env);
  ASSERT_EQ(FullBackupStatus::kOk, r.status);
  Scramble();
  const auto scrambled = State();
  auto copy = [&](TextView name, std::vector<std::uint8_t> bytes) {
    const Text path = env.data_folder + u"\\" + Text(name);
    std::unique_ptr<WritableFile> f;
    EXPECT_EQ(0, scratch.fs().CreateNewFile(path, &f));
    EXPECT_EQ(0, f->Write(bytes));
    EXPECT_EQ(0, f->Close());
    return path;
  };
  std::vector<std::uint8_t> whole;
  ASSERT_EQ(0, scratch.fs().ReadFile(r.path, 1u << 30, &whole));
  // Cut at a line break (parses, and still holds both roots), cut mid-line,
  // garbage, and a value line removed (the count no longer matches).
  const Text cut = copy(u"1.reg", whole);
  editor.Truncate(cut, 0.9);
  const Text mid = copy(u"2.reg", std::vector<std::uint8_t>(whole.begin(), whole.begin() + whole.size() * 9 / 10));
  const Text junk = copy(u"3.reg", {'g', 'a', 'r', 'b', 'a', 'g', 'e'});
  Text text = FromUtf8("");
  for (std::size_t i = 2; i + 1 < whole.size(); i += 2) text += static_cast<char16_t>(whole[i] | (whole[i + 1] << 8));
  const std::size_t line = text.find(u"\"Bits\"=");
  ASSERT_NE(Text::npos, line);
  text.erase(line, text.find(u"\r\n", line) + 2 - line);
  const Text altered = copy(u"4.reg", EncodeRegFile(text));
  for (const Text& path : {cut, mid, junk, altered}) {
    const FullRestoreResult back = RestoreFullBackupFile(env, path);
    EXPECT_EQ(FullRestoreStatus::kDamaged, back.status) << ToUtf8(path);
    EXPECT_FALSE(back.detail.empty());
  }
  EXPECT_EQ(FullRestoreStatus::kMissing, RestoreFullBackupFile(env, env.data_folder + u"\\5.reg").status);
  EXPECT_EQ(0, editor.imports);
  EXPECT_EQ(scrambled, State());
  // An editor that reports success but wrote nothing is caught by the read-back.
  editor.fault = FaultyEditor::Fault::kImportsNothing;
  const FullRestoreResult silent = RestoreFullBackupFile(env, r.path);
  EXPECT_EQ(FullRestoreStatus::kDiffers, silent.status);
  EXPECT_NE(Text::npos, silent.detail.find(u"Maker")) << ToUtf8(silent.detail);
}

TEST_F(FullBackupTest, AnExportWithTheUsersRootAloneIsWhole) {
  // Wine's editor writes the current user's keys under HKEY_USERS only.
  const Text body = Text(kRegTextHeaderLine) +
                    u"\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n\r\n[HKEY_USERS\\S-1-5-21-0-0-0-1000]\r\n\"v\"=\"x\"\r\n"
                    u"\r\n; HiveSweep full registry backup: 2 keys, 1 values\r\n";
  const Text path = env.data_folder + u"\\1.reg";
  ASSERT_EQ(0, scratch.fs().WriteFileAtomic(path, EncodeRegFile(body)));
  std::vector<RegTextKey> sample;
  std::size_t keys = 0;
  Text detail;
  EXPECT_TRUE(CheckFullBackupFile(scratch.fs(), path, &sample, &keys, &detail)) << ToUtf8(detail);
  EXPECT_EQ(2u, keys);
  EXPECT_EQ(2u, sample.size());
  // Without any users' keys it is not a whole registry.
  const Text machine_only = Text(kRegTextHeaderLine) +
                            u"\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n\r\n; HiveSweep full registry backup: 1 keys, 0 values\r\n";
  ASSERT_EQ(0, scratch.fs().WriteFileAtomic(path, EncodeRegFile(machine_only)));
  EXPECT_FALSE(CheckFullBackupFile(scratch.fs(), path, nullptr, nullptr, &detail));
  EXPECT_NE(Text::npos, detail.find(u"users' keys")) << ToUtf8(detail);
  EXPECT_EQ(u"Thu. Jan 01, 1970. 12:00 AM", FormatBackupDate(CalendarTime(0)));
  EXPECT_EQ(9999, CalendarTime(INT64_MAX).year);
}

class CountingRestore final : public SystemRestore {
 public:
  bool CreatePoint(TextView description) override {
    descriptions.emplace_back(description);
    return works;
  }
  bool works = true;
  std::vector<Text> descriptions;
};

TEST_F(FullBackupTest, RestorePointsAreMadeAtMostOnceADay) {
  CountingRestore restore;
  RestorePointEnv rp{registry, restore, clock, log, u"HiveSweep"};
  ASSERT_TRUE(CreateSystemRestorePoint(rp, u""));
  EXPECT_EQ(std::vector<Text>{u"HiveSweep Mon, Mar 09, 26  14:05"}, restore.descriptions);
  RegKey k = 0;
  ASSERT_EQ(0, registry.Open(kHkeyCurrentUser, kRestorePointKeyPath, kKeyRead, &k));
  RegValue v;
  ASSERT_EQ(0, registry.QueryValue(k, kLastRestorePointValue, &v));
  registry.Close(k);
  EXPECT_EQ(kRegBinary, v.type);
  EXPECT_EQ(EncodeUtcSystemTime(clock.UtcSeconds()), v.data);
  EXPECT_EQ(16u, v.data.size());

  // A second repair within the same second makes none either.
  EXPECT_FALSE(RestorePointDue(registry, clock));
  EXPECT_TRUE(CreateSystemRestorePoint(rp, u""));
  EXPECT_EQ(1u, restore.descriptions.size());
  clock.AdvanceMs(23ull * 3600 * 1000);
  EXPECT_TRUE(CreateSystemRestorePoint(rp, u""));
  EXPECT_EQ(1u, restore.descriptions.size());
  clock.AdvanceMs(2ull * 3600 * 1000);  // 25 hours after the first
  EXPECT_TRUE(CreateSystemRestorePoint(rp, Text(80, u'd')));
  ASSERT_EQ(2u, restore.descriptions.size());
  EXPECT_EQ(kMaxRestorePointDescription, restore.descriptions[1].size());

  // A clock set back makes one due at once; a failure records nothing.
  clock.SetLocalTime(DateTime{2026, 3, 1, 9, 0, 0});
  restore.works = false;
  EXPECT_FALSE(CreateSystemRestorePoint(rp, u""));
  EXPECT_EQ(3u, restore.descriptions.size());
  EXPECT_TRUE(RestorePointDue(registry, clock));
  // A damaged stamp counts as none.
  Set(kHkeyCurrentUser, kRestorePointKeyPath, kLastRestorePointValue, kRegBinary, {1, 2, 3}, 0);
  EXPECT_TRUE(RestorePointDue(registry, clock));
}

}  // namespace
}  // namespace hs
