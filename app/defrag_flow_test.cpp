#include "app/defrag_flow.h"

#include <gtest/gtest.h>

#include "platform/store/registry_store.h"
#include "testing/defrag_doubles.h"
#include "testing/fake_hives.h"
#include "testing/manual_clock.h"
#include "testing/memory_log.h"
#include "testing/scratch_fs.h"

namespace hs {
namespace {

using testing::FakeHives;

class RecordingRestore final : public SystemRestore {
 public:
  bool CreatePoint(TextView description) override {
    points.emplace_back(description);
    return true;
  }
  std::vector<Text> points;
};

Text Texts(TextView key) {
  if (key == u"AFX_IDS_APP_TITLE") return u"HiveSweep";
  return Text(key);
}

constexpr TextView kParamPath = u"C:\\Windows\\system32\\QTMKXSet.bin";
constexpr TextView kProgram = u"C:\\Program Files\\HiveSweep\\HiveSweep.exe";

struct Flow {
  FakeHives hives;
  RegistryStore registry;
  testing::ScratchFs scratch{"hs_defrag_flow"};
  ManualClock clock{DateTime{2026, 3, 11, 9, 30}};
  MemoryLog log;
  testing::RecordingPrompts prompts{PromptAnswer::kNo};
  RecordingRestore restore;
  SettingsStore store{registry, log};
  AppSettings settings;
  DefragEnv env{hives, registry, scratch.fs(), scratch.Path(u"data"), clock, log, prompts, &restore, Texts, 6, true,
                store, settings, StartEntryContext{5, Text(kProgram), u"HiveSweep", nullptr}};

