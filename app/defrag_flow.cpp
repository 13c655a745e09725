#include "app/defrag_flow.h"

namespace hs {

DefragPageEntry OpenDefragPage(int major_version, bool administrator, Prompts& prompts, const StringLookup& strings) {
  if (major_version >= 6 && !administrator) return DefragPageEntry::kElevate;
  return prompts.Ask(strings(u"IDS_ALERT_DEFRAG"), PromptButtons::kYesNo, PromptIcon::kWarning) == PromptAnswer::kYes
             ? DefragPageEntry::kOpen
             : DefragPageEntry::kDeclined;
}

Text LastOptimizationText(const AppSettings& settings, const StringLookup& strings) {
  return settings.StrLatestRegDefrag.empty() ? strings(u"IDS_NOREGOPT_YET") : settings.StrLatestRegDefrag;
}

bool OptimizationPending(Registry& registry) {
  RegKey key = 0;
  if (registry.Open(kHkeyCurrentUser, kOptimizingKeyPath, kKeyRead, &key) != err::kSuccess) return false;
  RegValue v;
  const bool set = registry.QueryValue(key, kOptimizingValue, &v) == err::kSuccess && v.data == DwordData(1);
  registry.Close(key);
  return set;
}

OptimizeOutcome Optimize(DefragEnv& env, CRegCompact& engine) {
  OptimizeOutcome out;
  if (env.restore && !env.restore->CreatePoint(env.strings(u"AFX_IDS_APP_TITLE") + Text(kRestorePointSuffix)))
    env.log.LogLine(u"Optimize: no restore point was made");
  HiveInstaller installer({env.hives, env.prompts, env.log, env.strings, env.major_version, env.windows64});
  out.installed = installer.InstallBootCompaction(&out.restart_started);

  const DateTime now = env.clock.LocalTime();
  AnalysisSummary summary{engine.records, FormatSettingsTime(now), FormatLocaleDateTime(now)};
  out.summary_saved = SaveAnalysisSummary(env.fs, env.data_folder, summary);
  if (!out.summary_saved) env.log.LogLine(u"Optimize: the analysis summary could not be written");
  engine.DeleteCopies();
  if (WinError e = env.store.ApplyAfterCompactionStart(true, env.settings.StartWhenWinBoots != 0, env.start))
    env.log.LogLine(u"Optimize: the start after the restart was not registered, error " + ToText(e));
  RegKey key = 0;
  if (env.registry.Create(kHkeyCurrentUser, kOptimizingKeyPath, kKeyAllAccess, &key, nullptr) == err::kSuccess) {
    if (env.registry.SetValue(key, kOptimizingValue, kRegDword, DwordData(1)) != err::kSuccess)
      env.log.LogLine(u"Optimize: OPTIMIZING not written");
    env.registry.Close(key);
  }
  env.log.LogLine(u"PostQuitMessage : defrag optimize");
  return out;
}

AfterOptimization StartedAfterOptimization(DefragEnv& env) {
  AfterOptimization out;
  HiveInstaller installer({env.hives, env.prompts, env.log, env.strings, env.major_version, env.windows64});
  out.results = installer.ReadCompactionResults();
  out.hives = installer.results;
  if (out.results == 0 && LoadAnalysisSummary(env.fs, env.data_folder, &out.stored)) {
    out.summary_loaded = true;
    env.settings.StrLatestRegDefrag = out.stored.analysis_time;
    env.settings.StrLastOptimizeTime = out.stored.locale_time;
    if (env.store.SaveSettings(env.settings) != err::kSuccess) env.log.LogLine(u"Summary: the settings were not saved");
    out.summary = SummariseAfterRestart(out.stored.records, out.hives.size());
  }
  // The markers are one-shot.
  if (WinError e = env.store.ApplyAfterCompactionStart(false, env.settings.StartWhenWinBoots != 0, env.start))
    env.log.LogLine(u"Summary: the start entry was not switched back, error " + ToText(e));
  RegKey key = 0;
  if (env.registry.Open(kHkeyCurrentUser, kOptimizingKeyPath, kKeyAllAccess, &key) == err::kSuccess) {
    (void)env.registry.DeleteValue(key, kOptimizingValue);
    env.registry.Close(key);
  }
  return out;
}

}  // namespace hs
