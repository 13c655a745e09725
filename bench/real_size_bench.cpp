// A scan of a registry of real size: per area and for all areas together,
// the time, its ratio to a bare walk of the registry (HKEY_LOCAL_MACHINE\SOFTWARE
// in both views and HKEY_CURRENT_USER), the calls that reached the
// shell-paths adapter per distinct path the area tested, and the peak
// memory (working set on Windows). Each area runs as a scan of its own (its
// own file cache), then all areas run as one scan. The deep scan of the
// machine runs once more without the scan's file cache (the adapter asked
// directly), for comparison.
//
//   hs_bench_real_size MACHINE_FOLDER [OPTIONS]  (natively: a folder made by
//                                                 hs_gen_machine)
//   hs_bench_real_size.exe [OPTIONS]             (the live registry)
//
// --all-only: the bare walk and the scan of all areas only; --areas MASK:
// only these areas one by one; --no-walk: no bare walk (for profiling).
// Prints figures; never fails.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "areas/areas.h"
#include "areas/deep_scan.h"
#include "areas/safe_lists.h"
#include "engine/file_reference.h"
#include "engine/registry_walk.h"
#include "engine/scan_manager.h"
#include "platform/callback_notifier.h"
#include "platform/counting_shell_paths.h"
#include "platform/log.h"

#ifdef _WIN32
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_key_protection.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_shell_folders.h"
#include "platform/win32/win32_shell_links.h"
#include "platform/win32/win32_shell_paths.h"
#include "platform/win32/win32_system_info.h"
#include "platform/win32/win32_wow64.h"
// Last: the system's macros rename calls of the headers above.
#define PSAPI_VERSION 2
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>

#include "app/data_folder.h"
#include "platform/portable/portable_machine.h"
#endif

namespace hs {
namespace {

double Seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double PeakMb() {
#ifdef _WIN32
  PROCESS_MEMORY_COUNTERS c{};
  c.cb = sizeof c;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof c)) return 0;
  return static_cast<double>(c.PeakWorkingSetSize) / (1024.0 * 1024.0);
#else
  struct rusage u;
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_maxrss) / 1024.0;  // KiB on Linux
#endif
}

// Counts the calls that reach the registry (each a server round trip on
// Windows and Wine).
class CountingRegistry final : public Registry {
 public:
  explicit CountingRegistry(Registry& inner) : inner_(inner) {}
  // Calls and their seconds, by kind: open, info, key enum, value enum, query.
  struct Counts {
    std::uint64_t calls[5] = {};
    double seconds[5] = {};
  };
  Counts counts;
  std::uint64_t total() const {
    std::uint64_t n = 0;
    for (std::uint64_t c : counts.calls) n += c;
    return n;
  }

  WinError Open(RegKey parent, TextView subkey, std::uint32_t sam, RegKey* out) override {
    return Timed(0, [&] { return inner_.Open(parent, subkey, sam, out); });
  }
  WinError Create(RegKey parent, TextView subkey, std::uint32_t sam, RegKey* out, bool* created) override {
    return Timed(0, [&] { return inner_.Create(parent, subkey, sam, out, created); });
  }
  void Close(RegKey key) override { inner_.Close(key); }
  WinError QueryInfo(RegKey key, RegKeyInfo* info) override {
    return Timed(1, [&] { return inner_.QueryInfo(key, info); });
  }
  WinError EnumKey(RegKey key, std::uint32_t index, std::uint32_t capacity, Text* name) override {
    return Timed(2, [&] { return inner_.EnumKey(key, index, capacity, name); });
  }
  WinError EnumValue(RegKey key, std::uint32_t index, std::uint32_t name_capacity, std::uint32_t data_capacity,
                     Text* name, RegValue* value) override {
    return Timed(3, [&] { return inner_.EnumValue(key, index, name_capacity, data_capacity, name, value); });
  }
  WinError QueryValue(RegKey key, TextView name, RegValue* value) override {
    return Timed(4, [&] { return inner_.QueryValue(key, name, value); });
  }
  WinError SetValue(RegKey key, TextView name, std::uint32_t type, const std::vector<std::uint8_t>& data) override {
    return inner_.SetValue(key, name, type, data);
  }
  WinError DeleteValue(RegKey key, TextView name) override { return inner_.DeleteValue(key, name); }
  WinError DeleteKey(RegKey parent, TextView subkey, std::uint32_t view_sam) override {
    return inner_.DeleteKey(parent, subkey, view_sam);
  }
  WinError DeleteTree(RegKey parent, TextView subkey, std::uint32_t view_sam) override {
    return inner_.DeleteTree(parent, subkey, view_sam);
  }
  WinError Flush(RegKey key) override { return inner_.Flush(key); }
  WinError SaveKey(RegKey key, TextView file) override { return inner_.SaveKey(key, file); }

