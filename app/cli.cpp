#include "app/cli.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "app/backup_catalogue.h"
#include "app/data_folder.h"
#include "app/debug_log.h"
#include "app/repair.h"
#include "app/settings.h"
#include "app/strings.h"
#include "areas/areas.h"
#include "areas/safe_lists.h"
#include "areas/user_lists.h"
#include "backup/full_backup.h"
#include "backup/restore_point.h"
#include "backup/undo_backup.h"
#include "engine/file_reference.h"
#include "engine/results_file.h"
#include "engine/scan_log.h"
#include "engine/scan_manager.h"
#include "platform/callback_notifier.h"
#include "platform/recording_shell_open.h"

namespace hs {

namespace {

// Longest text of one problem field that is printed; the rest is elided.
constexpr std::size_t kMaxPrintedChars = 1024;

bool TakeValue(const std::vector<std::string>& args, std::size_t* i, const std::string& name, std::string* value,
               std::string* error) {
  const std::string& arg = args[*i];
  std::string v;
  if (arg.size() > name.size() && arg[name.size()] == '=') {
    v = arg.substr(name.size() + 1);
  } else if (*i + 1 < args.size() && args[*i + 1].rfind("--", 0) != 0) {
    v = args[++*i];
  }
  if (v.empty()) {
    *error = name + " needs a value";
    return false;
  }
  if (!value->empty()) {
    *error = name + " is given twice";
    return false;
  }
  *value = v;
  return true;
}

bool IsOption(const std::string& arg, const char* name) {
  const std::size_t n = std::char_traits<char>::length(name);
  return arg.compare(0, n, name) == 0 && (arg.size() == n || arg[n] == '=');
}

}  // namespace

std::string CliUsage() {
  std::string u =
      "usage:\n"
      "  hivesweep scan [--machine DIR] [--data DIR] [--areas MASK] [--lang CODE]\n"
      "      Scans the ticked areas (or those of MASK) and prints a summary and the\n"
      "      problems per area; writes results.hsw, HSWscanlog.xml and the day's\n"
      "      log into the data folder. The registry is only read.\n"
      "      Linux: the machine folder DIR (default samples/demo-machine); data\n"
      "      folder default $XDG_DATA_HOME/hivesweep, else ~/.local/share/hivesweep.\n"
      "      Windows: the live registry; data folder default the program's own.\n"
      "  hivesweep repair [--machine DIR] [--data DIR] [--areas MASK] [--all] [--lang CODE]\n"
      "      Repairs the problems of the last scan's results that are selected there\n"
      "      (all of them with --all), backing every change up in an undo set first.\n"
      "  hivesweep backup [--machine DIR] [--data DIR]\n"
      "      Takes a full backup of the registry into the data folder.\n"
      "  hivesweep backups [--machine DIR] [--data DIR]\n"
      "      Lists the full backups, then the undo sets, newest first, numbered from 1.\n"
      "  hivesweep restore FILE [--machine DIR] [--data DIR]\n"
      "      Restores a full backup (a file name of the data folder, or a path),\n"
      "      after checking that the file is whole.\n"
      "  hivesweep delete-backup FILE | --undo N [--machine DIR] [--data DIR]\n"
      "      Deletes a full backup, or undo set N with its archive.\n"
      "  hivesweep undo N [--machine DIR] [--data DIR]\n"
      "      Undoes undo set N of that list.\n"
      "      Linux: repair, undo and restore change the machine's registry as kept in\n"
      "      the data folder (machine-registry.reg); the machine folder is never\n"
      "      written. A repair first keeps a restore point (at most one a day) there.\n"
      "  hivesweep gui [--machine DIR] [--data DIR] [--port N] [--no-browser] [--lang CODE]\n"
      "      Linux: serves the program's pages on 127.0.0.1 (port N, default any\n"
      "      free one) under an address with a random token, prints it and opens\n"
      "      it in the desktop's browser (not with --no-browser). Scans and repairs\n"
      "      work on the machine folder as the commands above do.\n"
      "      --lang CODE (scan, repair, gui): the texts of that language (en, de, fr,\n"
      "      ja, ru, zhcn, ... as the language list names them); default en.\n"
      "  hivesweep defrag analyze|optimize|summary [--machine DIR] [--data DIR]\n"
      "      analyze: saves a compact copy of each analysed hive (SAM, SECURITY and\n"
      "      the users' hives) and prints its file size, compact size and\n"
      "      fragmentation, the overall figure and whether optimisation is needed.\n"
      "      optimize: analyses, then (when needed) schedules the compaction of the\n"
      "      hives at the next restart; it never restarts anything itself.\n"
      "      summary: after the restart, reads the compaction results back, prints\n"
      "      the summary and clears the markers of the scheduled compaction.\n"
      "  hivesweep bootcompact [--machine DIR] [--data DIR]\n"
      "      Linux: plays the boot-time program on the machine folder: compacts the\n"
      "      hive files listed in the parameter file and writes the results back.\n"
      "  hivesweep update-check [--endpoint URL] [--machine DIR] [--data DIR]\n"
      "      Asks the update service (URL, else the setting UpdateEndpoint, else the\n"
      "      product's address) and prints the own version, the answer and what the\n"
      "      program would do: nothing, open the page, or download, verify and start\n"
      "      the installer. Runs nothing; writes only the answer file.\n"
      "  hivesweep schedule list [--machine DIR] [--data DIR]\n"
      "      The scheduled tasks: each work item with its program, arguments and\n"
      "      triggers, and the task started at logon (Linux: the machine folder's\n"
      "      tasks.txt, as changed in the data folder's machine-tasks.txt).\n"
      "  hivesweep show [--machine DIR]\n"
      "      Registry contents per root and view (Windows: the live registry).\n"
      "  hivesweep regcheck [--view 32|64] FILE.reg...\n"
      "      Loads .reg files into the registry store, saves it back and compares\n"
      "      every key, value, type and data.\n"
      "  hivesweep regcompare [--ignore KEY]... A.reg B.reg\n"
      "      Compares two registry export files without regard to order: every\n"
      "      key, value, type and data (keys below an ignored KEY left out; \"*\"\n"
      "      in KEY stands for any one key name).\n"
      "  hivesweep --help\n"
      "\n"
      "MASK is decimal or 0x-prefixed hexadecimal, the sum of area bits:\n";
  for (const AreaInfo& a : kAreas) {
    char line[64];
    std::snprintf(line, sizeof line, "  0x%04X %s\n", static_cast<unsigned>(a.bit), a.class_name);
    u += line;
  }
  u += "\nExit codes: 0 done, 1 an input unreadable or an output unwritable, 2 bad arguments.\n";
  return u;
}

bool ParseAreaMask(std::string_view text, std::uint32_t* mask) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty() || text.size() > 8) return false;
  std::uint32_t v = 0;
  for (char c : text) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    v = v * base + d;
  }
  if (v == 0 || (v & ~kAllAreasMask) != 0) return false;
  *mask = v;
  return true;
}

