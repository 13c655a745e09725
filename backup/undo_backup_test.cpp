#include "backup/undo_backup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "areas/user_lists.h"
#include "engine/archive.h"
#include "platform/reg_text.h"
#include "testing/fault_file_system.h"
#include "testing/manual_clock.h"
#include "testing/memory_log.h"
#include "testing/reg_snapshot.h"
#include "testing/scratch_fs.h"
#include "testing/test_env.h"

namespace hs {
namespace {

using namespace hs::testing;

// The subtree as sorted "key|value line" entries: equal registries give
// equal snapshots whatever order keys and values are listed in.
std::vector<Text> Snapshot(Registry& reg, RegKey root, TextView root_name, TextView path, std::uint32_t view) {
  Text text;
  if (ExportRegText(reg, root, root_name, path, view, true, false, &text) != err::kSuccess) return {};
  return SortedRegLines(text);
}

// The log lines that say why an undo failed.
std::string UndoFailures(const MemoryLog& log) {
  std::string out;
  for (const Text& line : log.Lines()) {
    if (line.find(u"import") != Text::npos || line.find(u"undo file") != Text::npos) out += ToUtf8(line) + "\n";
  }
  return out;
}

class UndoTest : public ::testing::Test {
 protected:
  UndoTest()
      : registry(MakeContractRegistry()),
        wow64(MakeContractWow64()),
        editor(MakeContractRegEditor(*registry, scratch.fs(), log)),
        env{*registry, scratch.fs(), *editor, clock, log} {
    env.windows64 = wow64->IsWow64Process();
    env.is_admin = true;
    env.data_folder = scratch.root() + u"\\data";
    env.strings = [](TextView key) { return Text(key); };
    env.show_message = [this](TextView text) { messages.emplace_back(text); };
    name = u"Software\\" + UniqueName("hs_undo");
  }
  ~UndoTest() override {
    (void)registry->DeleteTree(kHkeyCurrentUser, name, 0);
    for (std::uint32_t view : {kKeyWow64_64Key, kKeyWow64_32Key}) {
      (void)registry->DeleteTree(kHkeyLocalMachine, name, view);
    }
  }

  void SetValue(RegKey root, TextView path, TextView value, std::uint32_t type, std::vector<std::uint8_t> data,
                std::uint32_t view = 0) {
    RegKey k = 0;
    ASSERT_EQ(0, registry->Create(root, path, kKeyAllAccess | view, &k, nullptr));
    ASSERT_EQ(0, registry->SetValue(k, value, type, data));
    registry->Close(k);
  }
  bool KeyExists(RegKey root, TextView path, std::uint32_t view = 0) {
    RegKey k = 0;
    if (registry->Open(root, path, kKeyRead | view, &k) != err::kSuccess) return false;
    registry->Close(k);
    return true;
  }
  Text Folder() { return PartialBackupsFolder(env); }

