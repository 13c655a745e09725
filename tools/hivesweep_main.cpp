// hivesweep: the command-line front end. Natively it works on a machine
// folder (registry snapshot, drive folders, description) or .reg files
// loaded into the portable store; the win32 build works on the live system.
// Builds the ports of its build and hands them to the commands (app/cli.h).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "app/cli.h"
#include "app/data_folder.h"
#include "engine/registry_walk.h"
#include "platform/reg_text.h"
#include "platform/store/registry_store.h"

#ifdef _WIN32
#include "platform/redirected_file_system.h"
#include "platform/redirected_reg_editor.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_hives.h"
#include "platform/win32/win32_http_client.h"
#include "platform/win32/win32_ini_reader.h"
#include "platform/win32/win32_key_protection.h"
#include "platform/win32/win32_recycle_bin.h"
#include "platform/win32/win32_reg_editor.h"
#include "platform/win32/win32_url_history.h"
#include "platform/win32/win32_version_info.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_shell_folders.h"
#include "platform/win32/win32_shell_links.h"
#include "platform/win32/win32_shell_paths.h"
#include "platform/win32/win32_system_info.h"
#include "platform/win32/win32_system_restore.h"
#include "platform/win32/win32_task_scheduler.h"
#include "platform/win32/win32_wow64.h"
#include "platform/win32/win32_xml_writer.h"
#else
#include "platform/portable/curl_http_client.h"
#include "platform/portable/portable_machine.h"
#include "platform/portable_system_restore.h"
#include "platform/store_reg_editor.h"
#include "platform/trash_recycle_bin.h"
#include "app/web/gui_app.h"
#endif