bool ParseCliArguments(const std::vector<std::string>& args, CliArguments* out, std::string* error) {
  *out = CliArguments{};
  if (args.empty()) {
    *error = "no command given";
    return false;
  }
  const std::string& cmd = args[0];
  if (cmd == "help") return true;
  for (const std::string& a : args)
    if (a == "--help" || a == "-h") return true;
  if (cmd == "show") out->command = CliCommand::kShow;
  else if (cmd == "regcheck") out->command = CliCommand::kRegCheck;
  else if (cmd == "scan") out->command = CliCommand::kScan;
  else if (cmd == "repair") out->command = CliCommand::kRepair;
  else if (cmd == "undo") out->command = CliCommand::kUndo;
  else if (cmd == "backups") out->command = CliCommand::kBackups;
  else if (cmd == "regcompare") out->command = CliCommand::kRegCompare;
  else if (cmd == "backup") out->command = CliCommand::kBackup;
  else if (cmd == "restore") out->command = CliCommand::kRestore;
  else if (cmd == "delete-backup") out->command = CliCommand::kDeleteBackup;
  else if (cmd == "gui") out->command = CliCommand::kGui;
  else if (cmd == "bootcompact") out->command = CliCommand::kBootCompact;
  else if (cmd == "update-check") out->command = CliCommand::kUpdateCheck;
  else if (cmd == "defrag") {
    const std::string sub = args.size() > 1 ? args[1] : "";
    if (sub == "analyze") out->command = CliCommand::kDefragAnalyze;
    else if (sub == "optimize") out->command = CliCommand::kDefragOptimize;
    else if (sub == "summary") out->command = CliCommand::kDefragSummary;
    else {
      *error = "defrag needs analyze, optimize or summary";
      return false;
    }
  } else if (cmd == "schedule") {
    if ((args.size() > 1 ? args[1] : "") != "list") {
      *error = "schedule needs list";
      return false;
    }
    out->command = CliCommand::kScheduleList;
  } else {
    *error = "unknown command \"" + cmd + "\"";
    return false;
  }
  std::string areas, view, port, lang;
  const bool defrag = out->command == CliCommand::kDefragAnalyze || out->command == CliCommand::kDefragOptimize ||
                      out->command == CliCommand::kDefragSummary;
  const bool schedule = out->command == CliCommand::kScheduleList;
  for (std::size_t i = defrag || schedule ? 2 : 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool scan = out->command == CliCommand::kScan || out->command == CliCommand::kRepair;
    const bool regcompare = out->command == CliCommand::kRegCompare;
    const bool regcheck = out->command == CliCommand::kRegCheck || regcompare;
    const bool backup = out->command == CliCommand::kBackup || out->command == CliCommand::kRestore ||
                        out->command == CliCommand::kDeleteBackup;
    const bool gui = out->command == CliCommand::kGui;
    const bool undo =
        out->command == CliCommand::kUndo || out->command == CliCommand::kBackups || backup || gui || defrag ||
        out->command == CliCommand::kBootCompact || out->command == CliCommand::kUpdateCheck || schedule;
    const bool takes_file = out->command == CliCommand::kRestore || out->command == CliCommand::kDeleteBackup;
    const auto is_number = [](const std::string& t) {
      return !t.empty() && t.size() <= 6 && t.find_first_not_of("0123456789") == std::string::npos && std::stoi(t) > 0;
    };
    bool ok = true;
    if (!regcheck && IsOption(a, "--machine")) ok = TakeValue(args, &i, "--machine", &out->machine, error);
    else if ((scan || undo) && IsOption(a, "--data")) ok = TakeValue(args, &i, "--data", &out->data, error);
    else if (out->command == CliCommand::kRepair && a == "--all") out->all = true;
    else if (out->command == CliCommand::kUndo && out->undo_number == 0 && is_number(a))
      out->undo_number = std::stoi(a);
    else if (out->command == CliCommand::kDeleteBackup && a == "--undo" && out->undo_number == 0 &&
             i + 1 < args.size() && is_number(args[i + 1]))
      out->undo_number = std::stoi(args[++i]);
    else if (takes_file && out->file.empty() && !a.empty() && a[0] != '-') out->file = a;
    else if (scan && IsOption(a, "--areas")) ok = TakeValue(args, &i, "--areas", &areas, error);
    else if (gui && a == "--no-browser") out->no_browser = true;
    else if ((scan || gui) && IsOption(a, "--lang")) ok = TakeValue(args, &i, "--lang", &lang, error);
    else if (out->command == CliCommand::kUpdateCheck && IsOption(a, "--endpoint"))
      ok = TakeValue(args, &i, "--endpoint", &out->endpoint, error);
    else if (gui && IsOption(a, "--port")) ok = TakeValue(args, &i, "--port", &port, error);
    else if (regcompare && IsOption(a, "--ignore")) {
      std::string key;
      ok = TakeValue(args, &i, "--ignore", &key, error);
      out->ignore.push_back(key);
    } else if (regcheck && !regcompare && IsOption(a, "--view")) ok = TakeValue(args, &i, "--view", &view, error);
    else if (regcheck && a.rfind("--", 0) != 0) out->files.push_back(a);
    else {
      *error = (a.rfind("-", 0) == 0 ? "unknown option \"" : "unexpected argument \"") + a + "\" for " + cmd;
      return false;
    }
    if (!ok) return false;
  }
  if (!areas.empty()) {
    std::uint32_t mask = 0;
    if (!ParseAreaMask(areas, &mask)) {
      *error = "--areas: \"" + areas + "\" is not a mask of area bits (1 to 0x3FFF)";
      return false;
    }
    out->areas = mask;
  }
  if (!lang.empty()) {
    out->language = -1;
    for (int i = 0; i < kLanguageCount; ++i)
      if (ToUtf8(Text(LanguageRecord(i).code)) == lang) out->language = i;
    if (out->language < 0) {
      *error = "--lang: \"" + lang + "\" is not a language code (en, zhtw, da, nl, fr, de, it, ja, no, ptbr, es, sv, "
               "fi, pt, ru, el, tr, pl, ko, zhcn)";
      return false;
    }
  }
  if (!port.empty()) {
    const bool digits = port.size() <= 5 && port.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || std::stoi(port) < 1 || std::stoi(port) > 65535) {
      *error = "--port: a number from 1 to 65535, not \"" + port + "\"";
      return false;
    }
    out->port = std::stoi(port);
  }
  if (!view.empty()) {
    if (view != "32" && view != "64") {
      *error = "--view: 32 or 64, not \"" + view + "\"";
      return false;
    }
    out->view32 = view == "32";
  }
  if (out->command == CliCommand::kUndo && out->undo_number == 0) {
    *error = "undo needs the number of an undo set (see hivesweep backups)";
    return false;
  }
  if (out->command == CliCommand::kRestore && out->file.empty()) {
    *error = "restore needs the full backup to restore (see hivesweep backups)";
    return false;
  }
  if (out->command == CliCommand::kDeleteBackup && out->file.empty() == (out->undo_number == 0)) {
    *error = "delete-backup needs either a full backup FILE or --undo N";
    return false;
  }
  if (out->command == CliCommand::kRegCompare && out->files.size() != 2) {
    *error = "regcompare needs two .reg files";
    return false;
  }
  if (out->command == CliCommand::kRegCheck && out->files.empty()) {
    *error = "regcheck needs at least one .reg file";
    return false;
  }
  return true;
}

