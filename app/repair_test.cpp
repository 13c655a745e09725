#include "app/repair.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "app/settings.h"
#include "areas/user_lists.h"
#include "platform/reg_text.h"
#include "platform/trash_recycle_bin.h"
#include "testing/manual_clock.h"
#include "testing/reg_snapshot.h"
#include "testing/scan_fixture.h"
#include "testing/scratch_fs.h"
#include "testing/worker_gate.h"

namespace hs {
namespace {

using namespace hs::testing;

// An area that scans nothing, or waits at the gate when it is the gated one.
class GateArea final : public CCategory {
 public:
  GateArea(std::uint32_t bit, ScanManager& m, std::uint32_t gated, WorkerGate& gate)
      : CCategory(bit, m), gated_(gated), gate_(gate) {}
  bool PrepareScan() override { return true; }
  int Scan() override {
    if (bit() == gated_) gate_.Arrive();
    return 0;
  }

 private:
  std::uint32_t gated_;
  WorkerGate& gate_;
};

// A progress display whose text throws: the repair worker fails mid-run.
struct ThrowingProgress final : RepairProgress {
  void ShowDialog(bool) override {}
  void SetDialogText(TextView) override { throw std::runtime_error("display gone"); }
  void SetBarRange(int, int) override {}
  void SetBarPos(int) override {}
};

class RepairTest : public ::testing::Test {
 protected:
  RepairTest()
      : fx(MachineFacts{}, [this](std::uint32_t bit, ScanManager& m) -> std::unique_ptr<CCategory> {
          return std::make_unique<GateArea>(bit, m, gated_bit, gate);
        }),
        editor(MakeContractRegEditor(*fx.registry, scratch.fs(), fx.log)),
        undo{*fx.registry, scratch.fs(), *editor, clock, fx.log},
        store(*fx.registry, fx.log, u"Software\\" + UniqueName("hs_repair_settings"),
              u"Software\\" + UniqueName("hs_repair_run")),
        bin(scratch.fs(), scratch.Path(u"trash")),
        env{*fx.manager, undo, store, settings, progress, history, bin, scratch.fs(), scratch.Path(u"data")} {
    undo.windows64 = fx.wow64->IsWow64Process();
    undo.data_folder = scratch.Path(u"data");
    fx.context.temp_ignore = &temp_ignore;
    fx.context.exclusions = &exclusions;
    name = u"Software\\" + UniqueName("hs_repair");
    fx.manager->CreateAreas(kAllAreasMask, kAreaCount);
  }
  ~RepairTest() override {
    (void)fx.registry->DeleteTree(kHkeyCurrentUser, name, 0);
    (void)fx.registry->DeleteTree(kHkeyCurrentUser, store.settings_key(), 0);
  }

  void Set(TextView path, TextView value, TextView data) {
    RegKey k = 0;
    ASSERT_EQ(0, fx.registry->Create(kHkeyCurrentUser, path, kKeyAllAccess, &k, nullptr));
    ASSERT_EQ(0, fx.registry->SetValue(k, value, kRegSz, SzData(data)));
    fx.registry->Close(k);
  }
  bool Exists(TextView path) {
    RegKey k = 0;
    if (fx.registry->Open(kHkeyCurrentUser, path, kKeyRead, &k) != err::kSuccess) return false;
    fx.registry->Close(k);
    return true;
  }
  CProblem& Add(std::uint32_t bit, std::int32_t type, Text key, Text value = u"") {
    auto p = std::make_unique<CProblem>();
    p->entry_type = type;
    p->key = std::move(key);
    p->value_name = std::move(value);
    CProblem& ref = *p;
    fx.manager->AreaByBit(bit)->problems().push_back(std::move(p));
    return ref;
  }
  // Runs the repair on this thread as the worker would.
  void Repair() {
    backup = BeginUndoBackup(undo);
    fx.manager->undo_holder().backup = backup.get();
    fx.manager->CollectAreas();
    run.CleanWorker();
    fx.manager->undo_holder().backup = nullptr;
    EXPECT_TRUE(EndUndoBackup(undo, std::move(backup), &record));
  }
  std::vector<Text> Snapshot() {
    Text text;
    (void)ExportRegText(*fx.registry, kHkeyCurrentUser, u"HKEY_CURRENT_USER", name, 0, true, false, &text);
    return SortedRegLines(text);
  }

