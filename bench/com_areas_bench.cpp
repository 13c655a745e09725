// COM registrations and file types: scan time of the two areas over a
// generated registry (50,000 classes with servers, type library references
// and program identifiers, a fifth of them in the 32-bit view; 5,000 type
// libraries; 20,000 interfaces; 5,000 extensions with their file types; a
// tenth of every kind dangling), the registry calls per class, and the
// ratio to a bare walk of the same keys in both views.
// Natively on the store and the portable shell paths; in the win32 build on
// the real registry and file system (entries under unique names, removed
// afterwards). Prints figures; never fails.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>

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

constexpr int kClasses = 50000;
constexpr int kLibraries = 5000;
constexpr int kInterfaces = 20000;
constexpr int kExtensions = 5000;
constexpr int kFiles = 2000;

// Counts the calls that reach the registry.
class CountingRegistry final : public Registry {
 public:
  explicit CountingRegistry(Registry& inner) : r_(inner) {}
  std::atomic<std::uint64_t> opens{0}, calls{0};

  WinError Open(RegKey p, TextView s, std::uint32_t sam, RegKey* out) override {
    ++opens;
    ++calls;
    return r_.Open(p, s, sam, out);
  }
  WinError Create(RegKey p, TextView s, std::uint32_t sam, RegKey* out, bool* created) override {
    ++calls;
    return r_.Create(p, s, sam, out, created);
  }
  void Close(RegKey k) override { r_.Close(k); }
  WinError QueryInfo(RegKey k, RegKeyInfo* i) override {
    ++calls;
    return r_.QueryInfo(k, i);
  }
  WinError EnumKey(RegKey k, std::uint32_t i, std::uint32_t c, Text* n) override {
    ++calls;
    return r_.EnumKey(k, i, c, n);
  }
  WinError EnumValue(RegKey k, std::uint32_t i, std::uint32_t nc, std::uint32_t dc, Text* n, RegValue* v) override {
    ++calls;
    return r_.EnumValue(k, i, nc, dc, n, v);
  }
  WinError QueryValue(RegKey k, TextView n, RegValue* v) override {
    ++calls;
    return r_.QueryValue(k, n, v);
  }
  WinError SetValue(RegKey k, TextView n, std::uint32_t t, const std::vector<std::uint8_t>& d) override {
    return r_.SetValue(k, n, t, d);
  }
  WinError DeleteValue(RegKey k, TextView n) override { return r_.DeleteValue(k, n); }
  WinError DeleteKey(RegKey p, TextView s, std::uint32_t v) override { return r_.DeleteKey(p, s, v); }
  WinError DeleteTree(RegKey p, TextView s, std::uint32_t v) override { return r_.DeleteTree(p, s, v); }
  WinError Flush(RegKey k) override { return r_.Flush(k); }
  WinError SaveKey(RegKey k, TextView f) override { return r_.SaveKey(k, f); }

 private:
  Registry& r_;
};

// A fifth of the classes, in runs of seven, are in the 32-bit view.
bool View32(int i) { return (i / 7) % 5 == 0; }

void Put(Registry& reg, const Text& subkey, std::uint32_t view, TextView name, TextView text) {
  RegKey k = 0;
  if (reg.Create(kHkeyClassesRoot, subkey, kKeyAllAccess | view, &k, nullptr) != err::kSuccess) return;
  (void)reg.SetValue(k, name, kRegSz, SzData(text));
  reg.Close(k);
}

}  // namespace
}  // namespace hs