std::string PrintableText(TextView text) {
  Text shown;
  const bool cut = text.size() > kMaxPrintedChars;
  for (char16_t c : cut ? text.substr(0, kMaxPrintedChars) : text) {
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029) {
      static const char kHex[] = "0123456789abcdef";
      shown += u"\\x";
      if (c > 0xFF) {
        shown += static_cast<char16_t>(kHex[c >> 12]);
        shown += static_cast<char16_t>(kHex[(c >> 8) & 15]);
      }
      shown += static_cast<char16_t>(kHex[(c >> 4) & 15]);
      shown += static_cast<char16_t>(kHex[c & 15]);
    } else {
      shown += c;
    }
  }
  if (cut) shown += u"...";
  return ToUtf8(shown);
}

// A list file that exists but cannot be read now (sharing violation, access
// denied): a run without the user's entries would report or repair what the
// user excluded, so it does not start.
bool ListsReadable(std::initializer_list<const UserList*> lists, const std::string& data_display, std::ostream& err) {
  for (const UserList* list : lists) {
    if (list->unreadable_error() == err::kSuccess) continue;
    err << "hivesweep: cannot read " << ToUtf8(list->file_name()) << " in " << data_display << " ("
        << ToUtf8(ErrorText(list->unreadable_error())) << ")\n";
    return false;
  }
  return true;
}