  ScratchFs scratch{"hs_undo"};
  std::unique_ptr<Registry> registry;
  std::unique_ptr<Wow64> wow64;
  MemoryLog log;
  ManualClock clock;
  std::unique_ptr<RegEditor> editor;
  UndoEnv env;
  std::vector<Text> messages;
  Text name;
};

TEST_F(UndoTest, ExportWritesTheEditorFormat) {
  const Text key = name + u"\\Fmt";
  SetValue(kHkeyCurrentUser, key, u"", kRegSz, SzData(u"default"));
  SetValue(kHkeyCurrentUser, key, u"@", kRegSz, SzData(u"at \"q\" \\"));
  SetValue(kHkeyCurrentUser, key, u"big", kRegDword, DwordData(0x12345678));
  std::vector<std::uint8_t> multi;
  for (const Text& s : {Text(u"first string here"), Text(u"second string here"), Text(u"third")}) {
    auto b = SzData(s);
    multi.insert(multi.end(), b.begin(), b.end());
  }
  multi.push_back(0);
  multi.push_back(0);
  SetValue(kHkeyCurrentUser, key, u"multi", kRegMultiSz, multi);
  // Wine takes any key with a Wow6432Node subkey for a redirected one (the
  // 32-bit program then sees the subkey's content); Windows redirects only
  // the known keys.
  const bool wow_node = !RunningOnWine();
  if (wow_node) SetValue(kHkeyCurrentUser, key + u"\\Wow6432Node\\Inner", u"x", kRegSz, SzData(u"y"));

  CRegExport exp;
  EXPECT_EQ(ExportResult::kExported, ExportKeyTree(*registry, &exp, 1, key + u"\\", 0, log));
  const Text body = exp.Body();
  EXPECT_EQ(0u, body.find(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\" + key + u"]\r\n"));
  EXPECT_NE(Text::npos, body.find(u"@=\"default\"\r\n"));
  EXPECT_NE(Text::npos, body.find(u"\"@\"=\"at \\\"q\\\" \\\\\"\r\n"));
  EXPECT_NE(Text::npos, body.find(u"\"big\"=dword:12345678\r\n"));
  EXPECT_NE(Text::npos, body.find(u"\"multi\"=hex(7):66,00,69,00"));
  EXPECT_NE(Text::npos, body.find(u",\\\r\n  "));  // the long list is wrapped
  EXPECT_EQ(Text::npos, Lowercase(body).find(u"wow6432node"));

  if (!wow_node) return;
  // The key keeps its Wow6432Node subkey, so it cannot go.
  auto backup = BeginUndoBackup(env);
  EXPECT_FALSE(AddDeleteKeyOperation(env, *backup, 1, key, true, true));
  EXPECT_TRUE(KeyExists(kHkeyCurrentUser, key + u"\\Wow6432Node\\Inner"));
  const auto lines = log.Lines();
  EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), u"KEY NOT DELETED"));
  EXPECT_TRUE(EndUndoBackup(env, std::move(backup)));
}

TEST_F(UndoTest, RepairThenUndoRestoresBothViews) {
  const Text tree = name + u"\\Tree";
  SetValue(kHkeyCurrentUser, tree + u"\\A\\B", u"path", kRegExpandSz, SzData(u"%ProgramFiles%\\x.exe"));
  SetValue(kHkeyCurrentUser, tree + u"\\A", u"", kRegBinary, {1, 2, 3, 250});
  SetValue(kHkeyCurrentUser, tree, u"n", kRegDword, DwordData(7));
  SetValue(kHkeyCurrentUser, name + u"\\Vals", u"gone", kRegSz, SzData(u"old"));
  SetValue(kHkeyCurrentUser, name + u"\\Vals", u"emptied", kRegSz, SzData(u"was here"));
  if (env.windows64) {
    SetValue(kHkeyLocalMachine, name + u"\\V64", u"x", kRegSz, SzData(u"sixty-four"), kKeyWow64_64Key);
    SetValue(kHkeyLocalMachine, name + u"\\V32", u"x", kRegSz, SzData(u"thirty-two"), kKeyWow64_32Key);
    SetValue(kHkeyLocalMachine, name + u"\\V32b\\Sub", u"y", kRegSz, SzData(u"named by its node"), kKeyWow64_32Key);
  }
  const auto before_cu = Snapshot(*registry, kHkeyCurrentUser, u"HKEY_CURRENT_USER", name, 0);
  const auto before64 = Snapshot(*registry, kHkeyLocalMachine, u"HKEY_LOCAL_MACHINE", name, kKeyWow64_64Key);
  const auto before32 = Snapshot(*registry, kHkeyLocalMachine, u"HKEY_LOCAL_MACHINE", name, kKeyWow64_32Key);
  ASSERT_FALSE(before_cu.empty());

  auto backup = BeginUndoBackup(env);
  EXPECT_TRUE(AddDeleteKeyOperation(env, *backup, 1, tree, true, true));
  EXPECT_TRUE(AddDeleteValueOperation(env, *backup, 1, name + u"\\Vals", u"gone", true));
  EXPECT_TRUE(AddSetValueOperation(env, *backup, 1, name + u"\\Vals", u"emptied", u"", true));
  EXPECT_TRUE(AddDeleteKeyOperation(env, *backup, 1, name + u"\\NoSuchKey", true, true));  // already gone
  if (env.windows64) {
    EXPECT_TRUE(AddDeleteKeyOperation(env, *backup, 2, name + u"\\V64", false, true));
    EXPECT_TRUE(AddDeleteKeyOperation(env, *backup, 2, name + u"\\V32", false, false));
    EXPECT_FALSE(KeyExists(kHkeyLocalMachine, name + u"\\V32", kKeyWow64_32Key));
    // The 32-bit view named by its Wow6432Node key, as the 32-bit passes report it.
    const Text node_path = u"Software\\Wow6432Node\\" + name.substr(9) + u"\\V32b";
    EXPECT_TRUE(AddDeleteKeyOperation(env, *backup, 2, node_path, true, true));
    EXPECT_FALSE(KeyExists(kHkeyLocalMachine, name + u"\\V32b", kKeyWow64_32Key));
  }
  EXPECT_FALSE(KeyExists(kHkeyCurrentUser, tree));
  EXPECT_TRUE(EndUndoBackup(env, std::move(backup)));
  EXPECT_FALSE(scratch.fs().Exists(Folder() + u"00000001.rjn"));
  EXPECT_FALSE(scratch.fs().Exists(Folder() + u"temp__reg.reg"));

  const auto sets = ListUndoSets(env);
  ASSERT_EQ(1u, sets.size());
  EXPECT_EQ(Folder() + u"00000001.rmx", sets[0].record_path);
  EXPECT_EQ(env.windows64 ? 2u : 1u, sets[0].operations);
  ASSERT_TRUE(UndoSetFromRecord(env, sets[0].record_path)) << UndoFailures(log);
  EXPECT_EQ(before_cu, Snapshot(*registry, kHkeyCurrentUser, u"HKEY_CURRENT_USER", name, 0));
  EXPECT_EQ(before64, Snapshot(*registry, kHkeyLocalMachine, u"HKEY_LOCAL_MACHINE", name, kKeyWow64_64Key));
  EXPECT_EQ(before32, Snapshot(*registry, kHkeyLocalMachine, u"HKEY_LOCAL_MACHINE", name, kKeyWow64_32Key));
  EXPECT_TRUE(messages.empty());
}