 private:
  template <typename Fn>
  WinError Timed(int kind, Fn fn) {
    const auto t0 = std::chrono::steady_clock::now();
    const WinError e = fn();
    counts.seconds[kind] += Seconds(t0);
    ++counts.calls[kind];
    return e;
  }
  Registry& inner_;
};

// The registry, file system and shell a scan reads.
struct Machine {
  Registry* registry = nullptr;
  Wow64* wow64 = nullptr;
  SystemInfo* system = nullptr;
  KeyProtection* protection = nullptr;
  ShellFolders* folders = nullptr;
  FileSystem* fs = nullptr;
  ShellLinks* links = nullptr;
  ShellPaths* shell = nullptr;
  bool windows64 = false;
};

#ifdef _WIN32
struct LiveMachine {
  Win32Registry registry;
  Win32Wow64 wow64;
  Win32SystemInfo system;
  Win32KeyProtection protection;
  Win32ShellFolders folders;
  Win32FileSystem fs;
  Win32ShellLinks links;
  Win32ShellPaths shell;
  Machine Ports() {
    return {&registry, &wow64, &system, &protection, &folders, &fs, &links, &shell, wow64.IsWow64Process()};
  }
};
#endif

struct Run {
  double seconds = 0;
  std::size_t problems = 0;
  std::uint64_t calls = 0;     // reached the adapter
  std::uint64_t tests = 0;     // file tests the area asked for
  std::size_t distinct = 0;    // distinct texts tested
  std::uint64_t reg_calls = 0;  // reached the registry
};

}  // namespace
}  // namespace hs

int main(int argc, char** argv) {
  using namespace hs;
  bool all_only = false;
  int walk_rounds = 3;
  unsigned long areas = kAllAreasMask;
  const char* folder = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--all-only") == 0) all_only = true;
    else if (std::strcmp(argv[i], "--no-walk") == 0) walk_rounds = 0;
    else if (std::strcmp(argv[i], "--areas") == 0 && i + 1 < argc) areas = std::strtoul(argv[++i], nullptr, 0);
    else folder = argv[i];
  }
  auto t0 = std::chrono::steady_clock::now();
#ifdef _WIN32
  (void)folder;
  auto live = std::make_unique<LiveMachine>();
  const Machine m = live->Ports();
  std::printf("the live registry (%s)\n", m.windows64 ? "64-bit Windows" : "32-bit Windows");
#else
  if (!folder) {
    std::fprintf(stderr, "usage: hs_bench_real_size MACHINE_FOLDER [--all-only] [--areas MASK]\n");
    return 0;
  }
  const std::filesystem::path data = std::filesystem::temp_directory_path() / "hs_bench_real_size_data";
  std::string error;
  PortableMachine::Options options;
  options.folder = folder;
  options.data_folder = data;
  options.data_folder_of = DataFolderPath;
  std::unique_ptr<PortableMachine> machine = PortableMachine::Load(options, &error);
  if (!machine) {
    std::fprintf(stderr, "cannot load %s: %s\n", folder, error.c_str());
    return 0;
  }
  std::printf("loaded %s: %zu keys in %.2f s, peak %.0f MB\n", folder, machine->snapshot_keys(), Seconds(t0),
              PeakMb());
  const Machine m{&machine->registry(), &machine->wow64(),   &machine->system(), &machine->protection(),
                  &machine->folders(),  &machine->fs(),      &machine->links(),  &machine->shell(),
                  machine->description().shell.windows64};