int main() {
  using namespace hs;
  BenchMachine m(BenchTag(u"hsbench"));
  const Text& tag = m.tag;
  const Text& folder = m.folder;
  auto& real = m.registry;
  auto& wow64 = m.wow64;
  auto& fs = m.fs;
  auto& shell = m.shell;
  const std::filesystem::path& host = m.host;
  CountingRegistry reg(real);
  (void)fs.CreateDirectories(folder);
  (void)fs.CreateDirectories(folder + u"\\help");
  for (int f = 0; f < kFiles; ++f)
    if (f % 10 != 0) (void)fs.WriteFileAtomic(folder + u"\\srv" + ToText(f) + u".dll", std::vector<std::uint8_t>{'x'});
  auto file = [&](int i) { return folder + u"\\srv" + ToText(i % kFiles) + u".dll"; };
  auto guid = [&](const char16_t* kind, int i) { return u"{" + tag + u"-" + kind + ToText(i) + u"}"; };

  auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < kClasses; ++i) {
    const std::uint32_t view = View32(i) ? kKeyWow64_32Key : kKeyWow64_64Key;
    const Text cls = u"CLSID\\" + guid(u"c", i);
    Put(reg, cls, view, u"", u"Class " + ToText(i));
    Put(reg, cls + u"\\InprocServer32", view, u"", file(i));
    Put(reg, cls + u"\\ProgID", view, u"", tag + u".Class." + ToText(i));
    // Every tenth reference names a library that does not exist.
    Put(reg, cls + u"\\TypeLib", view, u"", guid(u"l", (i % 10 == 0) ? kLibraries + i : i % kLibraries));
    if (i % 20 == 0) Put(reg, cls, view, u"AppID", guid(u"a", i));
  }
  for (int i = 0; i < kLibraries; ++i) {
    const Text lib = u"TypeLib\\" + guid(u"l", i);
    Put(reg, lib + u"\\1.0", kKeyWow64_64Key, u"", u"Library " + ToText(i));
    Put(reg, lib + u"\\1.0\\0\\win32", kKeyWow64_64Key, u"", file(i) + u"\\2");
    Put(reg, lib + u"\\1.0\\FLAGS", kKeyWow64_64Key, u"", u"0");
    Put(reg, lib + u"\\1.0\\HELPDIR", kKeyWow64_64Key, u"", folder + (i % 10 == 0 ? u"\\nohelp" : u"\\help"));
  }
  for (int i = 0; i < kInterfaces; ++i) {
    const Text itf = u"Interface\\" + guid(u"i", i);
    Put(reg, itf, kKeyWow64_64Key, u"", u"IThing" + ToText(i));
    // Classes of the 64-bit view, every tenth missing.
    Put(reg, itf + u"\\ProxyStubClsid32", kKeyWow64_64Key, u"", guid(u"c", i % 10 == 0 ? kClasses + i : 7 + (35 * i) % (kClasses - 7)));
    Put(reg, itf + u"\\TypeLib", kKeyWow64_64Key, u"", guid(u"l", i % kLibraries));
  }
  for (int i = 0; i < kExtensions; ++i) {
    const Text ext = u"." + tag + ToText(i);
    const Text type = tag + u".Type" + ToText(i);
    Put(reg, ext, kKeyWow64_64Key, u"", i % 10 == 0 ? tag + u".Gone" + ToText(i) : type);
    if (i % 10 == 0) continue;
    Put(reg, type, kKeyWow64_64Key, u"", u"Type " + ToText(i));
    Put(reg, type + u"\\shell\\edit\\command", kKeyWow64_64Key, u"", u"\"" + file(i + 7) + u"\" \"%1\"");
    Put(reg, type + u"\\DefaultIcon", kKeyWow64_64Key, u"", file(i + 3) + u",0");
    Put(reg, type + u"\\CLSID", kKeyWow64_64Key, u"", guid(u"c", i));
  }
  std::printf("seeded %d classes, %d type libraries, %d interfaces, %d extensions in %.2f s\n", kClasses, kLibraries,
              kInterfaces, kExtensions, Seconds(t0));

  // Bare walks of the same keys, both views.
  std::vector<Text> top;
  {
    RegKey k = 0;
    if (reg.Open(kHkeyClassesRoot, u"", kKeyRead | kKeyWow64_64Key, &k) == err::kSuccess) {
      RegKeyInfo info;
      if (reg.QueryInfo(k, &info) == err::kSuccess)
        for (std::uint32_t i = 0; i < info.subkeys; ++i) {
          Text n;
          if (reg.EnumKey(k, i, 256, &n) == err::kSuccess) top.push_back(n);
        }
      reg.Close(k);
    }
  }
  auto walk = [&](bool com, WalkCounts* counts) {
    const auto s = std::chrono::steady_clock::now();
    for (std::uint32_t view : {kKeyWow64_64Key, kKeyWow64_32Key})
      for (const Text& name : top) {
        const bool tree = EqualsNoCase(name, u"CLSID") || EqualsNoCase(name, u"AppID") ||
                          EqualsNoCase(name, u"TypeLib") || EqualsNoCase(name, u"Interface");
        if (tree != com || EqualsNoCase(name, u"Wow6432Node")) continue;
        WalkCounts c = WalkRegistry(reg, kHkeyClassesRoot, name, view);
        counts->keys += c.keys;
        counts->values += c.values;
      }
    return Seconds(s);
  };
  WalkCounts warm, com_walked, types_walked;
  (void)walk(true, &warm);
  const double com_walk = walk(true, &com_walked);
  const double types_walk = walk(false, &types_walked);

  BenchScan scan_setup(reg, wow64, shell);
  ScanManager& manager = scan_setup.manager;
  FileReferences& refs = scan_setup.refs;
  for (std::uint32_t bit : {0x0001u, 0x0004u}) {
    manager.CreateAreas(bit, 1);
    const std::uint64_t opens0 = reg.opens.load(), calls0 = reg.calls.load(), fs0 = refs.fs_calls();
    t0 = std::chrono::steady_clock::now();
    if (manager.StartScan()) manager.JoinWorker();
    const double scan = Seconds(t0);
    const bool com = bit == 0x0001;
    const WalkCounts& w = com ? com_walked : types_walked;
    const double bare = com ? com_walk : types_walk;
    std::printf("%s: bare walk %llu keys, %llu values in %.3f s; scan %.3f s, ratio %.2f\n",
                com ? "ActiveX and COM" : "File types", static_cast<unsigned long long>(w.keys),
                static_cast<unsigned long long>(w.values), bare, scan, bare > 0 ? scan / bare : 0.0);
    const std::uint64_t opens = reg.opens.load() - opens0, calls = reg.calls.load() - calls0;
    const double per = com ? static_cast<double>(kClasses) : static_cast<double>(kExtensions * 2);
    std::printf("  %zu problems; %llu key opens, %llu registry calls (%.1f opens per %s), %llu file-system calls\n",
                manager.TotalProblems(), static_cast<unsigned long long>(opens), static_cast<unsigned long long>(calls),
                opens / per, com ? "class" : "name", static_cast<unsigned long long>(refs.fs_calls() - fs0));
    std::map<int, std::pair<int, int>> by_type;  // entry type -> (64-bit view, 32-bit view)
    for (const auto& p : manager.AreaByBit(bit)->problems())
      ++(p->entry32 ? by_type[p->entry_type].second : by_type[p->entry_type].first);
    std::printf("  by entry type (64-bit view / 32-bit view):");
    for (const auto& [type, n] : by_type) std::printf(" %d: %d/%d", type, n.first, n.second);
    std::printf("\n");
  }

  // Clean up (matters on a real registry).
  auto drop = [&](const Text& subkey, std::uint32_t view) { (void)real.DeleteTree(kHkeyClassesRoot, subkey, view); };
  for (int i = 0; i < kClasses; ++i) drop(u"CLSID\\" + guid(u"c", i), View32(i) ? kKeyWow64_32Key : kKeyWow64_64Key);
  for (int i = 0; i < kLibraries; ++i) drop(u"TypeLib\\" + guid(u"l", i), kKeyWow64_64Key);
  for (int i = 0; i < kInterfaces; ++i) drop(u"Interface\\" + guid(u"i", i), kKeyWow64_64Key);
  for (int i = 0; i < kExtensions; ++i) {
    drop(u"." + tag + ToText(i), kKeyWow64_64Key);
    drop(tag + u".Type" + ToText(i), kKeyWow64_64Key);
  }
  std::error_code ec;
  std::filesystem::remove_all(host, ec);
  return 0;
}