namespace hs {
namespace {

int BadArguments(const std::string& error) {
  std::fprintf(stderr, "hivesweep: %s\n\n%s", error.c_str(), CliUsage().c_str());
  return kExitUsage;
}

bool ReadHostFile(const std::string& path, std::vector<std::uint8_t>* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool LoadRegFile(Registry& reg, const std::string& path, std::uint32_t view, RegTextDocument* doc) {
  std::vector<std::uint8_t> bytes;
  if (!ReadHostFile(path, &bytes)) {
    std::fprintf(stderr, "%s: cannot read the file\n", path.c_str());
    return false;
  }
  RegTextError error;
  if (!ParseRegText(bytes.data(), bytes.size(), doc, &error)) {
    std::fprintf(stderr, "%s:%d: %s\n", path.c_str(), error.line, error.message.c_str());
    return false;
  }
  int line = 0;
  if (WinError e = ApplyRegText(reg, *doc, view, &line)) {
    std::fprintf(stderr, "%s:%d: the registry refused the entry (error %d)\n", path.c_str(), line, e);
    return false;
  }
  return true;
}

struct RootRow {
  RegKey root;
  const char* name;
};
constexpr RootRow kRoots[] = {{kHkeyLocalMachine, "HKEY_LOCAL_MACHINE"},
                              {kHkeyClassesRoot, "HKEY_CLASSES_ROOT"},
                              {kHkeyCurrentUser, "HKEY_CURRENT_USER"},
                              {kHkeyUsers, "HKEY_USERS"},
                              {kHkeyCurrentConfig, "HKEY_CURRENT_CONFIG"}};

void PrintRegistry(Registry& reg, bool windows64) {
  std::printf("%-22s %-6s %10s %10s %12s\n", "root", "view", "keys", "values", "data bytes");
  for (const auto& r : kRoots) {
    for (std::uint32_t view : {kKeyWow64_64Key, kKeyWow64_32Key}) {
      if (!windows64 && view == kKeyWow64_32Key) continue;
      WalkCounts c = WalkRegistry(reg, r.root, u"", windows64 ? view : 0);
      std::printf("%-22s %-6s %10llu %10llu %12llu\n", r.name,
                  !windows64 ? "-" : view == kKeyWow64_64Key ? "64-bit" : "32-bit",
                  static_cast<unsigned long long>(c.keys), static_cast<unsigned long long>(c.values),
                  static_cast<unsigned long long>(c.value_bytes));
    }
  }
}

constexpr char kDefaultMachine[] = "samples/demo-machine";

int RunCommand(const CliArguments& a, ScanPorts& ports, const ScanOptions& options) {
  switch (a.command) {
    case CliCommand::kRepair: return RunRepair(ports, options, a.all, std::cout, std::cerr);
    case CliCommand::kBackups: return RunBackups(ports, std::cout, std::cerr);
    case CliCommand::kUndo: return RunUndo(ports, a.undo_number, std::cout, std::cerr);
    case CliCommand::kBackup: return RunFullBackup(ports, options, std::cout, std::cerr);
    case CliCommand::kRestore: return RunFullRestore(ports, FromUtf8(a.file), std::cout, std::cerr);
    case CliCommand::kDeleteBackup:
      return RunDeleteBackup(ports, FromUtf8(a.file), a.file.empty() ? a.undo_number : 0, std::cout, std::cerr);
    case CliCommand::kDefragAnalyze:
    case CliCommand::kDefragOptimize:
    case CliCommand::kDefragSummary: return RunDefrag(ports, a.command, std::cout, std::cerr);
    case CliCommand::kBootCompact: return RunBootCompact(ports, std::cout, std::cerr);
    case CliCommand::kUpdateCheck: return RunUpdateCheck(ports, FromUtf8(a.endpoint), std::cout, std::cerr);
    case CliCommand::kScheduleList: return RunScheduleList(ports, std::cout, std::cerr);
    default: return RunScan(ports, options, std::cout, std::cerr);
  }
}

int Show(const CliArguments& a) {
#ifdef _WIN32
  if (!a.machine.empty()) return BadArguments("--machine: this build shows the live registry; use the Linux build");
  Win32Registry reg;
  Win32Wow64 wow;
  std::printf("Live registry\n");
  PrintRegistry(reg, wow.IsWow64Process());
  return kExitOk;
#else
  const std::string dir = a.machine.empty() ? kDefaultMachine : a.machine;
  RegistryStore::Options o;
  o.windows64 = true;
  RegistryStore reg(o);
  RegTextDocument doc;
  if (!LoadRegFile(reg, dir + "/registry.reg", kKeyWow64_64Key, &doc)) return kExitFailed;
  std::printf("Sample machine %s (64-bit Windows): %zu keys in its snapshot\n", dir.c_str(), doc.keys.size());
  PrintRegistry(reg, true);
  return kExitOk;
#endif
}

// Key path (upper-cased) -> value name (upper-cased) -> type and data.
using Snapshot = std::map<Text, std::map<Text, RegValue>>;

void AddToSnapshot(const RegTextDocument& doc, Snapshot* snap) {
  for (const auto& k : doc.keys) {
    Text key = Upcase(k.root_name + (k.path.empty() ? u"" : u"\\" + k.path));
    if (k.remove) {
      for (auto it = snap->lower_bound(key); it != snap->end() && it->first.compare(0, key.size(), key) == 0;)
        it = snap->erase(it);
      continue;
    }
    auto& values = (*snap)[key];
    for (const auto& v : k.values) {
      if (v.remove) values.erase(Upcase(v.name));
      else values[Upcase(v.name)] = RegValue{v.type, v.data};
    }
  }
}

int RegCheck(const CliArguments& a) {
  const std::uint32_t view = a.view32 ? kKeyWow64_32Key : kKeyWow64_64Key;
  const std::vector<std::string>& files = a.files;
  RegistryStore::Options o;
  o.windows64 = true;
  RegistryStore reg(o);
  Snapshot original;
  auto t0 = std::chrono::steady_clock::now();
  for (const auto& f : files) {
    RegTextDocument doc;
    if (!LoadRegFile(reg, f, view, &doc)) return kExitFailed;
    AddToSnapshot(doc, &original);
  }
  Text saved;
  if (ExportAllRoots(reg, view, /*lossless=*/true, &saved) != err::kSuccess) {
    std::fprintf(stderr, "export failed\n");
    return 1;
  }
  auto bytes = EncodeRegFile(saved);
  RegTextDocument back;
  RegTextError error;
  if (!ParseRegText(bytes.data(), bytes.size(), &back, &error)) {
    std::fprintf(stderr, "saved text does not parse: line %d: %s\n", error.line, error.message.c_str());
    return 1;
  }
  Snapshot round;
  AddToSnapshot(back, &round);
  auto t1 = std::chrono::steady_clock::now();
  // Every key and value of the input must come back unchanged. The store may
  // hold more (the keys a 64-bit Windows registry always has, and the merged
  // classes root), but under the roots a file exported nothing else appears.
  std::size_t keys = 0, values = 0, missing = 0, changed = 0;
  for (const auto& [key, vals] : original) {
    ++keys;
    auto it = round.find(key);
    if (it == round.end()) {
      if (++missing <= 10) std::printf("missing key: %s\n", ToUtf8(key).c_str());
      continue;
    }
    for (const auto& [name, v] : vals) {
      ++values;
      auto vi = it->second.find(name);
      if (vi == it->second.end() || vi->second.type != v.type || vi->second.data != v.data) {
        if (++changed <= 10) std::printf("changed value: %s : %s\n", ToUtf8(key).c_str(), ToUtf8(name).c_str());
      }
    }
    if (it->second.size() != vals.size()) {
      if (++changed <= 10) std::printf("value count differs: %s\n", ToUtf8(key).c_str());
    }
  }
  std::size_t extra = 0;
  for (const auto& [key, vals] : round) {
    if (original.count(key)) continue;
    bool under_input = false;
    for (const auto& [okey, ovals] : original) {
      (void)ovals;
      if (key.size() > okey.size() && key.compare(0, okey.size(), okey) == 0 && key[okey.size()] == u'\\') {
        under_input = true;
        break;
      }
    }
    if (under_input && !vals.empty() && ++extra <= 10) std::printf("extra key: %s\n", ToUtf8(key).c_str());
  }
  double secs = std::chrono::duration<double>(t1 - t0).count();
  std::printf("%zu keys, %zu values checked in %.2f s: %zu missing keys, %zu changed values, %zu extra keys\n",
              keys, values, secs, missing, changed, extra);
  return missing || changed || extra ? 1 : 0;
}

// Two export files hold the same keys, values, types and data.
int RegCompare(const CliArguments& a) {
  Snapshot snap[2];
  for (int i = 0; i < 2; ++i) {
    std::vector<std::uint8_t> bytes;
    if (!ReadHostFile(a.files[i], &bytes)) {
      std::fprintf(stderr, "%s: cannot read the file\n", a.files[i].c_str());
      return kExitFailed;
    }
    RegTextDocument doc;
    RegTextError error;
    if (!ParseRegText(bytes.data(), bytes.size(), &doc, &error)) {
      std::fprintf(stderr, "%s:%d: %s\n", a.files[i].c_str(), error.line, error.message.c_str());
      return kExitFailed;
    }
    AddToSnapshot(doc, &snap[i]);
  }
  std::vector<Text> ignored;
  for (const std::string& k : a.ignore) ignored.push_back(Upcase(FromUtf8(k)));
  // KEY may name "*" for any one key name (HKEY_USERS\*\Software\X).
  auto split = [](const Text& path) {
    std::vector<Text> parts;
    std::size_t start = 0;
    for (std::size_t at; (at = path.find(u'\\', start)) != Text::npos; start = at + 1) parts.push_back(path.substr(start, at - start));
    parts.push_back(path.substr(start));
    return parts;
  };
  auto skip = [&](const Text& key) {
    const std::vector<Text> parts = split(key);
    for (const Text& k : ignored) {
      const std::vector<Text> pattern = split(k);
      if (pattern.size() > parts.size()) continue;
      bool match = true;
      for (std::size_t i = 0; i < pattern.size() && match; ++i) match = pattern[i] == u"*" || pattern[i] == parts[i];
      if (match) return true;
    }
    return false;
  };
  std::size_t differences = 0;
  auto report = [&](const char* what, const Text& key, const Text& value) {
    if (++differences <= 20) {
      std::printf("%s: %s%s%s\n", what, ToUtf8(key).c_str(), value.empty() ? "" : " : ", ToUtf8(value).c_str());
    }
  };
  for (int i = 0; i < 2; ++i) {
    for (const auto& [key, values] : snap[i]) {
      if (skip(key)) continue;
      auto other = snap[1 - i].find(key);
      if (other == snap[1 - i].end()) {
        report(i == 0 ? "only in the first" : "only in the second", key, u"");
        continue;
      }
      for (const auto& [name, v] : values) {
        auto ov = other->second.find(name);
        if (ov == other->second.end()) report(i == 0 ? "value only in the first" : "value only in the second", key, name);
        else if (i == 0 && (ov->second.type != v.type || ov->second.data != v.data)) report("value differs", key, name);
      }
    }
  }
  std::printf("%zu keys and %zu keys compared: %zu differences\n", snap[0].size(), snap[1].size(), differences);
  return differences == 0 ? kExitOk : kExitFailed;
}

#ifdef _WIN32

// The folder of this executable, or of its parent, that holds the English
// language file (the win32 build keeps the front end in cli/ below it).
Text ProgramFolder() {
  const wchar_t* self = _wpgmptr;  // the C runtime's full path of this executable
  if (!self || !self[0]) return Text();
  std::filesystem::path exe(self);
  // Wine names a program outside its drives "unix\...", which only its
  // "\\?\" form reaches.
  if (!exe.is_absolute()) exe = std::wstring(L"\\\\?\\") + self;
  std::error_code ec;
  std::filesystem::path dir = exe.parent_path();
  for (int up = 0; up < 2 && !dir.empty(); ++up, dir = dir.parent_path()) {
    if (std::filesystem::exists(dir / L"eng_hsw.ini", ec)) {
      const std::wstring w = dir.wstring();
      return Text(w.begin(), w.end());
    }
  }
  return Text();
}

int Scan(const CliArguments& a) {
  if (!a.machine.empty())
    return BadArguments("--machine: this build scans the live registry; machine folders need the Linux build");
  Win32Registry registry;
  Win32Wow64 wow64;
  Win32SystemInfo system;
  Win32KeyProtection protection;
  Win32FileSystem live_fs;
  Win32Clock clock;
  Win32ShellFolders folders;
  Win32ShellPaths shell;
  Win32XmlWriterFactory system_xml;
  Win32IniReader ini;
  const Text program_data = DataFolderPath(folders);
  if (program_data.empty()) {
    std::fprintf(stderr, "hivesweep: the application-data folder is unknown\n");
    return kExitFailed;
  }
  Text target = program_data;
  if (!a.data.empty()) {
    const Text given = FromUtf8(a.data);
    std::error_code ec;
    const std::wstring w = std::filesystem::absolute(std::wstring(given.begin(), given.end()), ec).wstring();
    target.assign(w.begin(), w.end());
  }
  // The program's data folder is shown at the chosen place; nothing else is written.
  RedirectedFileSystem fs(live_fs, program_data, target, /*read_only_elsewhere=*/true);
  RedirectedXmlWriterFactory xml(system_xml, fs);
  ScanPorts ports{registry, wow64, system, protection, fs, clock, folders, shell, xml, ini, live_fs, ProgramFolder()};
  ports.language = a.language;
  Win32RegEditor system_editor;
  RedirectedRegEditor editor(system_editor, system_editor, fs);
  Win32RecycleBin recycle_bin;
  Win32UrlHistory history;
  ports.editor = &editor;
  ports.whole = &editor;
  ports.recycle_bin = &recycle_bin;
  ports.history = &history;
  Win32SystemRestore restore;
  ports.restore = &restore;
  Win32ShellLinks links;
  ports.links = &links;
  Win32Hives hives(registry, wow64.IsWow64Process());
  ports.hives = &hives;
  Win32TaskScheduler scheduler;
  ports.scheduler = &scheduler;
  {
    const Text folder = ProgramFolder();
    if (!folder.empty()) ports.program_path = folder + u"\\HiveSweep.exe";
  }
  Win32HttpClient http;
  ports.http = &http;
  ports.data_ini = &ini;
  // The program's version: HiveSweep.exe's resource, else this executable's.
  ports.own_version = ports.program_path.empty() ? Text() : FileVersionOf(ports.program_path);
  if (ports.own_version.empty()) ports.own_version = ProgramFileVersion();
  ScanOptions options;
  options.areas = a.areas;
  options.source = wow64.IsWow64Process() ? "the live registry (64-bit Windows)" : "the live registry";
  options.data_display = ToUtf8(target);
  return RunCommand(a, ports, options);
}

#else

// The program's data folder on this host: $XDG_DATA_HOME/hivesweep, else
// ~/.local/share/hivesweep; empty when neither is known.
std::filesystem::path DefaultDataFolder() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') return std::filesystem::path(xdg) / "hivesweep";
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::filesystem::path(home) / ".local" / "share" / "hivesweep";
  return {};
}

constexpr char kMachineStateFile[] = "machine-registry.reg";
constexpr char kMachineTasksStateFile[] = "machine-tasks.txt";

// The machine's registry (every root but the merged classes root) as
// registry export text, replacing `path` in one step.
bool SaveMachineState(Registry& reg, const std::filesystem::path& path) {
  Text text(kRegTextHeaderLine);
  for (const auto& [root, name] : {std::pair{kHkeyLocalMachine, u"HKEY_LOCAL_MACHINE"},
                                   std::pair{kHkeyCurrentUser, u"HKEY_CURRENT_USER"},
                                   std::pair{kHkeyUsers, u"HKEY_USERS"}}) {
    if (ExportRegText(reg, root, name, u"", kKeyWow64_64Key, true, false, &text) != err::kSuccess) return false;
  }
  const std::vector<std::uint8_t> bytes = EncodeRegFile(text);
  std::filesystem::path temp = path;
  temp += ".tmp";
  {
    std::ofstream f(temp, std::ios::binary | std::ios::trunc);
    if (!f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) return false;
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  return !ec;
}

int Scan(const CliArguments& a) {
  PortableMachine::Options o;
  o.folder = a.machine.empty() ? kDefaultMachine : a.machine;
  o.data_folder = a.data.empty() ? DefaultDataFolder() : std::filesystem::path(a.data);
  if (o.data_folder.empty()) return BadArguments("no home folder to keep the data in; pass --data DIR");
  std::error_code ec;
  o.program_folder = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
  o.data_folder_of = DataFolderPath;
  // Repairs change the machine's registry as kept in the data folder.
  o.registry_state = o.data_folder / kMachineStateFile;
  o.tasks_state = o.data_folder / kMachineTasksStateFile;
  std::string error;
  std::unique_ptr<PortableMachine> m = PortableMachine::Load(o, &error);
  if (!m) {
    std::fprintf(stderr, "hivesweep: %s\n", error.c_str());
    if (a.machine.empty()) std::fprintf(stderr, "(run from the repository root, or pass --machine DIR)\n");
    return kExitFailed;
  }
  ScanPorts ports{m->registry(), m->wow64(), m->system(), m->protection(), m->fs(), m->clock(), m->folders(),
                  m->shell(), m->xml(), m->program_ini(), m->program_fs(), m->program_folder()};
  ports.language = a.language;
  NullLog quiet;
  StoreRegEditor editor(m->registry(), m->fs(), m->description().shell.windows64, quiet);
  TrashRecycleBin recycle_bin(m->fs(), m->data_folder() + u"\\Recycled");
  MemoryUrlHistory history;
  ports.editor = &editor;
  ports.whole = &editor;
  ports.recycle_bin = &recycle_bin;
  ports.history = &history;
  ports.links = &m->links();
  PortableSystemRestore restore_points(editor, m->fs(), m->clock(), m->data_folder() + u"\\Restore Points");
  ports.restore = &restore_points;
  ports.kept_restore_points = &restore_points;
  ports.hives = &m->hives();
  ports.compactor = &m->hives();
  ports.program_path = u"C:\\Program Files\\HiveSweep\\HiveSweep.exe";
  CurlHttpClient http;
  ports.http = &http;
  ports.data_ini = &m->ini();
  ports.own_version = Text(kProgramVersion);
  ports.scheduler = &m->scheduler();
  ScanOptions options;
  options.areas = a.areas;
  options.source = "the machine " + o.folder.string() + " (" +
                   (m->description().shell.windows64 ? "64-bit" : "32-bit") + " Windows " +
                   std::to_string(m->description().facts.major_version) + ".x, " +
                   std::to_string(m->snapshot_keys()) + " keys in its snapshot)";
  options.data_display = std::filesystem::absolute(o.data_folder, ec).lexically_normal().string();
  CliArguments run = a;
  if (!run.file.empty() && run.file.find('/') != std::string::npos) {
    // A host path of the data folder, as the machine sees it.
    const std::filesystem::path host = std::filesystem::absolute(run.file, ec).lexically_normal();
    const std::filesystem::path rel = host.lexically_relative(std::filesystem::absolute(o.data_folder, ec).lexically_normal());
    if (rel.empty() || rel.native().rfind("..", 0) == 0 || rel.has_parent_path()) {
      std::fprintf(stderr, "hivesweep: %s: the machine reaches only files of its data folder %s\n", run.file.c_str(),
                   options.data_display.c_str());
      return kExitFailed;
    }
    run.file = rel.string();
  }
  if (a.command == CliCommand::kGui) {
    GuiOptions gui;
    gui.pages = o.program_folder / "pages";
    gui.port = a.port;
    gui.open_browser = !a.no_browser;
    gui.registry_changed = [&] {
      if (!SaveMachineState(m->registry(), o.registry_state))
        std::fprintf(stderr, "hivesweep: cannot save the machine's registry to %s\n", o.registry_state.string().c_str());
    };
    return RunGui(ports, options, gui, std::cout, std::cerr);
  }
  const int code = RunCommand(run, ports, options);
  if (a.command == CliCommand::kRepair || a.command == CliCommand::kUndo || a.command == CliCommand::kRestore ||
      a.command == CliCommand::kBackup || a.command == CliCommand::kDefragOptimize ||
      a.command == CliCommand::kDefragSummary) {
    if (!SaveMachineState(m->registry(), o.registry_state)) {
      std::fprintf(stderr, "hivesweep: cannot save the machine's registry to %s\n", o.registry_state.string().c_str());
      return kExitFailed;
    }
  }
  return code;
}

#endif

int Main(const std::vector<std::string>& args) {
  CliArguments a;
  std::string error;
  if (!ParseCliArguments(args, &a, &error)) return BadArguments(error);
  switch (a.command) {
    case CliCommand::kHelp:
      std::fputs(CliUsage().c_str(), stdout);
      return kExitOk;
    case CliCommand::kShow:
      return Show(a);
    case CliCommand::kRegCheck:
      return RegCheck(a);
    case CliCommand::kRegCompare:
      return RegCompare(a);
    case CliCommand::kScan:
    case CliCommand::kRepair:
    case CliCommand::kUndo:
    case CliCommand::kBackups:
    case CliCommand::kBackup:
    case CliCommand::kRestore:
    case CliCommand::kDeleteBackup:
    case CliCommand::kDefragAnalyze:
    case CliCommand::kDefragOptimize:
    case CliCommand::kDefragSummary:
    case CliCommand::kUpdateCheck:
    case CliCommand::kScheduleList:
      return Scan(a);
    case CliCommand::kBootCompact:
#ifdef _WIN32
      return BadArguments("bootcompact: on Windows the boot-time program compacts the hives; machine folders need the Linux build");
#else
      return Scan(a);
#endif
    case CliCommand::kGui:
#ifdef _WIN32
      return BadArguments("gui: on Windows the program is HiveSweep.exe");
#else
      return Scan(a);
#endif
  }
  return kExitUsage;
}

}  // namespace
}  // namespace hs

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::u16string w(reinterpret_cast<const char16_t*>(argv[i]));
    args.push_back(hs::ToUtf8(w));
  }
  return hs::Main(args);
}
#else
int main(int argc, char** argv) { return hs::Main(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
