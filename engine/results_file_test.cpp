// The results file: exact layout, round trip, the registry check at load,
// and damaged files (set aside, lists empty, never a crash).
#include "engine/results_file.h"

#include <gtest/gtest.h>

#include <random>

#include "engine/archive.h"
#include "engine/scan_manager.h"
#include "platform/store/registry_store.h"
#include "testing/fault_file_system.h"
#include "testing/scan_fixture.h"
#include "testing/scratch_fs.h"

namespace hs {
namespace {

using ::hs::testing::MakePlain;

using ::hs::testing::ScanFixture;
using ::hs::testing::ScratchFs;


class ResultsFile : public ::testing::Test {
 protected:
  ResultsFile() : fx_(MachineFacts{6, /*administrator=*/false}, MakePlain) {
    base_ = u"Software\\" + ::hs::testing::UniqueName("HSResults");
    key_ = u"HKEY_CURRENT_USER\\" + base_;
    Put(u"", u"", u"c:\\x.exe");
    Put(u"", u"Named", u"v");
  }
  ~ResultsFile() override { (void)fx_.registry->DeleteTree(kHkeyCurrentUser, base_, 0); }

  void Put(TextView sub, TextView name, TextView data) {
    RegKey k = 0;
    ASSERT_EQ(err::kSuccess, fx_.registry->Create(kHkeyCurrentUser, base_ + (sub.empty() ? u"" : u"\\" + Text(sub)),
                                                  kKeyAllAccess | kKeyWow64_32Key, &k, nullptr));
    ASSERT_EQ(err::kSuccess, fx_.registry->SetValue(k, name, kRegSz, SzData(data)));
    fx_.registry->Close(k);
  }
  CProblem& Add(std::uint32_t bit, int type, TextView key, TextView name, TextView data) {
    auto p = std::make_unique<CProblem>();
    p->entry_type = type;
    p->key = Text(key);
    p->value_name = Text(name);
    p->value_data = Text(data);
    p->entry32 = 1;
    auto& list = fx_.manager->AreaByBit(bit)->problems();
    list.push_back(std::move(p));
    return *list.back();
  }
  std::vector<Text> Keys(std::uint32_t bit) {
    std::vector<Text> out;
    for (auto& p : fx_.manager->AreaByBit(bit)->problems()) out.push_back(p->key + u"|" + p->value_name);
    return out;
  }
  Text Folder() { return scratch_.root(); }