  bool LogHas(TextView part) {
    const auto lines = fx.log.Lines();
    return std::any_of(lines.begin(), lines.end(), [&](const Text& l) { return l.find(part) != Text::npos; });
  }
  std::vector<CallbackNotifier::Message> RepairEnds() {
    std::vector<CallbackNotifier::Message> out;
    for (const auto& m : fx.Messages())
      if (m.message == kMsgRepairStopped || m.message == kMsgRepairCompleted) out.push_back(m);
    return out;
  }

  std::uint32_t gated_bit = 0;
  WorkerGate gate;
  ScratchFs scratch{"hs_repair"};
  ScanFixture fx;
  ManualClock clock;
  std::unique_ptr<RegEditor> editor;
  UndoEnv undo;
  SettingsStore store;
  AppSettings settings;
  NullRepairProgress progress;
  MemoryUrlHistory history;
  TrashRecycleBin bin;
  UserList exclusions{UserListKind::kExclusion};
  UserList temp_ignore{UserListKind::kTempIgnore};
  RepairEnv env;
  RepairRun run{env};
  std::unique_ptr<CBackup> backup;
  Text record;
  Text name;
};

TEST_F(RepairTest, GroupsRepairAsTheirEntryTypesSay) {
  Set(name + u"\\X\\Y", u"v", u"d");                       // A: removes Y, then the emptied X
  Set(name + u"\\Vals", u"dead", u"c:\\gone.exe");          // C: the value
  Set(name + u"\\Vals", u"keep", u"x");
  Set(name + u"\\Mru", u"a", u"c:\\gone.txt");              // G: the value and its letter
  Set(name + u"\\Mru", u"MRUList", u"cab");
  Set(name + u"\\Blank", u"cmd", u"c:\\gone.exe");          // J: emptied
  const Text cu = u"HKEY_CURRENT_USER\\";
  Add(0x0100, 0, cu + name + u"\\X\\Y");
  Add(0x0100, 2, cu + name + u"\\Vals", u"dead");
  Add(0x0100, 2, u"NoBackslash", u"dead");                   // fails, touches nothing
  Add(0x0100, 27, cu + name + u"\\Mru", u"a");
  Add(0x0100, 37, cu + name + u"\\Blank", u"cmd");
  CProblem& missing_file = Add(0x0020, 34, u"C:\\gone\\file.tmp");
  missing_file.details = {u"file", u"C:\\gone\\file.tmp"};
  CProblem& history_entry = Add(0x0020, 32, u"HKEY_CURRENT_USER\\x");
  history_entry.details = {u"h", u"C:\\My Docs\\[a].txt"};
  history.Add(u"file:///C:/My%20Docs/%5Ba%5D.txt");
  settings.RegErrsFixedLast = 0;
  Repair();

  EXPECT_FALSE(Exists(name + u"\\X"));
  RegKey k = 0;
  ASSERT_EQ(0, fx.registry->Open(kHkeyCurrentUser, name + u"\\Vals", kKeyRead, &k));
  EXPECT_EQ(err::kFileNotFound, fx.registry->QueryValue(k, u"dead", nullptr));
  EXPECT_EQ(0, fx.registry->QueryValue(k, u"keep", nullptr));
  fx.registry->Close(k);
  ASSERT_EQ(0, fx.registry->Open(kHkeyCurrentUser, name + u"\\Mru", kKeyRead, &k));
  RegValue v;
  EXPECT_EQ(err::kFileNotFound, fx.registry->QueryValue(k, u"a", nullptr));
  ASSERT_EQ(0, fx.registry->QueryValue(k, u"MRUList", &v));
  EXPECT_EQ(SzData(u"cb"), v.data);
  fx.registry->Close(k);
  ASSERT_EQ(0, fx.registry->Open(kHkeyCurrentUser, name + u"\\Blank", kKeyRead, &k));
  ASSERT_EQ(0, fx.registry->QueryValue(k, u"cmd", &v));
  EXPECT_EQ(SzData(u""), v.data);
  fx.registry->Close(k);
  EXPECT_FALSE(history.Contains(u"file:///C:/My%20Docs/%5Ba%5D.txt"));

  // What failed stays, selected: the key without a backslash and the gone file.
  ASSERT_EQ(1u, fx.manager->AreaByBit(0x0100)->Count());
  EXPECT_EQ(u"NoBackslash", fx.manager->AreaByBit(0x0100)->problems()[0]->key);
  ASSERT_EQ(1u, fx.manager->AreaByBit(0x0020)->Count());
  EXPECT_EQ(34, fx.manager->AreaByBit(0x0020)->problems()[0]->entry_type);
  EXPECT_EQ(7u, settings.RegErrsFixedLast);
  EXPECT_EQ(7u, store.ReadDword(u"RegErrsFixedLast", 0));
}

TEST_F(RepairTest, CountersAndUnselectedAreas) {
  Set(name + u"\\A", u"v", u"1");
  Set(name + u"\\C", u"v", u"3");
  const Text cu = u"HKEY_CURRENT_USER\\";
  Add(0x0100, 4, cu + name + u"\\A");
  Add(0x0100, 2, u"HKEY_NO_SUCH_ROOT\\B", u"v");  // no such root: fails
  Add(0x0100, 4, cu + name + u"\\C");
  Add(0x0002, 4, cu + name + u"\\A").selected = 0;
  settings.RegErrsFixedTillDate = 10;
  settings.RegErrsFixedLast = 0;
  Repair();
  EXPECT_EQ(3u, settings.RegErrsFixedLast);
  EXPECT_EQ(13u, settings.RegErrsFixedTillDate);
  ASSERT_EQ(1u, fx.manager->AreaByBit(0x0100)->Count());
  EXPECT_EQ(1, fx.manager->AreaByBit(0x0100)->problems()[0]->selected);
  EXPECT_EQ(1u, fx.manager->AreaByBit(0x0002)->Count());  // unselected: untouched
  EXPECT_FALSE(Exists(name + u"\\A"));
}

TEST_F(RepairTest, StopInTheSecondAreaKeepsTheFirstAreasWork) {
  const Text cu = u"HKEY_CURRENT_USER\\";
  // Run order puts the installed software area before the shared files area.
  const auto order = RunOrder();
  const auto pos = [&](std::uint32_t bit) { return std::find(order.begin(), order.end(), bit) - order.begin(); };
  const std::uint32_t first = pos(0x0100) < pos(0x0040) ? 0x0100 : 0x0040;
  const std::uint32_t second = first == 0x0100 ? 0x0040 : 0x0100;
  Set(name + u"\\F1", u"v", u"1");
  Set(name + u"\\S1", u"v", u"1");
  Set(name + u"\\S2", u"v", u"1");
  Add(first, 4, cu + name + u"\\F1");
  Add(second, 4, cu + name + u"\\S1");
  Add(second, 4, cu + name + u"\\S2");
  // The first repair of the second area stops the run.
  int calls = 0;
  fx.notifier.Close(ScanFixture::kNotifyWindow);
  env.thread_start = [&] {};
  struct StopAfter final : RepairProgress {
    std::function<void()> on_text;
    void ShowDialog(bool) override {}
    void SetDialogText(TextView) override { on_text(); }
    void SetBarRange(int, int) override {}
    void SetBarPos(int) override {}
  } stopper;
  stopper.on_text = [&] {
    if (++calls == 4) fx.manager->Cancel();  // area 1: 2 texts; area 2: the 1st problem's
  };
  RepairEnv env2{*fx.manager, undo, store, settings, stopper, history, bin, scratch.fs(), scratch.Path(u"data")};
  RepairRun run2(env2);
  settings.RegErrsFixedTillDate = 0;
  settings.RegErrsFixedLast = 0;
  backup = BeginUndoBackup(undo);
  fx.manager->undo_holder().backup = backup.get();
  fx.manager->CollectAreas();
  run2.CleanWorker();
  EXPECT_TRUE(run2.stopped());
  EXPECT_TRUE(EndUndoBackup(undo, std::move(backup)));
  EXPECT_EQ(0u, fx.manager->AreaByBit(first)->Count());
  EXPECT_EQ(1u, fx.manager->AreaByBit(second)->Count());  // S1 repaired, S2 not reached
  EXPECT_EQ(2u, settings.RegErrsFixedTillDate);
  EXPECT_EQ(1u, settings.RegErrsFixedLast);
}

TEST_F(RepairTest, ARepairIsRefusedWhileAScanRunsAndRunsOnceItHasEnded) {
  Set(name + u"\\A", u"v", u"1");
  gated_bit = 0x0002;  // first in run order
  fx.manager->CreateAreas(kAllAreasMask, kAreaCount);
  ASSERT_TRUE(fx.manager->StartScan());
  ASSERT_TRUE(gate.WaitArrived()) << "the scan never reached its first area";
  EXPECT_FALSE(run.Start()) << "a repair while the scan is held in an area";
  EXPECT_EQ(nullptr, fx.manager->undo_holder().backup) << "no undo set begun for the refused run";
  EXPECT_FALSE(run.repairing());
  gate.Open();
  fx.manager->JoinWorker();
  EXPECT_EQ(kMsgScanFinished, fx.Messages().back().message);

  Add(0x0100, 4, u"HKEY_CURRENT_USER\\" + name + u"\\A");
  ASSERT_TRUE(run.Start());
  run.Join();
  EXPECT_FALSE(run.Start()) << "the run's end is not handled yet: its undo set would be lost";
  EXPECT_FALSE(run.stopped());
  EXPECT_FALSE(Exists(name + u"\\A"));
  ASSERT_EQ(1u, RepairEnds().size());
  EXPECT_EQ(kMsgRepairCompleted, RepairEnds()[0].message);
  EXPECT_FALSE(RepairEnds()[0].sent) << "the end of the run is posted: its handler waits for the worker";
  EXPECT_EQ(kCmdAfterRepairScreen, run.Finish(true));
}

TEST_F(RepairTest, TheRestorePointComesFirstAndItsFailureDoesNotStopTheRun) {
  Set(name + u"\\A", u"v", u"1");
  Add(0x0100, 4, u"HKEY_CURRENT_USER\\" + name + u"\\A");
  int calls = 0;
  env.create_restore_point = [&] {
    ++calls;
    EXPECT_TRUE(LogHas(u"CLEANING STARTED"));
    EXPECT_FALSE(LogHas(u"PASSED CREATING RESTORE POINT STAGE"));
    EXPECT_EQ(nullptr, fx.manager->undo_holder().backup) << "the undo set begins after the restore point";
    return false;
  };
  ASSERT_TRUE(run.Start());
  run.Join();
  EXPECT_EQ(1, calls);
  EXPECT_TRUE(LogHas(u"PASSED CREATING RESTORE POINT STAGE"));
  EXPECT_FALSE(Exists(name + u"\\A"));
  EXPECT_EQ(kCmdAfterRepairScreen, run.Finish(true));
}

TEST_F(RepairTest, AWorkerThatThrowsEndsTheRunAsStoppedAndFreesTheWorker) {
  Set(name + u"\\A", u"v", u"1");
  Add(0x0100, 4, u"HKEY_CURRENT_USER\\" + name + u"\\A");
  ThrowingProgress broken;
  int ends = 0;
  RepairEnv env2{*fx.manager, undo, store, settings, broken, history, bin, scratch.fs(), scratch.Path(u"data")};
  env2.thread_end = [&] { ++ends; };
  RepairRun run2(env2);
  ASSERT_TRUE(run2.Start());
  run2.Join();
  EXPECT_TRUE(run2.stopped());
  EXPECT_FALSE(run2.repairing());
  EXPECT_EQ(1, ends) << "the worker's end step still runs";
  EXPECT_EQ(Operation::kIdle, fx.manager->owner().state());
  EXPECT_TRUE(LogHas(u"display gone"));
  ASSERT_EQ(1u, RepairEnds().size());
  EXPECT_EQ(kMsgRepairStopped, RepairEnds()[0].message);
  EXPECT_EQ(0u, run2.Finish(false));
  EXPECT_TRUE(Exists(name + u"\\A")) << "nothing was repaired";
  ASSERT_TRUE(fx.manager->StartScan()) << "the worker is free again";
  fx.manager->JoinWorker();
}

TEST(RepairGroups, TableAndHistoryAddress) {
  EXPECT_EQ('A', RepairGroup(21));
  EXPECT_EQ('B', RepairGroup(38));
  EXPECT_EQ('C', RepairGroup(43));
  EXPECT_EQ('D', RepairGroup(39));
  EXPECT_EQ('F', RepairGroup(26));
  EXPECT_EQ('I', RepairGroup(40));
  EXPECT_EQ(0, RepairGroup(44));
  EXPECT_EQ(0, RepairGroup(-1));
  EXPECT_EQ(u"file:///C:/a%20b/%5Bx%5D.htm", HistoryUrlOfPath(u"C:\\a b\\[x].htm"));
}

TEST_F(RepairTest, UndoAfterARecentListLostTwoEntriesBringsBackTheWholeList) {
  const Text mru = name + u"\\ComDlg32\\OpenSaveMRU\\txt";
  Set(mru, u"a", u"C:\\gone\\one.txt");
  Set(mru, u"b", u"C:\\gone\\two.txt");
  Set(mru, u"c", u"C:\\here\\three.txt");
  Set(mru, u"MRUList", u"cba");
  const auto before = Snapshot();
  const Text cu = u"HKEY_CURRENT_USER\\";
  Add(0x0020, 27, cu + mru, u"a");
  Add(0x0020, 27, cu + mru, u"b");
  Repair();
  RegKey k = 0;
  RegValue v;
  ASSERT_EQ(0, fx.registry->Open(kHkeyCurrentUser, mru, kKeyRead, &k));
  ASSERT_EQ(0, fx.registry->QueryValue(k, u"MRUList", &v));
  fx.registry->Close(k);
  EXPECT_EQ(SzData(u"c"), v.data);
  ASSERT_TRUE(UndoSetFromRecord(undo, record));
  EXPECT_EQ(before, Snapshot());
}

TEST_F(RepairTest, AnEmptiedParentComesBackWithTheUndo) {
  Set(name + u"\\X\\Y", u"v", u"d");
  const auto before = Snapshot();
  Add(0x0100, 0, u"HKEY_CURRENT_USER\\" + name + u"\\X\\Y");
  Repair();
  EXPECT_FALSE(Exists(name + u"\\X"));
  ASSERT_TRUE(UndoSetFromRecord(undo, record));
  EXPECT_EQ(before, Snapshot());
  EXPECT_TRUE(Exists(name + u"\\X\\Y"));
}

TEST_F(RepairTest, AnEntryAnEarlierRepairAlreadyRemovedCountsAsRepaired) {
  // The file-type repair deletes a key; deep-scan entries of its values come later.
  Set(name + u"\\Classes\\gonefile\\shell\\open\\command", u"", u"C:\\gone\\app.exe %1");
  Set(name + u"\\Classes\\gonefile\\DefaultIcon", u"", u"C:\\gone\\app.exe,0");
  const Text cu = u"HKEY_CURRENT_USER\\";
  Add(0x0004, 3, cu + name + u"\\Classes\\gonefile");
  Add(0x2000, 2, cu + name + u"\\Classes\\gonefile\\DefaultIcon", u"");
  Add(0x2000, 37, cu + name + u"\\Classes\\gonefile\\shell\\open\\command", u"");
  Repair();
  EXPECT_EQ(0u, fx.manager->TotalProblems());
  EXPECT_FALSE(Exists(name + u"\\Classes\\gonefile"));
  ASSERT_TRUE(UndoSetFromRecord(undo, record));
  EXPECT_TRUE(Exists(name + u"\\Classes\\gonefile\\DefaultIcon"));
}

}  // namespace
}  // namespace hs