#endif

  // The bare walk, best of three.
  CountingRegistry reg(*m.registry);
  const bool w64 = m.windows64;
  double bare = walk_rounds ? 1e30 : 0;
  WalkCounts walked;
  const std::uint64_t walk_calls0 = reg.total();
  for (int round = 0; round < walk_rounds; ++round) {
    t0 = std::chrono::steady_clock::now();
    WalkCounts c = WalkRegistry(reg, kHkeyLocalMachine, u"SOFTWARE", w64 ? kKeyWow64_64Key : 0);
    if (w64) {
      const WalkCounts c32 = WalkRegistry(reg, kHkeyLocalMachine, u"SOFTWARE", kKeyWow64_32Key);
      c.keys += c32.keys;
      c.values += c32.values;
    }
    const WalkCounts cu = WalkRegistry(reg, kHkeyCurrentUser, u"", 0);
    c.keys += cu.keys;
    c.values += cu.values;
    bare = std::min(bare, Seconds(t0));
    walked = c;
  }
  std::printf("bare walk: %llu keys, %llu values, %llu registry calls in %.3f s\n",
              static_cast<unsigned long long>(walked.keys), static_cast<unsigned long long>(walked.values),
              static_cast<unsigned long long>((reg.total() - walk_calls0) / std::max(walk_rounds, 1)), bare);
  // Registry calls and their time by kind since `before`.
  auto print_registry = [&](const char* what, const CountingRegistry::Counts& before, int rounds) {
    static const char* const kinds[] = {"opens", "infos", "key enums", "value enums", "queries"};
    std::printf("  registry calls of %s:", what);
    for (int k = 0; k < 5; ++k)
      std::printf("%s %llu %s in %.2f s", k ? "," : "",
                  static_cast<unsigned long long>((reg.counts.calls[k] - before.calls[k]) / rounds), kinds[k],
                  (reg.counts.seconds[k] - before.seconds[k]) / rounds);
    std::printf("\n");
  };
  print_registry("the walk", CountingRegistry::Counts{}, std::max(walk_rounds, 1));

  CountingShellPaths shell(*m.shell);
  SafeLists safe_lists(*m.folders);
  CallbackNotifier notifier([](const CallbackNotifier::Message&) {});
  NullLog log;
  ScanContext context{reg, *m.wow64, *m.system, *m.protection, notifier, log};
  context.safe_lists = &safe_lists;
  context.strings = [](TextView) { return Text(u"missing"); };
  context.shell = &shell;
  context.folders = m.folders;
  context.fs = m.fs;
  context.links = m.links;
  ScanManager manager(context, CreateArea);

  auto scan = [&](std::uint32_t mask) {
    FileReferences refs(shell, manager.reg(), &safe_lists, manager.system_folder(), manager.system_folder32());
    context.file_refs = &refs;
    context.selected_categories = mask;
    manager.CreateAreas(kAllAreasMask, kAreaCount);
    Run r;
    const std::uint64_t calls0 = shell.total(), reg0 = reg.total();
    t0 = std::chrono::steady_clock::now();
    if (manager.StartScan()) manager.JoinWorker();
    r.seconds = Seconds(t0);
    r.calls = shell.total() - calls0;
    r.reg_calls = reg.total() - reg0;
    r.tests = refs.fs_calls();
    r.problems = manager.TotalProblems();
    r.distinct = refs.references_judged();
    for (std::uint32_t bit : {0x1000u, 0x2000u})
      if ((mask & bit) && manager.AreaByBit(bit))
        r.distinct += static_cast<const CDeepScan*>(manager.AreaByBit(bit))->paths_tested();
    context.file_refs = nullptr;
    return r;
  };
  auto print = [&](const char* name, const Run& r) {
    std::printf("%-16s %8.3f s  ratio %7.2f  %8llu reg calls  %6zu problems  %9llu tests  %8zu paths  %9llu calls"
                "  %6.2f calls/path  peak %5.0f MB\n",
                name, r.seconds, bare > 0 ? r.seconds / bare : 0.0, static_cast<unsigned long long>(r.reg_calls),
                r.problems,
                static_cast<unsigned long long>(r.tests), r.distinct, static_cast<unsigned long long>(r.calls),
                r.distinct ? static_cast<double>(r.calls) / static_cast<double>(r.distinct) : 0.0, PeakMb());
  };

  std::printf("%-16s %10s  %13s  %18s  %14s  %15s  %14s  %15s\n", "area", "time", "/ bare walk", "registry", "",
              "file tests", "distinct", "adapter calls");
  if (!all_only)
    for (const AreaInfo& a : kAreas)
      if (areas & a.bit) print(a.class_name, scan(a.bit));
  const std::uint64_t kinds0[] = {shell.attributes, shell.exists, shell.listings, shell.searches, shell.protection};
  const std::uint64_t entries0 = shell.listed_entries;
  std::uint64_t nanos0[CountingShellPaths::kKinds];
  for (int k = 0; k < CountingShellPaths::kKinds; ++k) nanos0[k] = shell.nanos[k];
  const CountingRegistry::Counts before_all = reg.counts;
  print("all areas", scan(kAllAreasMask));
  print_registry("all areas", before_all, 1);
  const std::uint64_t kinds1[] = {shell.attributes, shell.exists, shell.listings, shell.searches, shell.protection};
  static const char* const shell_kinds[] = {"attributes", "exists", "listings", "searches", "protection"};
  std::printf("  adapter calls of all areas:");
  for (int k = 0; k < CountingShellPaths::kExpand; ++k)
    std::printf("%s %llu %s in %.2f s", k ? "," : "", static_cast<unsigned long long>(kinds1[k] - kinds0[k]),
                shell_kinds[k], (shell.nanos[k] - nanos0[k]) / 1e9);
  auto since = [&](int k) { return (shell.nanos[k] - nanos0[k]) / 1e9; };
  std::printf("; %llu entries listed", static_cast<unsigned long long>(shell.listed_entries - entries0));
  std::printf("; expansion %.2f s, network tests %.2f s, drives %.2f s, other text %.2f s\n",
              since(CountingShellPaths::kExpand), since(CountingShellPaths::kNetwork),
              since(CountingShellPaths::kDrives), since(CountingShellPaths::kText));
  if (all_only) return 0;

  // The machine's deep scan with the adapter asked directly (no scan, so
  // no file cache), as every scan did before the cache.
  {
    FileReferences refs(shell, manager.reg(), &safe_lists, manager.system_folder(), manager.system_folder32());
    context.file_refs = &refs;
    manager.CreateAreas(kAllAreasMask, kAreaCount);
    auto& area = static_cast<CDeepScan&>(*manager.AreaByBit(0x1000));
    Run r;
    const std::uint64_t calls0 = shell.total();
    t0 = std::chrono::steady_clock::now();
    if (w64) {
      (void)area.WalkKeyInView(kHkeyLocalMachine, u"software", u"HKEY_LOCAL_MACHINE", true);
      (void)area.WalkKeyInView(kHkeyLocalMachine, u"software", u"HKEY_LOCAL_MACHINE", false);
    } else {
      (void)area.WalkKey(kHkeyLocalMachine, u"software", u"HKEY_LOCAL_MACHINE");
    }
    r.seconds = Seconds(t0);
    r.calls = shell.total() - calls0;
    r.tests = refs.fs_calls();
    r.problems = area.Count();
    r.distinct = area.paths_tested();
    print("deep, uncached", r);
    context.file_refs = nullptr;
  }
#ifndef _WIN32
  std::error_code ec;
  std::filesystem::remove_all(data, ec);
#endif
  return 0;
}
