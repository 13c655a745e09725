#include "defrag/hive_analysis.h"

#include <gtest/gtest.h>

#include <random>

#include "testing/fake_hives.h"
#include "testing/manual_clock.h"
#include "testing/memory_log.h"

namespace hs {
namespace {

using testing::FakeHives;

Text Texts(TextView key) {
  if (key == u"IDS_FRGMENTATION") return u"%d%% fragmented";
  if (key == u"SCANTAB3LISTFILESIZE") return u"Size %s, compacted %s";
  if (key == u"IDS_REG_DEFRAG_KEY_COUNT") return u"Analyzing %d registry hives...";
  if (key == u"IDS_REG_DEFRAG_PROGRESS") return u"%d%% done";
  return Text(key);
}

class RecordingProgress final : public AnalysisProgress {
 public:
  void SetRange(std::uint32_t count) override { range = count; }
  void SetPosition(std::uint32_t p) override { positions.push_back(p); }
  void SetText(TextView t) override { texts.emplace_back(t); }
  std::uint32_t range = 0;
  std::vector<std::uint32_t> positions;
  std::vector<Text> texts;
};

// A Windows 7 hivelist: the system hives, .DEFAULT, and one user.
void SevenHives(FakeHives* h) {
  h->AddHive(u"\\REGISTRY\\MACHINE\\HARDWARE", u"C:\\none", 1, 1);
  h->AddHive(u"\\REGISTRY\\MACHINE\\BCD00000000", u"C:\\Boot\\BCD", 8192, 4096);
  h->AddHive(u"\\REGISTRY\\MACHINE\\SYSTEM", u"C:\\Windows\\System32\\config\\SYSTEM", 8192, 4096);
  h->AddHive(u"\\REGISTRY\\MACHINE\\SOFTWARE", u"C:\\Windows\\System32\\config\\SOFTWARE", 8192, 4096);
  h->AddHive(u"\\REGISTRY\\MACHINE\\SAM", u"C:\\Windows\\System32\\config\\SAM", 40960, 20480);
  h->AddHive(u"\\REGISTRY\\MACHINE\\SECURITY", u"C:\\Windows\\System32\\config\\SECURITY", 20480, 10240);
  h->AddHive(u"\\REGISTRY\\MACHINE\\COMPONENTS", u"C:\\Windows\\System32\\config\\COMPONENTS", 8192, 4096);
  h->AddHive(u"\\REGISTRY\\MACHINE\\SCHEMA", u"C:\\Windows\\System32\\smi\\store\\schema.dat", 8192, 4096);
  h->AddHive(u"\\REGISTRY\\USER\\.DEFAULT", u"C:\\Windows\\System32\\config\\DEFAULT", 8192, 4096);
  h->AddHive(u"\\REGISTRY\\USER\\S-1-5-21-1", u"C:\\Users\\demo\\NTUSER.DAT", 102400, 51200);
  h->AddHive(u"\\REGISTRY\\USER\\S-1-5-21-1_Classes",
             u"C:\\Users\\demo\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat", 16384, 8192);
}

struct Analysis {
  FakeHives hives;
  ManualClock clock{DateTime{2026, 5, 1, 12}};
  MemoryLog log;
  RecordingProgress progress;
};

TEST(HiveAnalysis, OnlySamSecurityAndUserHivesAreAnalysed) {
  Analysis a;
  SevenHives(&a.hives);
  CRegCompact engine(a.hives, a.clock, a.log);
  engine.AnalyseHives(a.progress, Texts);
  std::vector<Text> names;
  for (const HiveRecord& r : engine.records) names.push_back(r.hiveName);
  EXPECT_EQ(names, (std::vector<Text>{u"\\REGISTRY\\MACHINE\\SAM", u"\\REGISTRY\\MACHINE\\SECURITY",
                                      u"\\REGISTRY\\USER\\S-1-5-21-1", u"\\REGISTRY\\USER\\S-1-5-21-1_CLASSES"}));
  EXPECT_EQ(a.hives.saves.size(), 4u);
  ASSERT_EQ(engine.count, 4u);
  EXPECT_EQ(engine.records[0].kind, 4u);
  EXPECT_EQ(engine.records[1].kind, 8u);
  EXPECT_EQ(engine.records[2].kind, 2u);
  EXPECT_EQ(engine.records[0].root, kHkeyLocalMachine);
  EXPECT_EQ(engine.records[2].root, kHkeyUsers);
  EXPECT_EQ(engine.records[2].subKey, u"s-1-5-21-1");
  EXPECT_EQ(engine.records[0].filePath, u"C:\\Windows\\System32\\config\\SAM");
  EXPECT_EQ(engine.records[0].copyPath, u"C:\\Windows\\System32\\Config\\VTQBakup\\sam.bak");
  EXPECT_EQ(engine.records[0].companionPath, u"C:\\Windows\\System32\\Config\\VTQBakup\\sam.bac");
  EXPECT_EQ(engine.records[0].fileSize, 40960u);
  EXPECT_EQ(engine.records[0].compactSize, 20480u);
  // A pause of 1024 ms before each save; progress to 100%.
  EXPECT_EQ(a.clock.TickMs(), 4u * kAnalysisPauseMs);
  EXPECT_EQ(a.progress.range, 4u);
  EXPECT_EQ(a.progress.texts.front(), u"Analyzing 4 registry hives...");
  EXPECT_EQ(a.progress.texts.back(), u"100% done");
  EXPECT_EQ(a.hives.priority_changes, (std::vector<bool>{true, false}));
}

TEST(HiveAnalysis, StopsBetweenHivesAndCopiesGoWithTheEngine) {
  Analysis a;
  SevenHives(&a.hives);
  {
    CRegCompact engine(a.hives, a.clock, a.log);
    engine.Stop();
    engine.AnalyseHives(a.progress, Texts);
    EXPECT_TRUE(a.hives.saves.empty());
  }
  {
    CRegCompact engine(a.hives, a.clock, a.log);
    engine.AnalyseHives(a.progress, Texts);
    EXPECT_TRUE(a.hives.HasFile(engine.records[0].copyPath));
  }
  EXPECT_FALSE(a.hives.HasFile(u"C:\\Windows\\System32\\Config\\VTQBakup\\sam.bak"));
}

TEST(HiveAnalysis, WithoutTheCopyFolderTemporaryNamesInTheSystemFolder) {
  Analysis a;
  SevenHives(&a.hives);
  a.hives.folder_error = err::kAccessDenied;
  a.clock.SetTickMs(0x12340005);
  CRegCompact engine(a.hives, a.clock, a.log);
  engine.AnalyseHives(a.progress, Texts);
  // 5 (bit 1 clear) grows by 3 to 8, 8 (bit 1 clear) to 11, 11 (bit 1 set) by 4 to 15.
  EXPECT_EQ(a.hives.temp_numbers, (std::vector<std::uint32_t>{5, 8, 11, 15}));
  EXPECT_EQ(engine.records[0].copyPath, u"C:\\WINDOWS\\SYSTEM32\\HSW5.TMP");
  EXPECT_EQ(engine.records[0].companionPath, u"C:\\WINDOWS\\SYSTEM32\\HSW5.bac");
  EXPECT_EQ(engine.records[0].saved, 1u);
}

TEST(HiveAnalysis, NoPrivilegesNoRecords) {
  Analysis a;
  SevenHives(&a.hives);
  a.hives.privileges = false;
  CRegCompact engine(a.hives, a.clock, a.log);
  engine.AnalyseHives(a.progress, Texts);
  EXPECT_EQ(engine.count, 0u);
  EXPECT_TRUE(engine.records.empty());
  EXPECT_TRUE(a.hives.saves.empty());
}

HiveRecord Saved(std::uint32_t file, std::uint32_t compact) {
  HiveRecord r;
  r.saved = 1;
  r.fileSize = file;
  r.compactSize = compact;
  r.hiveName = u"\\REGISTRY\\MACHINE\\SAM";
  return r;
}

TEST(HiveResults, NotRequiredOnlyWhenRecentAndBelowTwoPercent) {
  // 19 of 1000 bytes: 1.9% overall.
  std::vector<HiveRecord> records{Saved(1000, 981)};
  EXPECT_TRUE(ShowResults(&records, 10, Texts).not_required);
  EXPECT_FALSE(ShowResults(&records, 11, Texts).not_required);
  EXPECT_FALSE(ShowResults(&records, kUnknownDays, Texts).not_required);
  std::vector<HiveRecord> more{Saved(1000, 980)};  // 2.0%
  EXPECT_FALSE(ShowResults(&more, 0, Texts).not_required);
  const AnalysisResults r = ShowResults(&records, 11, Texts);
  EXPECT_DOUBLE_EQ(r.overall, 1.9);
  ASSERT_EQ(r.rows.size(), 1u);
  EXPECT_EQ(r.rows[0].fragmentation, u"1% fragmented");
  EXPECT_EQ(r.rows[0].sizes, u"Size 1000 Bytes, compacted 981 Bytes");
}

TEST(HiveResults, GainRules) {
  HiveRecord unsaved = Saved(4096, 0);
  unsaved.saved = 0;
  HiveRecord empty;  // not saved, no size: no row
  std::vector<HiveRecord> records{unsaved, empty, Saved(2000, 2500), Saved(2000, 500)};
  const AnalysisResults r = ShowResults(&records, kUnknownDays, Texts);
  ASSERT_EQ(r.rows.size(), 3u);
  EXPECT_EQ(records[0].saved, 1u);  // counted with a gain of one byte
  EXPECT_EQ(records[0].compactSize, 4095u);
  EXPECT_EQ(r.rows[0].percent, 0);
  EXPECT_EQ(r.rows[1].percent, 25);  // a larger copy: its excess counts
  EXPECT_EQ(r.rows[2].percent, 75);
  EXPECT_EQ(r.total_gain, 1 + 500 + 1500);
  EXPECT_EQ(r.total_file, 8096u);
}

TEST(HiveResults, SizeTexts) {
  EXPECT_EQ(HiveSizeText(0), u"0 Bytes");
  EXPECT_EQ(HiveSizeText(1023), u"1023 Bytes");
  EXPECT_EQ(HiveSizeText(1024), u"1.0 KB");
  EXPECT_EQ(HiveSizeText(1536), u"1.5 KB");
  EXPECT_EQ(HiveSizeText(1024 * 1024 - 1), u"1024.0 KB");
  EXPECT_EQ(HiveSizeText(3 * 1024 * 1024 / 2), u"1.50 MB");
  EXPECT_EQ(HiveSizeText(5ull * 1024 * 1024 * 1024 / 2), u"2.50 GB");
}

TEST(HiveResults, DaysSinceLastOptimize) {
  const DateTime now{2026, 3, 11, 9, 30};
  EXPECT_EQ(DaysSinceLastOptimize(u"3/1/2026 9:30:00 AM", now), 10u);
  EXPECT_EQ(DaysSinceLastOptimize(u"2/28/2026 11:59:59 PM", now), 11u);
  EXPECT_EQ(DaysSinceLastOptimize(u"3/11/2026 12:00:00 AM", now), 1u);  // midnight is a whole day already
  EXPECT_EQ(DaysSinceLastOptimize(FormatLocaleDateTime(now), now), 0u);
  EXPECT_EQ(DaysSinceLastOptimize(u"", now), kUnknownDays);
  EXPECT_EQ(DaysSinceLastOptimize(u"yesterday", now), kUnknownDays);
  EXPECT_EQ(DaysSinceLastOptimize(u"2/30/2026 1:00:00 AM", now), kUnknownDays);
  // A future date is never recent.
  EXPECT_GT(DaysSinceLastOptimize(u"3/20/2026 9:30:00 AM", now), kRecentOptimizeDays);
  DateTime back;
  ASSERT_TRUE(ParseLocaleDateTime(FormatLocaleDateTime(DateTime{2026, 12, 9, 13, 5, 9}), &back));
  EXPECT_EQ(back.hour, 13);
  EXPECT_EQ(back.second, 9);
}

TEST(HiveResults, PathResolution) {
  FakeHives h;
  h.files[u"C:\\WINNT\\SYSTEM32\\CONFIG\\SAM"];
  h.files[u"C:\\USERS\\DEMO\\NTUSER.DAT"];
  h.files[u"D:\\DATA\\HIVE"];
  h.drives.push_back({u"D:", u"\\Device\\HarddiskVolume2"});
  h.folders.windows_dir = u"C:\\WINNT";
  const auto exists = [&](TextView p) { return h.Exists(p); };
  EXPECT_EQ(ResolveHivePath(u"\\Device\\HarddiskVolume2\\Data\\Hive", h.drives, h.folders, exists), u"D:\\Data\\Hive");
  // The Windows folder renamed, the profiles folder of another version.
  EXPECT_EQ(ResolveHivePath(u"\\Device\\HarddiskVolume1\\Windows\\system32\\config\\SAM", h.drives, h.folders, exists),
            u"C:\\WINNT\\system32\\config\\SAM");
  EXPECT_EQ(ResolveHivePath(u"\\Device\\HarddiskVolume1\\Documents and Settings\\demo\\NTUSER.DAT", h.drives,
                            h.folders, exists),
            u"C:\\Users\\demo\\NTUSER.DAT");
  EXPECT_EQ(ResolveHivePath(u"\\Device\\HarddiskVolume3\\x\\y", h.drives, h.folders, exists), u"");
  EXPECT_EQ(ResolveHivePath(u"E:\\x\\y", h.drives, h.folders, exists), u"E:\\x\\y");
}

AnalysisSummary SampleSummary() {
  HiveRecord a = Saved(8192, 4096);
  a.root = static_cast<std::uint32_t>(kHkeyLocalMachine);
  a.subKey = u"sam";
  a.filePath = u"C:\\Windows\\System32\\config\\SAM";
  a.copyPath = u"C:\\Windows\\System32\\Config\\VTQBakup\\sam.bak";
  a.companionPath = u"C:\\Windows\\System32\\Config\\VTQBakup\\sam.bac";
  a.kind = 4;
  HiveRecord b = a;
  b.hiveName = u"\\REGISTRY\\USER\\S-1-5-21-1_Classes";
  b.kind = 2;
  b.saved = 0;
  return {{a, b}, u"Wed. December 09, 2026. 12:27 AM", u"12/9/2026 12:27:00 AM"};
}

TEST(HiveSummary, RoundTripsAndRefusesDamage) {
  const AnalysisSummary s = SampleSummary();
  const std::vector<std::uint8_t> bytes = EncodeAnalysisSummary(s);
  AnalysisSummary back;
  std::string error;
  ASSERT_TRUE(ParseAnalysisSummary(bytes, &back, &error)) << error;
  EXPECT_EQ(back.records, s.records);
  EXPECT_EQ(back.analysis_time, s.analysis_time);
  EXPECT_EQ(back.locale_time, s.locale_time);
  // Every truncation is refused, never read past the end.
  for (std::size_t n = 0; n < bytes.size(); ++n)
    EXPECT_FALSE(ParseAnalysisSummary(std::span(bytes).first(n), &back, &error)) << n;
  // Random bytes and single-byte damage never crash; a huge count is refused.
  std::mt19937 rng(19);
  for (int i = 0; i < 2000; ++i) {
    std::vector<std::uint8_t> junk = bytes;
    if (i % 2) junk.resize(rng() % 300);
    for (auto& b : junk) b = i % 2 ? static_cast<std::uint8_t>(rng()) : b;
    if (!junk.empty() && i % 2 == 0) junk[rng() % junk.size()] ^= static_cast<std::uint8_t>(1 + rng() % 255);
    (void)ParseAnalysisSummary(junk, &back, &error);
  }
  std::vector<std::uint8_t> huge = {0xFF, 0xFF, 0xFF, 0x7F};
  EXPECT_FALSE(ParseAnalysisSummary(huge, &back, &error));
}

TEST(HiveSummary, FiguresAfterTheRestart) {
  std::vector<HiveRecord> stored{Saved(8000, 2000), Saved(1000, 1000), Saved(4000, 0), Saved(3000, 1000)};
  stored.push_back(Saved(5000, 1000));
  stored.back().saved = 0;
  const RestartSummary s = SummariseAfterRestart(stored, 7);
  EXPECT_EQ(s.hives, 7u);
  EXPECT_EQ(s.total_before, 11000u);
  EXPECT_EQ(s.total_gained, 8000u);
  EXPECT_NEAR(s.remaining_percent, 100.0 - 8000.0 * 100 / 11000, 1e-9);
  EXPECT_EQ(SummariseAfterRestart({}, 2).remaining_percent, 100.0);
}

}  // namespace
}  // namespace hs