  ScanFixture fx_;
  ScratchFs scratch_;
  Text base_, key_;
};

TEST_F(ResultsFile, LayoutWithOnlyTheFontsArea) {
  fx_.manager->CreateAreas(0x0008, 1);
  CProblem& p = Add(0x0008, 23, u"K", u"N", u"D");
  p.details = {u"d0"};
  p.selected = 0;
  ArchiveWriter w;
  w.I32(1);
  for (int i = 0; i < 3; ++i) w.I32(0);
  w.I32(1);
  w.I32(23);
  w.I32(0);
  w.String(u"K");
  w.String(u"N");
  w.String(u"D");
  w.String(u"");
  w.I32(1);
  w.StringArray({u"d0"});
  for (int i = 0; i < 10; ++i) w.I32(0);
  EXPECT_EQ(w.data(), EncodeResults(*fx_.manager));
}

TEST_F(ResultsFile, RoundTripKeepsLiveEntriesAndDropsGoneOnes) {
  fx_.manager->CreateAreas(kAllAreasMask, 14);
  Add(0x0001, 2, key_, u"Named", u"v").details = {u"heading", u"C:\\gone.dll"};
  Add(0x0002, 1, key_, u"", u"");
  Add(0x0002, 13, key_, u"", u"something else");                 // kept: type 13
  Add(0x0004, 2, key_, u"", u"C:\\X.EXE");                       // kept: default reads c:\x.exe
  Add(0x0004, 2, key_, u"", u"c:\\y.exe");                       // dropped: default differs
  Add(0x0008, 23, key_, u"Missing", u"");                        // dropped: value gone
  Add(0x0100, 36, key_, u"Missing", u"");                        // kept: type 36
  Add(0x0200, 2, key_ + u"\\Deleted", u"", u"");                 // dropped: key gone
  Add(0x0080, 34, u"C:\\Users\\demo\\Desktop\\x.lnk", u"", u"");  // kept unchecked
  Add(0x0400, 2, u"hkey_local_machine\\x", u"", u"");            // kept unchecked
  ASSERT_EQ(err::kSuccess, SaveProblemsToDisk(*fx_.manager, scratch_.fs(), Folder(), fx_.log));

  fx_.manager->DestroyAreas();
  LoadedResults r = LoadProblemsFromDisk(*fx_.manager, scratch_.fs(), Folder(), fx_.log);
  EXPECT_EQ(ResultsLoad::kLoaded, r.status);
  EXPECT_EQ(10, r.stored_total);
  EXPECT_EQ(7u, r.checked_total);
  EXPECT_EQ(std::vector<Text>{key_ + u"|Named"}, Keys(0x0001));
  EXPECT_EQ((std::vector<Text>{key_ + u"|", key_ + u"|"}), Keys(0x0002));
  EXPECT_EQ(std::vector<Text>{key_ + u"|"}, Keys(0x0004));
  EXPECT_TRUE(Keys(0x0008).empty());
  EXPECT_EQ(std::vector<Text>{key_ + u"|Missing"}, Keys(0x0100));
  EXPECT_TRUE(Keys(0x0200).empty());
  const CProblem& first = *fx_.manager->AreaByBit(0x0001)->problems()[0];
  EXPECT_EQ((std::vector<Text>{u"heading", u"C:\\gone.dll"}), first.details);
  EXPECT_EQ(1, first.entry32);
  EXPECT_EQ(&fx_.manager->undo_holder(), first.recorder);
  // Saving what was loaded gives the same lists back.
  std::vector<std::uint8_t> again = EncodeResults(*fx_.manager);
  ASSERT_EQ(err::kSuccess, SaveProblemsToDisk(*fx_.manager, scratch_.fs(), Folder(), fx_.log));
  fx_.manager->DestroyAreas();
  (void)LoadProblemsFromDisk(*fx_.manager, scratch_.fs(), Folder(), fx_.log);
  EXPECT_EQ(again, EncodeResults(*fx_.manager));
}

TEST_F(ResultsFile, MissingFileCreatesNoAreas) {
  LoadedResults r = LoadProblemsFromDisk(*fx_.manager, scratch_.fs(), Folder(), fx_.log);
  EXPECT_EQ(ResultsLoad::kMissing, r.status);
  EXPECT_EQ(nullptr, fx_.manager->AreaByBit(0x0001));
}

TEST_F(ResultsFile, DamagedFilesAreSetAsideAndTheListsStartEmpty) {
  fx_.manager->CreateAreas(kAllAreasMask, 14);
  Add(0x0001, 2, key_, u"Named", u"v").details = {u"heading"};
  Add(0x0002, 36, key_, u"x", u"y");
  const std::vector<std::uint8_t> good = EncodeResults(*fx_.manager);
  const Text path = Folder() + u"\\results.hsw";
  std::mt19937 rng(1234);
  std::vector<std::vector<std::uint8_t>> inputs;
  for (std::size_t n = 0; n < good.size(); ++n) inputs.emplace_back(good.begin(), good.begin() + n);
  auto extra = good;
  extra.push_back(0);
  inputs.push_back(extra);
  for (int i = 0; i < 300; ++i) {
    auto m = good;
    for (int k = 0; k < 3; ++k) m[rng() % m.size()] = static_cast<std::uint8_t>(rng());
    inputs.push_back(m);
  }
  for (const auto& bytes : inputs) {
    if (bytes.empty()) continue;  // an empty file is damaged too, but WriteFileAtomic of nothing is fine
    ASSERT_EQ(err::kSuccess, scratch_.fs().WriteFileAtomic(path, bytes));
    LoadedResults r = LoadProblemsFromDisk(*fx_.manager, scratch_.fs(), Folder(), fx_.log);
    if (r.status == ResultsLoad::kDamaged) {
      EXPECT_EQ(0u, fx_.manager->TotalProblems());
      EXPECT_FALSE(scratch_.fs().Exists(path));
      std::vector<std::uint8_t> kept;
      EXPECT_EQ(err::kSuccess, scratch_.fs().ReadFile(path + u".bad", kMaxResultsFileBytes, &kept));
      EXPECT_EQ(bytes, kept);
      ASSERT_EQ(err::kSuccess, scratch_.fs().DeleteFile(path + u".bad"));
    }
  }
  // A truncated file in particular; a second damaged file keeps the first copy.
  const std::vector<std::uint8_t> truncated(good.begin(), good.end() - 3);
  const std::vector<std::uint8_t> cut(good.begin(), good.begin() + 5);
  ASSERT_EQ(err::kSuccess, scratch_.fs().WriteFileAtomic(path, truncated));
  EXPECT_EQ(ResultsLoad::kDamaged, LoadProblemsFromDisk(*fx_.manager, scratch_.fs(), Folder(), fx_.log).status);
  ASSERT_NE(nullptr, fx_.manager->AreaByBit(0x0001));
  EXPECT_EQ(0u, fx_.manager->TotalProblems());
  ASSERT_EQ(err::kSuccess, scratch_.fs().WriteFileAtomic(path, cut));
  EXPECT_EQ(ResultsLoad::kDamaged, LoadProblemsFromDisk(*fx_.manager, scratch_.fs(), Folder(), fx_.log).status);
  std::vector<std::uint8_t> first, second;
  ASSERT_EQ(err::kSuccess, scratch_.fs().ReadFile(path + u".bad", kMaxResultsFileBytes, &first));
  ASSERT_EQ(err::kSuccess, scratch_.fs().ReadFile(path + u".2.bad", kMaxResultsFileBytes, &second));
  EXPECT_EQ(truncated, first);
  EXPECT_EQ(cut, second);
}

TEST_F(ResultsFile, AnUnreadableFileIsKeptAsItIsAndNotSavedOverUntilAScan) {
  fx_.manager->CreateAreas(kAllAreasMask, 14);
  Add(0x0001, 2, key_, u"Named", u"v");
  ASSERT_EQ(err::kSuccess, SaveProblemsToDisk(*fx_.manager, scratch_.fs(), Folder(), fx_.log));
  const Text path = Folder() + u"\\results.hsw";
  std::vector<std::uint8_t> stored;
  ASSERT_EQ(err::kSuccess, scratch_.fs().ReadFile(path, kMaxResultsFileBytes, &stored));
  FaultFileSystem faulty(scratch_.fs());
  for (WinError e : {err::kSharingViolation, err::kAccessDenied, err::kReadFault}) {
    faulty.FailOp(FsOp::kReadFile, e);
    LoadedResults r = LoadProblemsFromDisk(*fx_.manager, faulty, Folder(), fx_.log);
    EXPECT_EQ(ResultsLoad::kUnreadable, r.status) << e;
    EXPECT_EQ(0u, fx_.manager->TotalProblems());
    EXPECT_FALSE(scratch_.fs().Exists(path + u".bad")) << "not set aside as damaged";
    // The save at exit (of the empty lists) leaves the file as it was.
    faulty.ClearFaults();
    EXPECT_EQ(e, SaveProblemsToDisk(*fx_.manager, faulty, Folder(), fx_.log));
    std::vector<std::uint8_t> now;
    ASSERT_EQ(err::kSuccess, scratch_.fs().ReadFile(path, kMaxResultsFileBytes, &now));
    EXPECT_EQ(stored, now);
  }
  // Read again, the file loads and saves as usual.
  EXPECT_EQ(1u, LoadProblemsFromDisk(*fx_.manager, scratch_.fs(), Folder(), fx_.log).checked_total);
  EXPECT_EQ(err::kSuccess, SaveProblemsToDisk(*fx_.manager, scratch_.fs(), Folder(), fx_.log));
  // A new scan's lists replace an unreadable file's.
  faulty.FailOp(FsOp::kReadFile, err::kSharingViolation);
  EXPECT_EQ(ResultsLoad::kUnreadable, LoadProblemsFromDisk(*fx_.manager, faulty, Folder(), fx_.log).status);
  ASSERT_TRUE(fx_.manager->StartScan());
  fx_.manager->JoinWorker();
  EXPECT_EQ(err::kSuccess, SaveProblemsToDisk(*fx_.manager, scratch_.fs(), Folder(), fx_.log));
}

TEST_F(ResultsFile, AnEntryUnderAKeyTheUserMayNotChangeIsStillThere) {
  auto* store = dynamic_cast<RegistryStore*>(fx_.registry.get());
  if (!store) GTEST_SKIP() << "needs the store's deny-write marks";
  fx_.manager->CreateAreas(kAllAreasMask, 14);
  Add(0x0001, 2, key_, u"Named", u"v");
  Add(0x0004, 2, key_, u"", u"c:\\x.exe");
  ASSERT_EQ(err::kSuccess, SaveProblemsToDisk(*fx_.manager, scratch_.fs(), Folder(), fx_.log));
  ASSERT_EQ(err::kSuccess, store->MarkDenyWrite(kHkeyCurrentUser, base_, kKeyWow64_32Key, true));
  RegKey k = 0;
  ASSERT_EQ(err::kAccessDenied, fx_.registry->Open(kHkeyCurrentUser, base_, kKeyAllAccess | kKeyWow64_32Key, &k));
  fx_.manager->DestroyAreas();
  const LoadedResults r = LoadProblemsFromDisk(*fx_.manager, scratch_.fs(), Folder(), fx_.log);
  ASSERT_EQ(err::kSuccess, store->MarkDenyWrite(kHkeyCurrentUser, base_, kKeyWow64_32Key, false));
  EXPECT_EQ(ResultsLoad::kLoaded, r.status);
  EXPECT_EQ(2u, r.checked_total) << "write access refused is not a missing key";
}

TEST_F(ResultsFile, ASaveThatFailsLeavesThePreviousFileWhole) {
  fx_.manager->CreateAreas(kAllAreasMask, 14);
  Add(0x0001, 2, key_, u"Named", u"v");
  ASSERT_EQ(err::kSuccess, SaveProblemsToDisk(*fx_.manager, scratch_.fs(), Folder(), fx_.log));
  EXPECT_NE(err::kSuccess, SaveProblemsToDisk(*fx_.manager, scratch_.fs(), Folder() + u"\\no\\such\\folder", fx_.log));
  EXPECT_NE(err::kSuccess, SaveProblemsToDisk(*fx_.manager, scratch_.fs(), u"", fx_.log));
  // Overwriting fails part-way: a full disk, then a refused rename.
  Add(0x0002, 2, key_, u"", u"c:\\x.exe");
  FaultFileSystem faulty(scratch_.fs());
  faulty.FailWritesAfter(5);
  EXPECT_EQ(err::kDiskFull, SaveProblemsToDisk(*fx_.manager, faulty, Folder(), fx_.log));
  faulty.ClearFaults();
  faulty.FailOp(FsOp::kMoveFile, err::kAccessDenied);
  EXPECT_EQ(err::kAccessDenied, SaveProblemsToDisk(*fx_.manager, faulty, Folder(), fx_.log));
  EXPECT_GT(faulty.Calls(FsOp::kMoveFile), 0);
  fx_.manager->DestroyAreas();
  EXPECT_EQ(1u, LoadProblemsFromDisk(*fx_.manager, scratch_.fs(), Folder(), fx_.log).checked_total)
      << "the first save's file, whole";
}

}  // namespace
}  // namespace hs