int RunScan(ScanPorts& ports, const ScanOptions& options, std::ostream& out, std::ostream& err) {
  DebugLog log(ports.fs, ports.clock, ports.folders);
  Text data_folder;
  if (WinError e = EnsureDataFolder(ports.folders, ports.fs, &data_folder)) {
    err << "hivesweep: cannot create the data folder " << options.data_display << " ("
        << ToUtf8(ErrorText(e)) << ")\n";
    return kExitFailed;
  }

  // English texts from the language file; without it, class names.
  bool texts_missing = false;
  StringTable strings(ports.program_ini, ports.program_fs, log, ports.program_folder, Text(), ports.language,
                      [&texts_missing](TextView) { texts_missing = true; });
  const StringLookup lookup = [&strings](TextView key) { return strings.LookupString(key); };

  SafeLists safe_lists(ports.folders);
  UserList exclusions(UserListKind::kExclusion), temp_ignore(UserListKind::kTempIgnore);
  (void)exclusions.Load(ports.fs, data_folder, log);
  (void)temp_ignore.Load(ports.fs, data_folder, log);
  if (!ListsReadable({&exclusions, &temp_ignore}, options.data_display, err)) return kExitFailed;

  SettingsStore settings(ports.registry, log);
  const std::uint32_t ticked = options.areas ? *options.areas : ReadSelectedCategories(settings) & kAllAreasMask;
  if (ticked == 0) {
    err << "hivesweep: no scan area is ticked in the settings; choose some with --areas\n";
    return kExitFailed;
  }

  // The worker reports on its own thread; a watcher sees the area started
  // last and each progress item.
  ScanManager* watched = nullptr;
  std::uint32_t current_area = 0;
  CallbackNotifier notifier([&](const CallbackNotifier::Message& m) {
    if (!options.watcher || !watched) return;
    if (m.message == kMsgAreaStart && m.lparam == 1) current_area = static_cast<std::uint32_t>(m.wparam);
    if (m.message == kMsgProgressItem && options.watcher(watched->ProgressText(), current_area, *watched))
      watched->Cancel();
  });
  ScanContext context{ports.registry, ports.wow64, ports.system, ports.protection, notifier, log};
  context.safe_lists = &safe_lists;
  context.exclusions = &exclusions;
  context.temp_ignore = &temp_ignore;
  context.strings = lookup;
  context.shell = &ports.shell;
  context.folders = &ports.folders;
  context.fs = &ports.fs;
  context.links = ports.links;
  context.selected_categories = ticked;
  context.skip_empty_keys = settings.ReadDword(u"SetChkSkipEmptyKeys", 1) != 0;
  ScanManager manager(context, CreateArea);
  watched = &manager;
  if (options.watcher) {
    constexpr WindowTarget kWatcherWindow = 1;
    notifier.Open(kWatcherWindow);
    manager.set_main_window(kWatcherWindow);
    manager.set_notify_window(kWatcherWindow);
  }
  FileReferences refs(ports.shell, manager.reg(), &safe_lists, manager.system_folder(), manager.system_folder32());
  refs.set_skip_removable_media(settings.ReadDword(u"SetChkREmovableMedia", 1) != 0);
  context.file_refs = &refs;

  // The groups of the ticked areas are created, the ticked ones run.
  std::uint32_t mask = 0;
  int count = 0;
  for (std::size_t g = 0; g < kGroupMasks.size(); ++g) {
    if ((ticked & kGroupMasks[g]) == 0) continue;
    mask |= kGroupMasks[g];
    count += kGroupCounts[g];
  }
  out << "Scanning " << options.source << "\n";
  log.LogLine(u"Command-line scan started");
  manager.CreateAreas(mask, count);
  if (!manager.StartScan()) {
    err << "hivesweep: the scan could not start\n";
    return kExitFailed;
  }
  manager.JoinWorker();
  const std::size_t total = manager.TotalProblems();
  log.LogLine(u"Command-line scan finished: " + ToText(static_cast<std::int64_t>(total)) + u" problems found");

  auto area_name = [&](const AreaInfo& a) {
    const Text name = lookup(a.name_key);
    return name.empty() ? std::string(a.class_name) : PrintableText(name);
  };
  out << "\n";
  char line[160];
  for (const AreaInfo& a : kAreas) {
    if ((ticked & a.bit) == 0) continue;
    const CCategory* area = manager.AreaByBit(a.bit);
    std::snprintf(line, sizeof line, "  %-32s %6zu\n", area_name(a).c_str(), area ? area->Count() : std::size_t{0});
    out << line;
  }
  std::snprintf(line, sizeof line, "  %-32s %6zu\n", "Total", total);
  out << line;

  for (const AreaInfo& a : kAreas) {
    const CCategory* area = manager.AreaByBit(a.bit);
    if ((ticked & a.bit) == 0 || !area || area->Count() == 0) continue;
    out << "\n" << area_name(a) << " (" << area->Count() << ")\n";
    for (const auto& p : area->problems()) {
      // Shortcut problems carry no key: their shortcut file stands there.
      const TextView where = p->key.empty() ? TextView(p->Detail(1)) : TextView(p->key);
      out << "  " << PrintableText(where) << (p->entry32 ? "  [32-bit]" : "") << "\n";
      if (!p->value_name.empty()) out << "    value: " << PrintableText(p->value_name) << "\n";
      if (!p->value_data.empty()) out << "    data:  " << PrintableText(p->value_data) << "\n";
      if (!p->Detail(0).empty()) out << "    " << PrintableText(p->Detail(0)) << "\n";
    }
  }
  if (texts_missing) {
    err << "hivesweep: warning: no texts in " << ToUtf8(strings.language_file())
        << "; area names are class names\n";
  }

  // The results file, then the scan log (which is not opened here).
  int code = kExitOk;
  if (WinError e = SaveProblemsToDisk(manager, ports.fs, data_folder, log)) {
    err << "hivesweep: cannot write " << ToUtf8(kResultsFileName) << " in " << options.data_display << " ("
        << ToUtf8(ErrorText(e)) << ")\n";
    code = kExitFailed;
  }
  ScanLogInfo info;
  info.version = Text(kProgramVersion);
  info.last_scan = FormatSettingsTime(ports.clock.LocalTime());
  info.last_scan_results = static_cast<std::int32_t>(std::min<std::size_t>(total, INT32_MAX));
  RecordingShellOpen no_viewer;
  const ScanLogResult exported =
      ExportScanLog(manager, info, lookup, data_folder, ports.xml, no_viewer,
                    [&err](std::string_view l) { err << "hivesweep: scan log: " << l << "\n"; });
  if (exported.failed_steps > 0) {
    err << "hivesweep: cannot write " << ToUtf8(kScanLogFileName) << " in " << options.data_display << "\n";
    code = kExitFailed;
  }
  if (code == kExitOk) {
    out << "\nResults: " << options.data_display << " (" << ToUtf8(kResultsFileName) << ", "
        << ToUtf8(kScanLogFileName) << ")\n";
  }
  manager.DestroyAreas();
  return code;
}