  Flow() {
    hives.AddHive(u"\\REGISTRY\\MACHINE\\SAM", u"C:\\Windows\\System32\\config\\SAM", 8000, 2000);
    hives.AddHive(u"\\REGISTRY\\USER\\S-1-5-21-1", u"C:\\Users\\demo\\NTUSER.DAT", 4000, 3000);
    hives.PutFile(u"C:\\Windows\\system32\\KXBoot64.exe", {1});
  }
  Text RunValue(TextView name) {
    RegKey key = 0;
    if (registry.Open(kHkeyCurrentUser, kRunKeyPath, kKeyRead, &key)) return u"<none>";
    RegValue v;
    const WinError e = registry.QueryValue(key, name, &v);
    registry.Close(key);
    return e ? u"<none>" : FromUtf16leBytes(v.data.data(), v.data.size() - 2);
  }
};

TEST(DefragFlow, OptimizeInstallsSavesTheSummaryAndMarksTheNextStart) {
  Flow f;
  CRegCompact engine(f.hives, f.clock, f.log);
  testing::NoProgress progress;
  engine.AnalyseHives(progress, Texts);
  ASSERT_EQ(engine.count, 2u);
  const OptimizeOutcome o = Optimize(f.env, engine);
  EXPECT_TRUE(o.installed);
  EXPECT_FALSE(o.restart_started);
  EXPECT_TRUE(o.summary_saved);
  EXPECT_EQ(f.restore.points, (std::vector<Text>{u"HiveSweep Before Optimization "}));
  EXPECT_TRUE(f.hives.HasFile(kParamPath));
  EXPECT_FALSE(f.hives.HasFile(engine.records[0].copyPath));
  EXPECT_EQ(f.RunValue(u"HiveSweep"), u"\"" + Text(kProgram) + u"\" StartedAfterOptimization ");
  EXPECT_TRUE(OptimizationPending(f.registry));
  EXPECT_EQ(f.log.Lines().back(), u"PostQuitMessage : defrag optimize");
  AnalysisSummary stored;
  ASSERT_TRUE(LoadAnalysisSummary(f.scratch.fs(), f.env.data_folder, &stored));
  EXPECT_EQ(stored.records, engine.records);
  EXPECT_EQ(stored.locale_time, u"3/11/2026 9:30:02 AM");  // after two pauses
}

TEST(DefragFlow, AfterTheRestartTheSummaryIsShownAndTheMarkersCleared) {
  Flow f;
  {
    CRegCompact engine(f.hives, f.clock, f.log);
    testing::NoProgress progress;
    engine.AnalyseHives(progress, Texts);
    ASSERT_TRUE(Optimize(f.env, engine).installed);
  }
  // Still pending at the next start: 1, no file touched, no summary.
  f.hives.deleted.clear();
  AfterOptimization pending = StartedAfterOptimization(f.env);
  EXPECT_EQ(pending.results, 1);
  EXPECT_TRUE(f.hives.deleted.empty());
  EXPECT_FALSE(pending.summary_loaded);

  // The boot step ran.
  ASSERT_TRUE(Optimize(f.env, *std::make_unique<CRegCompact>(f.hives, f.clock, f.log)).installed);
  f.hives.PutFile(kParamPath, {});
  {
    ParameterFile back;
    back.count = 2;
    back.status = kCompactionSucceeded;
    back.records = {{u"\\REGISTRY\\MACHINE\\SAM", u"C:\\Windows\\System32\\config\\SAM", 8000, 2000},
                    {u"\\REGISTRY\\USER\\S-1-5-21-1", u"C:\\Users\\demo\\NTUSER.DAT", 4000, 3000}};
    f.hives.PutFile(kParamPath, EncodeParameterFile(back, ParameterForm::kReadBack));
  }
  // The second Optimize had no records: put the first summary back.
  AnalysisSummary summary;
  HiveRecord sam;
  sam.saved = 1;
  sam.fileSize = 8000;
  sam.compactSize = 2000;
  sam.hiveName = u"\\REGISTRY\\MACHINE\\SAM";
  summary.records = {sam};
  summary.analysis_time = u"Wed. March 11, 2026. 09:30 AM";
  summary.locale_time = u"3/11/2026 9:30:00 AM";
  ASSERT_TRUE(SaveAnalysisSummary(f.scratch.fs(), f.env.data_folder, summary));
  const AfterOptimization done = StartedAfterOptimization(f.env);
  EXPECT_EQ(done.results, 0);
  ASSERT_TRUE(done.summary_loaded);
  EXPECT_EQ(done.summary.hives, 2u);
  EXPECT_EQ(done.summary.total_gained, 6000u);
  EXPECT_EQ(f.settings.StrLastOptimizeTime, u"3/11/2026 9:30:00 AM");
  AppSettings saved;
  ASSERT_EQ(f.store.LoadSettings(&saved), err::kSuccess);
  EXPECT_EQ(saved.StrLatestRegDefrag, u"Wed. March 11, 2026. 09:30 AM");
  EXPECT_FALSE(OptimizationPending(f.registry));
  EXPECT_EQ(f.RunValue(u"HiveSweep"), u"<none>");
  EXPECT_EQ(f.RunValue(u"HSWReminder"), u"\"" + Text(kProgram) + u"\" -rem");
}

TEST(DefragFlow, AFailedInstallationStillLeavesTheSummaryAndMarkers) {
  Flow f;
  f.hives.files.erase(u"C:\\WINDOWS\\SYSTEM32\\KXBOOT64.EXE");
  CRegCompact engine(f.hives, f.clock, f.log);
  const OptimizeOutcome o = Optimize(f.env, engine);
  EXPECT_FALSE(o.installed);
  EXPECT_FALSE(f.hives.HasFile(kParamPath));
  EXPECT_EQ(f.prompts.shown.size(), 1u);
  EXPECT_TRUE(OptimizationPending(f.registry));
}

TEST(DefragFlow, OpeningThePage) {
  testing::RecordingPrompts prompts{PromptAnswer::kNo};
  prompts.answer = PromptAnswer::kYes;
  EXPECT_EQ(OpenDefragPage(6, false, prompts, Texts), DefragPageEntry::kElevate);
  EXPECT_TRUE(prompts.shown.empty());
  EXPECT_EQ(OpenDefragPage(6, true, prompts, Texts), DefragPageEntry::kOpen);
  EXPECT_EQ(OpenDefragPage(10, false, prompts, Texts), DefragPageEntry::kElevate) << "Windows 10 and 11";
  EXPECT_EQ(OpenDefragPage(5, false, prompts, Texts), DefragPageEntry::kOpen);
  prompts.answer = PromptAnswer::kNo;
  EXPECT_EQ(OpenDefragPage(5, true, prompts, Texts), DefragPageEntry::kDeclined);
  EXPECT_EQ(prompts.shown.back(), u"IDS_ALERT_DEFRAG");
  AppSettings settings;
  EXPECT_EQ(LastOptimizationText(settings, Texts), u"IDS_NOREGOPT_YET");
  settings.StrLatestRegDefrag = u"Wed. March 11, 2026. 09:30 AM";
  EXPECT_EQ(LastOptimizationText(settings, Texts), settings.StrLatestRegDefrag);
}

}  // namespace
}  // namespace hs