TEST_F(UndoTest, EmptyRunLeavesHeaderOnlyEntries) {
  EXPECT_TRUE(EndUndoBackup(env, BeginUndoBackup(env)));
  CBackup loaded;
  loaded.recordPath = Folder() + u"00000001.rmx";
  ASSERT_TRUE(SerializeBackup(env, loaded, false));
  ASSERT_EQ(env.windows64 ? 2u : 1u, loaded.operations.size());
  EXPECT_EQ(env.windows64 ? 2u : 1u, loaded.regFileCount);
  for (std::size_t i = 0; i < loaded.operations.size(); ++i) {
    const COperation& op = *loaded.operations[i];
    EXPECT_EQ(kOpDeleteKeyTree, op.kind);
    EXPECT_EQ((std::vector<Text>{u"waste", i == 0 ? u"00000001.reg" : u"00000002.reg"}), op.strings);
    EXPECT_EQ(std::vector<std::int32_t>{1}, op.numbers);
    EXPECT_EQ(i == 1, op.is64);
  }
  std::vector<std::uint8_t> zip;
  ASSERT_EQ(0, scratch.fs().ReadFile(Folder() + u"00000001.rxb", kMaxZipArchiveBytes, &zip));
  ZipReader reader;
  ASSERT_TRUE(reader.Open(zip));
  ASSERT_EQ(loaded.operations.size(), reader.EntryCount());
  std::vector<std::uint8_t> entry;
  ASSERT_TRUE(reader.Extract(0, &entry));
  EXPECT_EQ(EncodeRegFile(kRegTextHeaderLine), entry);
  // Undoing the header-only files changes nothing and succeeds.
  EXPECT_TRUE(UndoSetFromRecord(env, loaded.recordPath));
}

TEST_F(UndoTest, NumberingFollowsRecordFilesOnly) {
  FileSystem& fs = scratch.fs();
  ASSERT_EQ(0, fs.CreateDirectories(Folder()));
  for (const char16_t* f : {u"00000003.rmx", u"00000010.rmx", u"00000042.rxb", u"00000077.rmx.bak", u"junk.rmx"}) {
    ASSERT_EQ(0, fs.WriteFileAtomic(Folder() + f, std::vector<std::uint8_t>{1}));
  }
  EXPECT_EQ(Folder() + u"00000011", NextBackupNumber(fs, Folder()));
  EXPECT_EQ(scratch.root() + u"\\none\\00000001", NextBackupNumber(fs, scratch.root() + u"\\none\\"));
}

