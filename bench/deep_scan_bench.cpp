// Deep scan: time, keys per second and file-system calls of the deep scan's
// walk over a generated registry (default 500,000 keys below one vendor
// tree; the first argument changes the size), against a bare walk of the
// same keys. About one key in five holds a path-like value naming one of
// 5,000 files in 100 folders (one in a hundred missing, some with arguments), one in twenty
// a binary value; every key has a number and a plain text.
// Natively on the store and the portable shell paths; in the win32 build on
// the real registry and file system (under unique names, removed
// afterwards). Prints figures; never fails.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

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

constexpr int kFiles = 5000;
constexpr int kFilesPerFolder = 50;
constexpr int kKeysPerProduct = 50;
constexpr int kProductsPerVendor = 10;

std::vector<std::uint8_t> Binary(TextView text) { return SzData(text); }

// The files lie in folders of 50, as programs keep them.
Text FolderOf(const Text& base, int folder) { return base + u"\\Program" + ToText(folder); }
Text FilePath(const Text& base, int file) {
  return FolderOf(base, file / kFilesPerFolder) + u"\\f" + ToText(file) + u".dll";
}

// Vendor<v>\Product<p>\Settings<s>\Key<k>: 50 keys per product (the product
// key, 7 settings keys, 42 keys below them).
int Generate(Registry& reg, const Text& base, const Text& folder, int keys) {
  int made = 0, serial = 0;
  const std::uint32_t sam = kKeyAllAccess | kKeyWow64_64Key;
  auto fill = [&](RegKey k) {
    ++serial;
    (void)reg.SetValue(k, u"Version", kRegDword, DwordData(static_cast<std::uint32_t>(serial)));
    (void)reg.SetValue(k, u"Name", kRegSz, SzData(u"Entry " + ToText(serial)));
    if (serial % 5 == 0) {
      const Text file = FilePath(folder, (serial / 5) % kFiles);
      (void)reg.SetValue(k, u"Path", kRegSz, SzData(serial % 15 == 0 ? u"\"" + file + u"\" /register" : file));
    }
    if (serial % 20 == 0) (void)reg.SetValue(k, u"Blob", kRegBinary, Binary(folder + u"\\blob.bin"));
  };
  for (int v = 0; made < keys; ++v) {
    for (int p = 0; p < kProductsPerVendor && made < keys; ++p) {
      const Text product = base + u"\\Vendor" + ToText(v) + u"\\Product" + ToText(p);
      RegKey k = 0;
      if (reg.Create(kHkeyLocalMachine, product, sam, &k, nullptr) != err::kSuccess) return made;
      fill(k);
      reg.Close(k);
      ++made;
      for (int s = 0; s < 7 && made < keys; ++s) {
        const Text settings = product + u"\\Settings" + ToText(s);
        if (reg.Create(kHkeyLocalMachine, settings, sam, &k, nullptr) != err::kSuccess) return made;
        fill(k);
        reg.Close(k);
        ++made;
        for (int i = 0; i < (kKeysPerProduct - 8) / 7 && made < keys; ++i) {
          if (reg.Create(kHkeyLocalMachine, settings + u"\\Key" + ToText(i), sam, &k, nullptr) != err::kSuccess)
            return made;
          fill(k);
          reg.Close(k);
          ++made;
        }
      }
    }
  }
  return made;
}

}  // namespace
}  // namespace hs

int main(int argc, char** argv) {
  using namespace hs;
  const int keys = argc > 1 ? std::atoi(argv[1]) : 500000;
  BenchMachine m(BenchTag(u"hsdeep"));
  const Text& tag = m.tag;
  const Text& folder = m.folder;
  const Text base = u"SOFTWARE\\" + tag;
  auto& reg = m.registry;
  auto& wow64 = m.wow64;
  auto& fs = m.fs;
  auto& shell = m.shell;
  const std::filesystem::path& host = m.host;
  const std::filesystem::path& files = m.folder_host;
  const char* adapters = m.adapters;
  for (int d = 0; d < kFiles / kFilesPerFolder; ++d) (void)fs.CreateDirectories(FolderOf(folder, d));
  for (int f = 0; f < kFiles; ++f)
    if (f % 100 != 0)
      std::ofstream(files / ("Program" + std::to_string(f / kFilesPerFolder)) / ("f" + std::to_string(f) + ".dll"))
          << 'x';
  auto t0 = std::chrono::steady_clock::now();
  const int made = Generate(reg, base, folder, keys);
  std::printf("%s: generated %d keys naming %d files (every hundredth missing) in %.1f s\n", adapters, made, kFiles,
              Seconds(t0));

  BenchScan scan_setup(reg, wow64, shell);
  ScanContext& context = scan_setup.context;
  ScanManager& manager = scan_setup.manager;
  FileReferences& refs = scan_setup.refs;
  context.strings = [](TextView) { return Text(u"missing"); };

  // Rounds of a bare walk and a deep-scan walk of the same keys (a fresh
  // area each time: nothing remembered); the best of each counts, since the
  // machine is shared.
  (void)WalkRegistry(reg, kHkeyLocalMachine, base, kKeyWow64_64Key);  // warm-up
  WalkCounts walked;
  double walk = 1e30, deep = 1e30;
  int result = 0;
  std::size_t problems = 0;
  std::uint64_t calls = 0;
  for (int round = 0; round < 3; ++round) {
    t0 = std::chrono::steady_clock::now();
    walked = WalkRegistry(reg, kHkeyLocalMachine, base, kKeyWow64_64Key);
    walk = std::min(walk, Seconds(t0));
    manager.CreateAreas(0x1000, 1);
    auto& area = static_cast<CDeepScan&>(*manager.AreaByBit(0x1000));
    const std::uint64_t before = refs.fs_calls();
    t0 = std::chrono::steady_clock::now();
    result = area.WalkKeyInView(kHkeyLocalMachine, base, u"HKEY_LOCAL_MACHINE", true);
    deep = std::min(deep, Seconds(t0));
    calls = refs.fs_calls() - before;
    problems = area.Count();
  }

  const double w = walk > 0 ? walk : 1e-9, d = deep > 0 ? deep : 1e-9;
  std::printf("bare walk: %llu keys, %llu values in %.3f s (%.0f keys/s)\n",
              static_cast<unsigned long long>(walked.keys), static_cast<unsigned long long>(walked.values), walk,
              walked.keys / w);
  std::printf("deep scan: %.3f s (%.0f keys/s), result %d, %zu problems, %llu file-system calls\n", deep,
              walked.keys / d, result, problems, static_cast<unsigned long long>(calls));
  std::printf("ratio deep scan / bare walk: %.2f\n", deep / w);

  // Clean up what was seeded (matters on a real registry).
  t0 = std::chrono::steady_clock::now();
  (void)reg.DeleteTree(kHkeyLocalMachine, base, kKeyWow64_64Key);
  std::error_code ec;
  std::filesystem::remove_all(host, ec);
  std::printf("removed in %.1f s\n", Seconds(t0));
  return 0;
}
