// The defrag and bootcompact commands of the front end (see cli.h).
#include <cstdio>
#include <ostream>

#include "app/cli.h"
#include "app/data_folder.h"
#include "app/debug_log.h"
#include "app/defrag_flow.h"
#include "app/strings.h"
#include "defrag/boot_compact.h"

namespace hs {
namespace {

// Prints every message; Yes/No questions are answered No (the front end
// never restarts the computer).
class ConsolePrompts final : public Prompts {
 public:
  explicit ConsolePrompts(std::ostream& out) : out_(out) {}
  PromptAnswer Ask(TextView text, PromptButtons buttons, PromptIcon icon) override {
    out_ << (icon == PromptIcon::kError ? "error: " : "");
    for (const Text& line : Split(text, u'\n')) {
      const Text shown = !line.empty() && line.back() == u'\r' ? line.substr(0, line.size() - 1) : line;
      out_ << PrintableText(shown) << "\n";
    }
    if (buttons == PromptButtons::kOk) return PromptAnswer::kOk;
    out_ << "  (answered No)\n";
    return PromptAnswer::kNo;
  }

 private:
  std::ostream& out_;
};

class QuietProgress final : public AnalysisProgress {
 public:
  void SetRange(std::uint32_t) override {}
  void SetPosition(std::uint32_t) override {}
  void SetText(TextView) override {}
};

std::string Percent(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f%%", v);
  return buf;
}

void PrintAnalysis(const CRegCompact& engine, const AnalysisResults& results, std::ostream& out) {
  std::size_t row = 0;
  for (const HiveRecord& r : engine.records) {
    if (!r.saved) {
      out << PrintableText(r.hiveName) << "\n    not measured\n";
      continue;
    }
    const ResultRow& shown = results.rows.at(row++);
    out << PrintableText(r.hiveName) << "\n    " << PrintableText(shown.sizes) << " (" << r.fileSize << " -> "
        << r.compactSize << " bytes), " << PrintableText(shown.fragmentation) << "\n";
  }
  out << "Overall: " << Percent(results.overall) << " (" << results.total_gain << " of " << results.total_file
      << " bytes)\n";
}

}  // namespace

int RunDefrag(ScanPorts& ports, CliCommand command, std::ostream& out, std::ostream& err) {
  if (!ports.hives) {
    err << "hivesweep: this build cannot reach the registry hives\n";
    return kExitFailed;
  }
  DebugLog log(ports.fs, ports.clock, ports.folders);
  Text data_folder;
  if (!OpenDataFolder(ports, err, &data_folder)) return kExitFailed;
  StringTable strings(ports.program_ini, ports.program_fs, log, ports.program_folder, Text(), ports.language, [](TextView) {});
  const StringLookup lookup = [&strings](TextView key) { return strings.LookupString(key); };
  SettingsStore store(ports.registry, log);
  AppSettings settings;
  (void)store.LoadSettings(&settings);
  ConsolePrompts prompts(out);
  // The front end has no task scheduler: the start after the restart is
  // the Run entry on every version.
  StartEntryContext start{0, ports.program_path, lookup(u"AFX_IDS_APP_TITLE"), nullptr};
  DefragEnv env{*ports.hives, ports.registry,         ports.fs,
                data_folder,  ports.clock,            log,
                prompts,      ports.restore,          lookup,
                ports.system.MajorVersion(), ports.wow64.IsWow64Process(), store,
                settings,     start};

  if (command == CliCommand::kDefragSummary) {
    const AfterOptimization after = StartedAfterOptimization(env);
    switch (after.results) {
      case 0: out << "The boot-time compaction succeeded.\n"; break;
      case 1: out << "The boot-time compaction has not run yet.\n"; break;
      case 2: out << "The boot-time compaction reported a failure.\n"; break;
      case -1: out << "No compaction parameter file was found.\n"; break;
      default: out << "The compaction parameter file is unreadable.\n"; break;
    }
    for (const SHiveInfoResults& h : after.hives)
      out << PrintableText(h.name) << ": " << h.sizeBefore << " bytes before\n";
    if (after.summary_loaded) {
      for (const HiveRecord& r : after.stored.records) {
        std::uint64_t now = 0;
        const bool have = ports.hives->FileSize(r.filePath, &now) == err::kSuccess;
        out << PrintableText(r.hiveName) << ": " << r.fileSize << " bytes when analysed, " << r.compactSize
            << " compact, " << (have ? std::to_string(now) : std::string("?")) << " now\n";
      }
      out << "Hives: " << after.summary.hives << "\nBefore: " << PrintableText(HiveSizeText(after.summary.total_before))
          << "\nGained: " << PrintableText(HiveSizeText(after.summary.total_gained))
          << "\nRemaining: " << Percent(after.summary.remaining_percent) << "\n";
      out << "Last optimisation: " << PrintableText(settings.StrLatestRegDefrag) << "\n";
    }
    return after.results == 0 ? kExitOk : kExitFailed;
  }

  CRegCompact engine(*ports.hives, ports.clock, log);
  QuietProgress progress;
  out << "Analysing the registry hives (about a second each)\n";
  engine.AnalyseHives(progress, lookup);
  if (engine.count == 0) {
    err << "hivesweep: no hive was analysed (the privileges or the hive list are missing)\n";
    return kExitFailed;
  }
  const std::uint32_t days = DaysSinceLastOptimize(settings.StrLastOptimizeTime, ports.clock.LocalTime());
  const AnalysisResults results = ShowResults(&engine.records, days, lookup);
  PrintAnalysis(engine, results, out);
  if (results.not_required) {
    out << PrintableText(lookup(u"IDS_REG_OPT_NOT_REQ")) << "\n";
    engine.DeleteCopies();
    return kExitOk;
  }
  out << "Optimisation is recommended.\n";
  if (command == CliCommand::kDefragAnalyze) return kExitOk;

  const OptimizeOutcome o = Optimize(env, engine);
  if (!o.installed) {
    err << "hivesweep: the compaction was not scheduled\n";
    return kExitFailed;
  }
  out << "The compaction is scheduled for the next restart.\n";
  RegValue boot;
  if (ports.hives->ReadBootExecute(&boot) == err::kSuccess) {
    out << "BootExecute:";
    const std::vector<Text> entries = MultiStringEntries(boot.data);
    for (std::size_t i = 0; i < entries.size(); ++i) out << (i ? " | " : " ") << PrintableText(entries[i]);
    out << "\n";
  }
  return o.summary_saved ? kExitOk : kExitFailed;
}

int RunBootCompact(ScanPorts& ports, std::ostream& out, std::ostream& err) {
  if (!ports.hives || !ports.compactor) {
    err << "hivesweep: the boot-time step works on machine folders only\n";
    return kExitFailed;
  }
  const BootCompactionOutcome r = RunBootCompaction(*ports.hives, *ports.compactor);
  for (const Text& line : r.lines) (r.ran ? out : err) << PrintableText(line) << "\n";
  if (!r.ran) return kExitFailed;
  out << "Status " << r.status << (r.status == kCompactionSucceeded ? " (every hive compacted)\n" : " (failed)\n");
  return r.status == kCompactionSucceeded ? kExitOk : kExitFailed;
}

}  // namespace hs