TEST_F(UndoTest, DeletedArchiveAndDamagedFilesFailCleanly) {
  SetValue(kHkeyCurrentUser, name + u"\\K", u"v", kRegSz, SzData(u"d"));
  auto backup = BeginUndoBackup(env);
  ASSERT_TRUE(AddDeleteKeyOperation(env, *backup, 1, name + u"\\K", true, true));
  EXPECT_TRUE(EndUndoBackup(env, std::move(backup)));
  const Text record = Folder() + u"00000001.rmx";
  const Text archive = Folder() + u"00000001.rxb";
  std::vector<std::uint8_t> zip, rec;
  ASSERT_EQ(0, scratch.fs().ReadFile(archive, kMaxZipArchiveBytes, &zip));
  ASSERT_EQ(0, scratch.fs().ReadFile(record, kMaxUndoRecordBytes, &rec));

  ASSERT_EQ(0, scratch.fs().DeleteFile(archive));
  EXPECT_FALSE(UndoSetFromRecord(env, record));
  EXPECT_EQ((std::vector<Text>{u"IDS_UNZIP_ERR", u"IDS_STR_UNDO_FAILED"}), messages);
  EXPECT_FALSE(KeyExists(kHkeyCurrentUser, name + u"\\K"));

  // Every truncation and a run of random byte changes: no crash, and a
  // damaged record or archive is refused rather than half-applied.
  std::mt19937 rng(7);
  for (std::size_t n = 0; n < rec.size(); ++n) {
    CBackup b;
    std::string error;
    EXPECT_FALSE(DecodeUndoRecord(std::span(rec.data(), n), &b, &error));
    EXPECT_TRUE(b.operations.empty());
  }
  for (int round = 0; round < 300; ++round) {
    auto r = rec;
    r[rng() % r.size()] ^= static_cast<std::uint8_t>(1 + rng() % 255);
    CBackup b;
    (void)DecodeUndoRecord(r, &b, nullptr);
    auto z = zip;
    z[rng() % z.size()] ^= static_cast<std::uint8_t>(1 + rng() % 255);
    ZipReader reader;
    if (reader.Open(z)) {
      std::vector<std::uint8_t> out;
      for (std::size_t i = 0; i < reader.EntryCount(); ++i) (void)reader.Extract(i, &out);
    }
  }
  for (std::size_t n = 0; n < zip.size(); n += 7) {
    ZipReader reader;
    EXPECT_FALSE(reader.Open(std::span(zip.data(), n)) && reader.EntryCount() == 2 && n < zip.size() / 2);
  }
  messages.clear();
  ASSERT_EQ(0, scratch.fs().WriteFileAtomic(archive, std::vector<std::uint8_t>(zip.begin(), zip.begin() + 30)));
  EXPECT_FALSE(UndoSetFromRecord(env, record));
  EXPECT_EQ(u"IDS_UNZIP_ERR", messages.front());
}

TEST_F(UndoTest, ChangeWithoutWrittenBackupIsNotMade) {
  SetValue(kHkeyCurrentUser, name + u"\\Keep", u"v", kRegSz, SzData(u"d"));
  FaultFileSystem faulty(scratch.fs());
  UndoEnv env2{*registry, faulty, *editor, clock, log};
  env2.windows64 = env.windows64;
  env2.data_folder = env.data_folder;
  auto backup = BeginUndoBackup(env2);
  faulty.FailWritesAfter(0);
  EXPECT_FALSE(AddDeleteKeyOperation(env2, *backup, 1, name + u"\\Keep", true, true));
  EXPECT_FALSE(AddDeleteValueOperation(env2, *backup, 1, name + u"\\Keep", u"v", true));
  EXPECT_TRUE(KeyExists(kHkeyCurrentUser, name + u"\\Keep"));
  faulty.ClearFaults();
  EXPECT_TRUE(EndUndoBackup(env2, std::move(backup)));
}

