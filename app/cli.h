// The hivesweep command-line front end: its arguments, and the `scan`
// command over ports that the caller builds (natively a portable machine, in
// the win32 build the live system).
//
// Exit codes: 0 done (also when problems were found), 1 an input could not
// be read or an output not written, 2 a bad command line.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/hives.h"
#include "platform/http_client.h"
#include "platform/ini_reader.h"
#include "platform/key_protection.h"
#include "platform/recycle_bin.h"
#include "platform/reg_editor.h"
#include "platform/registry.h"
#include "platform/url_history.h"
#include "platform/shell_folders.h"
#include "platform/shell_links.h"
#include "platform/shell_paths.h"
#include "platform/portable_system_restore.h"
#include "platform/self_launcher.h"
#include "platform/system_info.h"
#include "platform/system_restore.h"
#include "platform/task_scheduler.h"
#include "platform/whole_registry_editor.h"
#include "platform/wow64.h"
#include "platform/xml_writer.h"

namespace hs {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// The version text the scan log carries (the build's project version).
inline constexpr TextView kProgramVersion = u"" HS_PROGRAM_VERSION;

enum class CliCommand {
  kHelp, kShow, kRegCheck, kScan, kRepair, kUndo, kBackups, kRegCompare, kBackup, kRestore, kDeleteBackup, kGui,
  kDefragAnalyze, kDefragOptimize, kDefragSummary, kBootCompact, kUpdateCheck, kScheduleList
};

struct CliArguments {
  CliCommand command = CliCommand::kHelp;
  std::string machine;                 // --machine DIR; empty: the default
  std::string data;                    // --data DIR; empty: the default
  std::optional<std::uint32_t> areas;  // --areas MASK; none: the ticked areas
  bool view32 = false;                 // regcheck --view 32
  std::vector<std::string> files;      // regcheck's files
  std::vector<std::string> ignore;     // regcompare --ignore KEY (repeatable)
  bool all = false;                    // repair --all
  int undo_number = 0;                 // undo N, delete-backup --undo N (1 = the newest set)
  std::string file;                    // restore FILE, delete-backup FILE
  int port = 0;                        // gui --port N; 0: any free port
  bool no_browser = false;             // gui --no-browser
  std::string endpoint;                // update-check --endpoint URL; empty: the setting, else the default
  int language = 0;                    // scan, repair, gui --lang CODE: index of the language table
};

// The usage text (ends with a line feed).
std::string CliUsage();

// Parses the arguments after the program name. False with *error (one line,
// no line feed) for an unknown command or option, a missing or repeated
// value, or an option the command does not take.
[[nodiscard]] bool ParseCliArguments(const std::vector<std::string>& args, CliArguments* out, std::string* error);

// An area mask: decimal or 0x-prefixed hexadecimal, 1 to 0x3FFF.
[[nodiscard]] bool ParseAreaMask(std::string_view text, std::uint32_t* mask);

// A text for the terminal: UTF-8, with control characters (which could move
// the cursor or forge lines) shown as \xNN.
std::string PrintableText(TextView text);

// What a scan runs on. Ports must outlive the call. The program's data
// folder is DataFolderPath(folders) in `fs` (created when missing); the
// language files lie in `program_folder` of `program_fs`.
struct ScanPorts {
  Registry& registry;
  Wow64& wow64;
  SystemInfo& system;
  KeyProtection& protection;
  FileSystem& fs;
  Clock& clock;
  ShellFolders& folders;
  ShellPaths& shell;
  XmlWriterFactory& xml;
  IniReader& program_ini;
  FileSystem& program_fs;
  Text program_folder;
  int language = 0;  // the index of the language table whose file the texts come from
  // For repair and undo; none: those commands cannot run.
  RegEditor* editor = nullptr;
  RecycleBin* recycle_bin = nullptr;
  UrlHistory* history = nullptr;
  ShellLinks* links = nullptr;  // none: shortcuts are not read
  // For full backups and restores; none: those commands cannot run.
  WholeRegistryEditor* whole = nullptr;
  // Restore points at the start of a repair; none: no restore point.
  SystemRestore* restore = nullptr;
  // Restore points kept as files (machine folders), listed by `backups`.
  PortableSystemRestore* kept_restore_points = nullptr;
  // Elevated restarts; none: the commands run as they are.
  SelfLauncher* launcher = nullptr;
  // Hive analysis and compaction; none: the defrag commands cannot run.
  Hives* hives = nullptr;
  // The boot-time step (machine folders only).
  HiveFileCompactor* compactor = nullptr;
  // The program's executable as the start after a restart names it.
  Text program_path = {};
  // The update check: the web client, an INI reader of `fs` and the
  // program's own version; no client: update-check cannot run.
  HttpClient* http = nullptr;
  IniReader* data_ini = nullptr;
  Text own_version = {};
  // The task scheduler; none: the schedule commands cannot run.
  TaskScheduler* scheduler = nullptr;
};

class ScanManager;

// Watches a scan on its worker thread: called for every progress item the
// scan reports (one in kProgressEvery), with the item's text and the area
// being scanned. Returning true cancels the scan (its results are kept).
using ScanWatcher = std::function<bool(TextView item, std::uint32_t area_bit, const ScanManager& manager)>;

struct ScanOptions {
  std::optional<std::uint32_t> areas;  // none: SelectedCategories of the registry's settings
  std::string source;                  // what is scanned, for the first line
  std::string data_display;            // the data folder as the user knows it
  ScanWatcher watcher;                 // none: nobody watches
};

// Scans the chosen areas on the worker of a ScanManager, as the program's
// unattended scan does, then writes results.hsw and HSWscanlog.xml into the
// data folder (the scan log is not opened in a viewer) and prints a summary
// per area and the problems of each. Reads the registry only: the settings,
// counters and lists stay as they are. Returns the exit code.
int RunScan(ScanPorts& ports, const ScanOptions& options, std::ostream& out, std::ostream& err);

// The program's data folder in ports.fs, created when missing; false after
// a line on `err` when it cannot be.
[[nodiscard]] bool OpenDataFolder(ScanPorts& ports, std::ostream& err, Text* data_folder);

// Repairs the problems of the last results (results.hsw): those selected
// there, or all with `all`, within the areas of options.areas when given.
// Every change is backed up in an undo set first. Saves the results, the
// settings counters and the lists. Exit 1 when some problem could not be
// repaired or an output could not be written.
int RunRepair(ScanPorts& ports, const ScanOptions& options, bool all, std::ostream& out, std::ostream& err);
// Lists the undo sets, newest first (completing interrupted ones first).
int RunBackups(ScanPorts& ports, std::ostream& out, std::ostream& err);
// Undoes set `number` of that list (1 = the newest).
int RunUndo(ScanPorts& ports, int number, std::ostream& out, std::ostream& err);
// Takes a full backup into the data folder and prints its path (in the data
// folder as options.data_display names it).
int RunFullBackup(ScanPorts& ports, const ScanOptions& options, std::ostream& out, std::ostream& err);
// Restores a full backup (a path, or a file name in the data folder),
// asking nothing.
int RunFullRestore(ScanPorts& ports, TextView file, std::ostream& out, std::ostream& err);
// Deletes a full backup, or (file empty) undo set `undo_number` with its
// archive.
int RunDeleteBackup(ScanPorts& ports, TextView file, int undo_number, std::ostream& out, std::ostream& err);

// `defrag analyze`: measures the hives and prints each with its file size,
// compact size and fragmentation, the overall figure and whether
// optimisation is required. `defrag optimize`: the same, then (when
// required) installs the boot-time compaction; the restart question is
// answered No. `defrag summary`: the start after the restart: reads the
// results back, prints the summary, clears the markers.
int RunDefrag(ScanPorts& ports, CliCommand command, std::ostream& out, std::ostream& err);
// `schedule list`: every work item with its program, arguments and
// triggers, and the logon task named after the application title.
int RunScheduleList(ScanPorts& ports, std::ostream& out, std::ostream& err);
// One trigger as the list shows it, e.g. "weekly from 2026-12-10 09:30,
// every 1 week on Mon, Fri".
std::string DescribeTrigger(const TaskTrigger& t);

// `bootcompact`: the boot-time step on a machine folder's hive files.
int RunBootCompact(ScanPorts& ports, std::ostream& out, std::ostream& err);

// `update-check`: asks the update service (`endpoint`, else the settings
// value UpdateEndpoint, else the product's address) and prints the own
// version, the request, the answer and what the program would do with it.
// Downloads and starts nothing; only the answer file is written into the
// data folder, as the program's check does. Exit 1 when no answer came.
int RunUpdateCheck(ScanPorts& ports, TextView endpoint, std::ostream& out, std::ostream& err);

}  // namespace hs