namespace {

// The undo layer's environment for the front end.
UndoEnv MakeUndoEnv(ScanPorts& ports, Log& log, const Text& data_folder, const StringLookup& lookup,
                    std::ostream& err) {
  UndoEnv env{ports.registry, ports.fs, *ports.editor, ports.clock, log};
  env.windows64 = ports.wow64.IsWow64Process();
  env.is_admin = ports.system.IsAdministrator();
  env.data_folder = data_folder;
  env.strings = lookup;
  env.show_message = [&err](TextView text) { err << "hivesweep: " << PrintableText(text) << "\n"; };
  return env;
}

// A set's or backup's time as the lists show it (local time).
std::string ListTime(Clock& clock, std::int64_t seconds) { return ToUtf8(FormatBackupDate(clock.LocalTimeOf(seconds))); }

}  // namespace

bool OpenDataFolder(ScanPorts& ports, std::ostream& err, Text* data_folder) {
  if (WinError e = EnsureDataFolder(ports.folders, ports.fs, data_folder)) {
    err << "hivesweep: cannot create the data folder (" << ToUtf8(ErrorText(e)) << ")\n";
    return false;
  }
  return true;
}

int RunRepair(ScanPorts& ports, const ScanOptions& options, bool all, std::ostream& out, std::ostream& err) {
  if (!ports.editor || !ports.recycle_bin || !ports.history) return kExitFailed;
  DebugLog log(ports.fs, ports.clock, ports.folders);
  Text data_folder;
  if (WinError e = EnsureDataFolder(ports.folders, ports.fs, &data_folder)) {
    err << "hivesweep: cannot create the data folder " << options.data_display << " (" << ToUtf8(ErrorText(e))
        << ")\n";
    return kExitFailed;
  }
  StringTable strings(ports.program_ini, ports.program_fs, log, ports.program_folder, Text(), ports.language, [](TextView) {});
  const StringLookup lookup = [&strings](TextView key) { return strings.LookupString(key); };
  UndoEnv undo = MakeUndoEnv(ports, log, data_folder, lookup, err);
  if (const std::size_t n = RecoverInterruptedUndoSets(undo)) {
    out << "Completed " << n << " undo set(s) of an interrupted repair\n";
  }
  UserList exclusions(UserListKind::kExclusion), temp_ignore(UserListKind::kTempIgnore);
  (void)exclusions.Load(ports.fs, data_folder, log);
  (void)temp_ignore.Load(ports.fs, data_folder, log);
  if (!ListsReadable({&exclusions, &temp_ignore}, options.data_display, err)) return kExitFailed;
  undo.exclusions = &exclusions;
  SettingsStore settings_store(ports.registry, log);
  AppSettings settings;
  (void)settings_store.LoadSettings(&settings);
  settings.RegErrsFixedLast = 0;
  undo.partial_backup_saved = [&] {
    settings.StrLatestRestorePoint =
        FormatSettingsTime(ports.clock.LocalTime()) + u" " + lookup(u"IDS_STR_PARTIAL_BACKUP");
    (void)settings_store.SaveSettings(settings);
  };

  CallbackNotifier notifier([](const CallbackNotifier::Message&) {});
  ScanContext context{ports.registry, ports.wow64, ports.system, ports.protection, notifier, log};
  context.exclusions = &exclusions;
  context.temp_ignore = &temp_ignore;
  context.strings = lookup;
  ScanManager manager(context, CreateArea);
  const LoadedResults loaded = LoadProblemsFromDisk(manager, ports.fs, data_folder, log);
  if (loaded.status == ResultsLoad::kUnreadable) {
    err << "hivesweep: cannot read " << ToUtf8(kResultsFileName) << " in " << options.data_display << " ("
        << ToUtf8(ErrorText(manager.results_unreadable())) << ")\n";
    return kExitFailed;
  }
  if (loaded.status != ResultsLoad::kLoaded) {
    err << "hivesweep: no results of a scan in " << options.data_display << "; run hivesweep scan first\n";
    return kExitFailed;
  }
  std::size_t chosen = 0;
  for (const AreaInfo& a : kAreas) {
    CCategory* area = manager.AreaByBit(a.bit);
    if (!area) continue;
    for (auto& p : area->problems()) {
      if (options.areas && (*options.areas & a.bit) == 0) p->selected = 0;
      else if (all) p->selected = 1;
      chosen += p->selected == 1 ? 1 : 0;
    }
  }
  out << "Repairing " << chosen << " of " << manager.TotalProblems() << " problems in " << options.source << "\n";
  NullRepairProgress progress;
  RepairEnv env{manager, undo, settings_store, settings, progress, *ports.history, *ports.recycle_bin, ports.fs,
                data_folder};
  if (ports.restore) {
    env.create_restore_point = [&] {
      RestorePointEnv rp{ports.registry, *ports.restore, ports.clock, log, lookup(u"AFX_IDS_APP_TITLE")};
      bool due = true;
      const bool made = CreateSystemRestorePoint(rp, u"", &due);
      out << (!due ? "Restore point: the last one is less than a day old\n"
              : made ? "Restore point made\n"
                     : "No restore point could be made; the repair goes on\n");
      return made;
    };
  }
  RepairRun run(env);
  if (!run.Start()) {
    err << "hivesweep: a repair is already running\n";
    return kExitFailed;
  }
  run.Join();
  // Counted before the end of the run moves what is left to the temporary
  // ignore list.
  const std::size_t left = manager.SelectedProblems();
  (void)run.Finish(!run.stopped());
  out << "Repaired " << (chosen - std::min(chosen, left)) << " problems; " << left
      << " could not be repaired and stay in the results\n";
  int code = left == 0 ? kExitOk : kExitFailed;
  if (exclusions.Save(ports.fs, data_folder, log) != err::kSuccess ||
      temp_ignore.Save(ports.fs, data_folder, log) != err::kSuccess) {
    err << "hivesweep: cannot save the lists in " << options.data_display << "\n";
    code = kExitFailed;
  }
  if (!run.saved()) {
    err << "hivesweep: the undo set or the results could not be saved completely; see the log\n";
    code = kExitFailed;
  }
  if (!run.undo_record().empty()) {
    const auto sets = ListUndoSets(undo);
    for (std::size_t i = 0; i < sets.size(); ++i) {
      if (sets[i].record_path != run.undo_record()) continue;
      out << "Undo set: " << PrintableText(sets[i].record_path) << " (hivesweep undo " << (i + 1) << ")\n";
    }
  }
  manager.DestroyAreas();
  return code;
}

