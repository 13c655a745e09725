// Application paths, installed software and shared files: scan time of the
// three areas over a generated registry (20,000 App Paths and uninstall
// entries naming 2,000 distinct files, a tenth of them missing), the number
// of file-system calls, and the ratio to a bare walk of the same keys.
// Natively on the store and the portable shell paths; in the win32 build on
// the real registry and file system (entries under unique names, removed
// afterwards). Prints figures; never fails.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "areas/areas.h"
#include "bench/bench_machine.h"
#include "engine/file_reference.h"
#include "engine/registry_walk.h"
#include "engine/scan_manager.h"
#include "platform/callback_notifier.h"
#include "platform/log.h"
#include "platform/portable_key_protection.h"
#include "platform/portable_system_info.h"

namespace hs {
namespace {

constexpr int kEntries = 20000;
constexpr int kFiles = 2000;
const Text kAppPaths = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
const Text kUninstall = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

}  // namespace
}  // namespace hs

int main() {
  using namespace hs;
  BenchMachine m(BenchTag(u"hsbench"));
  const Text& tag = m.tag;
  const Text& folder = m.folder;
  auto& reg = m.registry;
  auto& wow64 = m.wow64;
  auto& fs = m.fs;
  auto& shell = m.shell;
  const std::filesystem::path& host = m.host;
  (void)fs.CreateDirectories(folder);
  // 2,000 files, every tenth missing.
  for (int f = 0; f < kFiles; ++f)
    if (f % 10 != 0) (void)fs.WriteFileAtomic(folder + u"\\app" + ToText(f) + u".exe", std::vector<std::uint8_t>{'x'});
  auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < kEntries; ++i) {
    const Text file = folder + u"\\app" + ToText(i % kFiles) + u".exe";
    RegKey k = 0;
    if (reg.Create(kHkeyLocalMachine, kAppPaths + u"\\" + tag + u"-" + ToText(i) + u".exe",
                   kKeyAllAccess | kKeyWow64_64Key, &k, nullptr) == err::kSuccess) {
      (void)reg.SetValue(k, u"", kRegSz, SzData(file));
      reg.Close(k);
    }
    if (reg.Create(kHkeyLocalMachine, kUninstall + u"\\" + tag + u"-" + ToText(i), kKeyAllAccess | kKeyWow64_64Key, &k,
                   nullptr) == err::kSuccess) {
      (void)reg.SetValue(k, u"DisplayName", kRegSz, SzData(u"Program " + ToText(i)));
      (void)reg.SetValue(k, u"UninstallString", kRegSz, SzData(u"\"" + file + u"\" /uninstall"));
      reg.Close(k);
    }
  }
  std::printf("seeded %d App Paths and %d uninstall entries naming %d files in %.2f s\n", kEntries, kEntries, kFiles,
              Seconds(t0));

  // A bare walk of the same keys, both views.
  t0 = std::chrono::steady_clock::now();
  WalkCounts walked;
  for (std::uint32_t view : {kKeyWow64_64Key, kKeyWow64_32Key})
    for (const Text& key : {kAppPaths, kUninstall}) {
      WalkCounts c = WalkRegistry(reg, kHkeyLocalMachine, key, view);
      walked.keys += c.keys;
      walked.values += c.values;
    }
  const double walk = Seconds(t0);

  BenchScan scan_setup(reg, wow64, shell);
  ScanManager& manager = scan_setup.manager;
  FileReferences& refs = scan_setup.refs;
  manager.CreateAreas(0x0002 | 0x0100 | 0x0040, 3);
  t0 = std::chrono::steady_clock::now();
  if (manager.StartScan()) manager.JoinWorker();
  const double scan = Seconds(t0);
  std::printf("bare walk: %llu keys, %llu values in %.3f s\n", static_cast<unsigned long long>(walked.keys),
              static_cast<unsigned long long>(walked.values), walk);
  std::printf("scan of the three areas: %.3f s, %zu problems, %llu file-system calls, %zu cached references\n", scan,
              manager.TotalProblems(), static_cast<unsigned long long>(refs.fs_calls()), refs.cache_size());
  // The uninstall pass pauses 1 ms per entry to keep the machine responsive
  // (the entries are seeded in the 64-bit view only); the ratio without those
  // pauses shows the cost of the tests themselves.
  const double pauses = kEntries * 0.001;
  std::printf("ratio scan / walk: %.2f (without the %.0f s of 1 ms pauses: %.2f)\n", walk > 0 ? scan / walk : 0.0,
              pauses, walk > 0 ? (scan - pauses) / walk : 0.0);

  // Clean up what was seeded (matters on a real registry).
  for (int i = 0; i < kEntries; ++i) {
    (void)reg.DeleteTree(kHkeyLocalMachine, kAppPaths + u"\\" + tag + u"-" + ToText(i) + u".exe", kKeyWow64_64Key);
    (void)reg.DeleteTree(kHkeyLocalMachine, kUninstall + u"\\" + tag + u"-" + ToText(i), kKeyWow64_64Key);
  }
  std::error_code ec;
  std::filesystem::remove_all(host, ec);
  return 0;
}