TEST_F(UndoTest, InterruptedRunIsCompletedAtTheNextStart) {
  SetValue(kHkeyCurrentUser, name + u"\\One", u"a", kRegSz, SzData(u"1"));
  SetValue(kHkeyCurrentUser, name + u"\\Two", u"b", kRegDword, DwordData(2));
  const auto before = Snapshot(*registry, kHkeyCurrentUser, u"HKEY_CURRENT_USER", name, 0);
  {
    auto backup = BeginUndoBackup(env);
    ASSERT_TRUE(AddDeleteKeyOperation(env, *backup, 1, name + u"\\One", true, true));
    ASSERT_TRUE(AddDeleteValueOperation(env, *backup, 1, name + u"\\Two", u"b", true));
    // The process dies here: the set is never ended, the journal stays.
    ASSERT_EQ(0, backup->journal->Close());
  }
  // A write cut short by the crash leaves a partial last entry.
  const Text journal = Folder() + u"00000001.rjn";
  {
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(0, scratch.fs().ReadFile(journal, kMaxUndoJournalBytes, &bytes));
    bytes.insert(bytes.end(), {0, 0xFF, 0xFE, 0xFF, 0x40, 'x', 0});
    ASSERT_EQ(0, scratch.fs().WriteFileAtomic(journal, bytes));
  }
  EXPECT_TRUE(ListUndoSets(env).empty());
  EXPECT_EQ(1u, RecoverInterruptedUndoSets(env));
  EXPECT_FALSE(scratch.fs().Exists(journal));
  EXPECT_EQ(0u, RecoverInterruptedUndoSets(env));
  const auto sets = ListUndoSets(env);
  ASSERT_EQ(1u, sets.size());
  ASSERT_TRUE(UndoSetFromRecord(env, sets[0].record_path));
  EXPECT_EQ(before, Snapshot(*registry, kHkeyCurrentUser, u"HKEY_CURRENT_USER", name, 0));
  // The next run takes the next number.
  EXPECT_TRUE(EndUndoBackup(env, BeginUndoBackup(env)));
  EXPECT_TRUE(scratch.fs().Exists(Folder() + u"00000002.rmx"));
}

class SilentEditor final : public RegEditor {
 public:
  RegImportOutcome Import(TextView, bool) override { return {true, true, 0}; }
};

TEST_F(UndoTest, ImportThatChangedNothingIsReportedAsFailed) {
  SetValue(kHkeyCurrentUser, name + u"\\K", u"v", kRegSz, SzData(u"d"));
  auto backup = BeginUndoBackup(env);
  ASSERT_TRUE(AddDeleteKeyOperation(env, *backup, 1, name + u"\\K", true, true));
  EXPECT_TRUE(EndUndoBackup(env, std::move(backup)));
  SilentEditor silent;
  UndoEnv env2{*registry, scratch.fs(), silent, clock, log};
  env2.windows64 = env.windows64;
  env2.data_folder = env.data_folder;
  env2.show_message = env.show_message;
  env2.strings = env.strings;
  EXPECT_FALSE(UndoSetFromRecord(env2, Folder() + u"00000001.rmx"));
  EXPECT_EQ(std::vector<Text>{u"IDS_STR_UNDO_FAILED"}, messages);
}


// ---------------------------------------------------------------------------
// Exact undo

std::vector<std::uint8_t> Utf16(std::u16string_view s) { return ToUtf16leBytes(s); }