int RunBackups(ScanPorts& ports, std::ostream& out, std::ostream& err) {
  if (!ports.editor) return kExitFailed;
  DebugLog log(ports.fs, ports.clock, ports.folders);
  Text data_folder;
  if (!OpenDataFolder(ports, err, &data_folder)) return kExitFailed;
  UndoEnv undo = MakeUndoEnv(ports, log, data_folder, [](TextView) { return Text(); }, err);
  if (const std::size_t n = RecoverInterruptedUndoSets(undo)) {
    out << "Completed " << n << " undo set(s) of an interrupted repair\n";
  }
  out << "Full backups:\n";
  const auto full = ListFullBackups(ports.fs, data_folder);
  if (full.empty()) out << "  none\n";
  for (const FullBackupEntry& b : full) {
    char line[40];
    std::snprintf(line, sizeof line, "  %-28s ", b.dated ? ListTime(ports.clock, b.seconds).c_str() : "(no date)");
    out << line << PrintableText(b.name) << "\n";
  }
  out << "Undo sets:\n";
  const auto sets = ListUndoSets(undo);
  if (sets.empty()) out << "  none\n";
  for (std::size_t i = 0; i < sets.size(); ++i) {
    out << "  " << (i + 1) << "  " << ListTime(ports.clock, sets[i].changed) << "  " << PrintableText(sets[i].title) << "  "
        << sets[i].operations << " file(s)" << (sets[i].archive_present ? "" : "  [archive missing]") << "  "
        << PrintableText(sets[i].record_path) << "\n";
  }
  if (ports.kept_restore_points) {
    const auto points = ports.kept_restore_points->List();
    if (!points.empty()) out << "Restore points:\n";
    for (const auto& p : points) {
      out << "  " << ListTime(ports.clock, p.seconds) << "  "
          << PrintableText(p.description) << "  " << PrintableText(p.path) << "\n";
    }
  }
  return kExitOk;
}

int RunUndo(ScanPorts& ports, int number, std::ostream& out, std::ostream& err) {
  if (!ports.editor) return kExitFailed;
  DebugLog log(ports.fs, ports.clock, ports.folders);
  Text data_folder;
  if (!OpenDataFolder(ports, err, &data_folder)) return kExitFailed;
  StringTable strings(ports.program_ini, ports.program_fs, log, ports.program_folder, Text(), ports.language, [](TextView) {});
  UndoEnv undo = MakeUndoEnv(ports, log, data_folder, [&strings](TextView key) { return strings.LookupString(key); },
                             err);
  (void)RecoverInterruptedUndoSets(undo);
  const auto sets = ListUndoSets(undo);
  if (number < 1 || static_cast<std::size_t>(number) > sets.size()) {
    err << "hivesweep: there is no undo set " << number << " (" << sets.size() << " listed by hivesweep backups)\n";
    return kExitFailed;
  }
  const UndoSetInfo& set = sets[static_cast<std::size_t>(number) - 1];
  out << "Undoing " << PrintableText(set.record_path) << " of " << ListTime(ports.clock, set.changed) << "\n";
  if (!UndoSetFromRecord(undo, set.record_path)) {
    err << "hivesweep: the undo set could not be undone completely; see the log\n";
    return kExitFailed;
  }
  out << "Undone\n";
  return kExitOk;
}

namespace {

FullBackupEnv MakeFullBackupEnv(ScanPorts& ports, Log& log, const Text& data_folder) {
  return FullBackupEnv{*ports.whole, ports.registry, ports.fs, ports.clock, log, data_folder,
                       ports.wow64.IsWow64Process()};
}

// A bare file name names a file of the data folder.
Text BackupPath(TextView file, const Text& data_folder) {
  if (file.find(u'\\') != TextView::npos || file.find(u'/') != TextView::npos || file.find(u':') != TextView::npos)
    return Text(file);
  return data_folder + u"\\" + Text(file);
}

}  // namespace