TEST_F(UndoTest, TheStateBeforeTheRunIsRestoredWhenOneRunChangesAValueTwice) {
  // A recent list losing two entries rewrites its MRUList twice; a value
  // emptied and later deleted with its key is backed up twice too.
  const Text mru = name + u"\\Mru";
  SetValue(kHkeyCurrentUser, mru, u"a", kRegSz, SzData(u"C:\\gone\\a.txt"));
  SetValue(kHkeyCurrentUser, mru, u"b", kRegSz, SzData(u"C:\\gone\\b.txt"));
  SetValue(kHkeyCurrentUser, mru, u"c", kRegSz, SzData(u"C:\\here\\c.txt"));
  SetValue(kHkeyCurrentUser, mru, u"MRUList", kRegSz, SzData(u"cba"));
  SetValue(kHkeyCurrentUser, name + u"\\App\\Sub", u"cmd", kRegSz, SzData(u"C:\\gone\\app.exe"));
  SetValue(kHkeyCurrentUser, name + u"\\App", u"path", kRegExpandSz, SzData(u"%ProgramFiles%\\gone"));
  const auto before = Snapshot(*registry, kHkeyCurrentUser, u"HKEY_CURRENT_USER", name, 0);

  auto backup = BeginUndoBackup(env);
  ASSERT_TRUE(AddDeleteValueOperation(env, *backup, 1, mru, u"a", true));
  ASSERT_TRUE(AddSetValueOperation(env, *backup, 1, mru, u"MRUList", u"cb", true));
  ASSERT_TRUE(AddDeleteValueOperation(env, *backup, 1, mru, u"b", true));
  ASSERT_TRUE(AddSetValueOperation(env, *backup, 1, mru, u"MRUList", u"c", true));
  ASSERT_TRUE(AddSetValueOperation(env, *backup, 1, name + u"\\App\\Sub", u"cmd", u"", true));
  ASSERT_TRUE(AddDeleteKeyOperation(env, *backup, 1, name + u"\\App", true, true));
  // Gone already: repaired, nothing to back up.
  EXPECT_TRUE(AddDeleteValueOperation(env, *backup, 1, name + u"\\App\\Sub", u"cmd", true));
  EXPECT_TRUE(AddDeleteValueOperation(env, *backup, 1, mru, u"no such value", true));
  EXPECT_TRUE(AddSetValueOperation(env, *backup, 1, name + u"\\App", u"path", u"", true));
  EXPECT_FALSE(KeyExists(kHkeyCurrentUser, name + u"\\App"));
  Text record;
  ASSERT_TRUE(EndUndoBackup(env, std::move(backup), &record));
  EXPECT_EQ(Folder() + u"00000001.rmx", record);
  ASSERT_TRUE(UndoSetFromRecord(env, record)) << UndoFailures(log);
  EXPECT_EQ(before, Snapshot(*registry, kHkeyCurrentUser, u"HKEY_CURRENT_USER", name, 0));
}

TEST_F(UndoTest, ValuesTheQuotedFormCannotCarryAreRestoredByteForByte) {
  const Text key = name + u"\\App Paths\\gone.exe";
  SetValue(kHkeyCurrentUser, key, u"", kRegSz, SzData(u"C:\\gone\\gone.exe"));
  SetValue(kHkeyCurrentUser, key, u"crlf", kRegSz, SzData(u"line one\r\nline two"));
  SetValue(kHkeyCurrentUser, key, u"embedded nul", kRegSz, Utf16(std::u16string_view(u"before\0after\0", 13)));
  // Wine's editor adds a terminator to string data that lacks one (a Wine
  // deviation: the import check then reports the difference).
  if (!RunningOnWine()) {
    SetValue(kHkeyCurrentUser, key, u"no terminator", kRegSz, Utf16(u"abc"));
    SetValue(kHkeyCurrentUser, key, u"odd length", kRegSz, {'a', 0, 'b'});
    SetValue(kHkeyCurrentUser, key, u"empty sz", kRegSz, {});
  }
  SetValue(kHkeyCurrentUser, key, u"@", kRegSz, SzData(u"named at"));
  SetValue(kHkeyCurrentUser, key, u"big type", 0x100, {1, 2, 3});
  SetValue(kHkeyCurrentUser, key, u"device type", 0xffff0012u, {});
  SetValue(kHkeyCurrentUser, key, u"short dword", kRegDword, {1, 2});
  SetValue(kHkeyCurrentUser, key, u"qword", kRegQword, {1, 2, 3, 4, 5, 6, 7, 8});
  SetValue(kHkeyCurrentUser, key, u"quote \" and \\ backslash", kRegSz, SzData(u"\"q\" \\ \u00e9\u4e2d"));
  SetValue(kHkeyCurrentUser, key + u"\\Sub \u00e9 [x]", u"\u00fcml\u00e4ut", kRegMultiSz,
           Utf16(std::u16string_view(u"a\0b\0\0", 5)));
  const auto before = Snapshot(*registry, kHkeyCurrentUser, u"HKEY_CURRENT_USER", name, 0);

  auto backup = BeginUndoBackup(env);
  ASSERT_TRUE(AddDeleteKeyOperation(env, *backup, 1, key, true, true));
  ASSERT_FALSE(KeyExists(kHkeyCurrentUser, key));
  Text record;
  ASSERT_TRUE(EndUndoBackup(env, std::move(backup), &record));
  ASSERT_TRUE(UndoSetFromRecord(env, record)) << UndoFailures(log);
  EXPECT_EQ(before, Snapshot(*registry, kHkeyCurrentUser, u"HKEY_CURRENT_USER", name, 0));
  EXPECT_TRUE(messages.empty());
}