int RunFullBackup(ScanPorts& ports, const ScanOptions& options, std::ostream& out, std::ostream& err) {
  if (!ports.whole) return kExitFailed;
  DebugLog log(ports.fs, ports.clock, ports.folders);
  Text data_folder;
  if (!OpenDataFolder(ports, err, &data_folder)) return kExitFailed;
  out << "Backing up the whole registry\n";
  FullBackupEnv env = MakeFullBackupEnv(ports, log, data_folder);
  const FullBackupResult r = MakeFullBackup(env);
  if (r.status != FullBackupStatus::kOk) {
    err << "hivesweep: the full backup failed: " << PrintableText(r.detail) << "; no backup was kept\n";
    return kExitFailed;
  }
  StringTable strings(ports.program_ini, ports.program_fs, log, ports.program_folder, Text(), ports.language, [](TextView) {});
  SettingsStore settings_store(ports.registry, log);
  AppSettings settings;
  (void)settings_store.LoadSettings(&settings);
  settings.StrLatestRestorePoint = LatestSafetyCopyText(
      ports.clock, [&strings](TextView key) { return strings.LookupString(key); }, u"IDS_STR_FULLBACKUP");
  if (settings_store.SaveSettings(settings) != err::kSuccess)
    err << "hivesweep: warning: the time of the backup could not be recorded in the settings\n";
  const std::string& shown = options.data_display;
  const char separator = shown.find('\\') != std::string::npos ? '\\' : '/';
  out << "Full backup: " << (shown.empty() ? PrintableText(r.path) : shown + separator + PrintableText(r.path.substr(data_folder.size() + 1)))
      << "\n";
  return kExitOk;
}

int RunFullRestore(ScanPorts& ports, TextView file, std::ostream& out, std::ostream& err) {
  if (!ports.whole) return kExitFailed;
  DebugLog log(ports.fs, ports.clock, ports.folders);
  Text data_folder;
  if (!OpenDataFolder(ports, err, &data_folder)) return kExitFailed;
  const Text path = BackupPath(file, data_folder);
  out << "Restoring " << PrintableText(path) << "\n";
  FullBackupEnv env = MakeFullBackupEnv(ports, log, data_folder);
  const FullRestoreResult r = RestoreFullBackupFile(env, path);
  switch (r.status) {
    case FullRestoreStatus::kOk:
      out << "Restored " << r.keys << " keys; " << r.checked << " of them read back as the backup holds them\n";
      return kExitOk;
    case FullRestoreStatus::kMissing:
    case FullRestoreStatus::kDamaged:
      err << "hivesweep: " << PrintableText(r.detail) << "; nothing was restored\n";
      return kExitFailed;
    default:
      err << "hivesweep: the restore did not complete: " << PrintableText(r.detail) << "\n";
      return kExitFailed;
  }
}

int RunDeleteBackup(ScanPorts& ports, TextView file, int undo_number, std::ostream& out, std::ostream& err) {
  if (!ports.editor) return kExitFailed;
  DebugLog log(ports.fs, ports.clock, ports.folders);
  Text data_folder;
  if (!OpenDataFolder(ports, err, &data_folder)) return kExitFailed;
  if (!file.empty()) {
    const Text path = BackupPath(file, data_folder);
    const auto full = ListFullBackups(ports.fs, data_folder);
    if (std::none_of(full.begin(), full.end(), [&](const FullBackupEntry& b) { return Upcase(b.path) == Upcase(path); })) {
      err << "hivesweep: " << PrintableText(path) << " is not a full backup of the data folder\n";
      return kExitFailed;
    }
    if (WinError e = ports.fs.DeleteFile(path)) {
      err << "hivesweep: cannot delete " << PrintableText(path) << " (" << ToUtf8(ErrorText(e)) << ")\n";
      return kExitFailed;
    }
    log.LogLine(u"Full backup deleted: " + LogSafe(path));
    out << "Deleted " << PrintableText(path) << "\n";
    return kExitOk;
  }
  UndoEnv undo = MakeUndoEnv(ports, log, data_folder, [](TextView) { return Text(); }, err);
  (void)RecoverInterruptedUndoSets(undo);
  const auto sets = ListUndoSets(undo);
  if (undo_number < 1 || static_cast<std::size_t>(undo_number) > sets.size()) {
    err << "hivesweep: there is no undo set " << undo_number << " (" << sets.size() << " listed by hivesweep backups)\n";
    return kExitFailed;
  }
  const Text& record = sets[static_cast<std::size_t>(undo_number) - 1].record_path;
  if (!DeleteUndoSet(undo, record)) {
    err << "hivesweep: cannot delete the undo set " << PrintableText(record) << "; see the log\n";
    return kExitFailed;
  }
  out << "Deleted undo set " << PrintableText(record) << " and its archive\n";
  return kExitOk;
}

}  // namespace hs