TEST_F(UndoTest, NamesTheExportCannotCarryAreNeverChanged) {
  SetValue(kHkeyCurrentUser, name + u"\\K", u"line\nbreak", kRegSz, SzData(u"x"));
  auto backup = BeginUndoBackup(env);
  EXPECT_FALSE(AddDeleteKeyOperation(env, *backup, 1, name + u"\\K", true, true));
  EXPECT_FALSE(AddDeleteValueOperation(env, *backup, 1, name + u"\\K", u"line\nbreak", true));
  EXPECT_TRUE(KeyExists(kHkeyCurrentUser, name + u"\\K"));
  EXPECT_TRUE(EndUndoBackup(env, std::move(backup)));
}

TEST_F(UndoTest, AKeySharedByBothViewsComesBackAsItWasBeforeTheRun) {
  if (!env.windows64) GTEST_SKIP() << "one registry view";
  // HKEY_CURRENT_USER\Software is one key in both views: changed through
  // the 64-bit view first, then deleted through the 32-bit view.
  const Text key = name + u"\\Shared";
  SetValue(kHkeyCurrentUser, key, u"v", kRegSz, SzData(u"original"));
  SetValue(kHkeyCurrentUser, key, u"w", kRegSz, SzData(u"other"));
  const auto before = Snapshot(*registry, kHkeyCurrentUser, u"HKEY_CURRENT_USER", name, 0);
  auto backup = BeginUndoBackup(env);
  ASSERT_TRUE(AddSetValueOperation(env, *backup, 1, key, u"v", u"", true));
  ASSERT_TRUE(AddDeleteKeyOperation(env, *backup, 1, key, true, false));
  Text record;
  ASSERT_TRUE(EndUndoBackup(env, std::move(backup), &record));
  CBackup loaded;
  loaded.recordPath = record;
  ASSERT_TRUE(SerializeBackup(env, loaded, false));
  EXPECT_EQ(3u, loaded.operations.size());  // the 32-bit view's later export comes last
  ASSERT_TRUE(UndoSetFromRecord(env, record)) << UndoFailures(log);
  EXPECT_EQ(before, Snapshot(*registry, kHkeyCurrentUser, u"HKEY_CURRENT_USER", name, 0));
}

TEST_F(UndoTest, AnEmptiedParentKeyIsBackedUpBeforeItGoes) {
  SetValue(kHkeyCurrentUser, name + u"\\Parent\\Child", u"v", kRegSz, SzData(u"d"));
  SetValue(kHkeyCurrentUser, name + u"\\Busy\\Child", u"v", kRegSz, SzData(u"d"));
  SetValue(kHkeyCurrentUser, name + u"\\Busy", u"keep", kRegSz, SzData(u"k"));
  const auto before = Snapshot(*registry, kHkeyCurrentUser, u"HKEY_CURRENT_USER", name, 0);
  auto backup = BeginUndoBackup(env);
  for (const Text& parent : {name + u"\\Parent", name + u"\\Busy"}) {
    ASSERT_TRUE(AddDeleteKeyOperation(env, *backup, 1, parent + u"\\Child", true, true));
    EXPECT_TRUE(RemoveKeyIfEmpty(env, *backup, 1, parent, true));
  }
  EXPECT_FALSE(KeyExists(kHkeyCurrentUser, name + u"\\Parent"));
  EXPECT_TRUE(KeyExists(kHkeyCurrentUser, name + u"\\Busy"));
  Text record;
  ASSERT_TRUE(EndUndoBackup(env, std::move(backup), &record));
  ASSERT_TRUE(UndoSetFromRecord(env, record)) << UndoFailures(log);
  EXPECT_EQ(before, Snapshot(*registry, kHkeyCurrentUser, u"HKEY_CURRENT_USER", name, 0));
}

class TimedOutEditor final : public RegEditor {
 public:
  RegImportOutcome Import(TextView, bool) override { return {true, false, 0}; }
};

TEST_F(UndoTest, AFailedStepIsReportedAndTheOtherStepsAreStillRestored) {
  SetValue(kHkeyCurrentUser, name + u"\\Vals", u"gone", kRegSz, SzData(u"old"));
  auto backup = BeginUndoBackup(env);
  ASSERT_TRUE(AddDeleteValueOperation(env, *backup, 1, name + u"\\Vals", u"gone", true));
  Text record;
  ASSERT_TRUE(EndUndoBackup(env, std::move(backup), &record));

  // An editor that does not finish: a failure, and the file stays for a
  // later import.
  TimedOutEditor slow;
  UndoEnv env2{*registry, scratch.fs(), slow, clock, log};
  env2.windows64 = env.windows64;
  env2.data_folder = env.data_folder;
  env2.show_message = env.show_message;
  env2.strings = env.strings;
  EXPECT_FALSE(UndoSetFromRecord(env2, record));
  EXPECT_EQ(std::vector<Text>{u"IDS_STR_UNDO_FAILED"}, messages);
  EXPECT_TRUE(scratch.fs().Exists(Folder() + u"00000001.reg"));

  // A record naming no entry, and one naming an entry the archive lacks,
  // fail; the set's real entry is still imported.
  CBackup loaded;
  loaded.folder = Folder();
  loaded.recordPath = record;
  ASSERT_TRUE(SerializeBackup(env, loaded, false));
  auto unnamed = std::make_unique<COperation>(*loaded.operations[0]);
  unnamed->strings.resize(1);
  auto absent = std::make_unique<COperation>(*loaded.operations[0]);
  absent->strings[1] = u"00000099.reg";
  loaded.operations.insert(loaded.operations.begin(), std::move(absent));
  loaded.operations.push_back(std::move(unnamed));
  messages.clear();
  EXPECT_FALSE(UndoBackup(env, loaded));
  EXPECT_EQ(std::vector<Text>{u"IDS_STR_UNDO_FAILED"}, messages);
  RegKey k = 0;
  ASSERT_EQ(0, registry->Open(kHkeyCurrentUser, name + u"\\Vals", kKeyRead, &k));
  RegValue v;
  EXPECT_EQ(0, registry->QueryValue(k, u"gone", &v));
  registry->Close(k);
  EXPECT_EQ(SzData(u"old"), v.data);
  EXPECT_FALSE(scratch.fs().Exists(Folder() + u"00000001.reg"));  // verified, so removed
}

TEST_F(UndoTest, TheImportCheckNamesTheFirstDifference) {
  SetValue(kHkeyCurrentUser, name + u"\\K", u"v", kRegSz, SzData(u"now"));
  const Text file = Text(kRegTextHeaderLine) + FormatKeyHeader(u"HKEY_CURRENT_USER\\" + name + u"\\K") +
                    FormatValueLine(u"v", kRegSz, SzData(u"then")) + FormatValueLine(u"gone", kRegSz, SzData(u"x")) +
                    FormatKeyRemoval(u"HKEY_CURRENT_USER\\" + name + u"\\K");
  const auto bytes = EncodeRegFile(file);
  RegTextDocument doc;
  ASSERT_TRUE(ParseRegText(bytes.data(), bytes.size(), &doc, nullptr));
  // The file ends by removing the key: only that counts.
  EXPECT_NE(Text::npos, FirstImportDifference(*registry, doc, 0).find(u"is there; the file removes it"));
  doc.keys.pop_back();
  EXPECT_NE(Text::npos, FirstImportDifference(*registry, doc, 0).find(u"value \"v\" holds type 1, 8 bytes; the file has type 1, 10 bytes"));
  doc.keys[0].values[0].data = SzData(u"now");
  EXPECT_NE(Text::npos, FirstImportDifference(*registry, doc, 0).find(u"value \"gone\" is missing"));
  doc.keys[0].values.pop_back();
  EXPECT_EQ(Text(), FirstImportDifference(*registry, doc, 0));
}

}  // namespace
}  // namespace hs
