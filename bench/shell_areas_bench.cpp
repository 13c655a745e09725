// Startup, Start menu, shortcut and history areas: scan time of the four
// areas over generated entries (2,000 Run values and 2,000 open/save list
// entries naming 200 distinct files, a tenth of them missing; 500 file
// extension histories; 1,000 shortcut files on the desktop, half of them
// dangling), the shortcuts read per second and the file-system calls.
// Natively on the store, the portable shell paths and liblnk; in the win32
// build on the real registry, file system and shell-link object (entries
// under unique names, removed afterwards). The shortcut files are copies of
// platform/contract/shortcuts/present.lnk and gone.lnk: run from the
// repository root. Prints figures; never fails.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "areas/areas.h"
#include "bench/bench_machine.h"
#include "engine/file_reference.h"
#include "engine/scan_manager.h"
#include "platform/callback_notifier.h"
#include "platform/log.h"
#include "platform/portable_key_protection.h"
#include "platform/portable_system_info.h"
#include "platform/shell_folders.h"
#ifdef _WIN32
#include "platform/win32/win32_shell_links.h"
#else
#include "platform/portable/liblnk_shell_links.h"
#endif

namespace hs {
namespace {

constexpr int kRunValues = 2000, kMruValues = 2000, kFiles = 200, kExtensions = 500, kShortcuts = 1000;
const Text kRun = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const Text kMru = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSaveMRU";
const Text kExts = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";
const Text kTargets = u"C:\\hs-shortcut-fixture\\App";

class BenchFolders final : public ShellFolders {
 public:
  Text AppDataFolder() override { return {}; }
  Text SpecialFolderPath(int csidl) override { return csidl == 0x00 ? desktop : Text(); }
  Text desktop;
};

std::vector<std::uint8_t> ReadHost(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace
}  // namespace hs

int main() {
  using namespace hs;
  BenchMachine m(BenchTag(u"hsbench"));
  const Text& tag = m.tag;
  const Text& folder = m.folder;
  const std::vector<std::uint8_t> present = ReadHost("platform/contract/shortcuts/present.lnk");
  const std::vector<std::uint8_t> gone = ReadHost("platform/contract/shortcuts/gone.lnk");
  if (present.empty() || gone.empty()) {
    std::printf("platform/contract/shortcuts not found: run from the repository root\n");
    return 0;
  }
  auto& reg = m.registry;
  auto& wow64 = m.wow64;
  auto& fs = m.fs;
  auto& shell = m.shell;
  const std::filesystem::path& host = m.host;
#ifdef _WIN32
  Win32ShellLinks links;
  std::filesystem::path targets_host(L"C:\\hs-shortcut-fixture");
#else
  LiblnkShellLinks links(fs, shell);
  std::filesystem::path targets_host = host / "hs-shortcut-fixture";
#endif
  (void)fs.CreateDirectories(folder + u"\\Desktop");
  (void)fs.CreateDirectories(kTargets);
  (void)fs.WriteFileAtomic(kTargets + u"\\present.exe", std::vector<std::uint8_t>{'x'});
  for (int f = 0; f < kFiles; ++f)
    if (f % 10 != 0) (void)fs.WriteFileAtomic(folder + u"\\doc" + ToText(f) + u".txt", std::vector<std::uint8_t>{'x'});
  for (int i = 0; i < kShortcuts; ++i)
    (void)fs.WriteFileAtomic(folder + u"\\Desktop\\link" + ToText(i) + u".lnk", i % 2 ? gone : present);

  const std::uint32_t view = wow64.IsWow64Process() ? kKeyWow64_64Key : 0;
  auto set = [&](const Text& key, const Text& name, const Text& data) {
    RegKey k = 0;
    if (reg.Create(kHkeyCurrentUser, key, kKeyAllAccess | view, &k, nullptr) != err::kSuccess) return;
    (void)reg.SetValue(k, name, kRegSz, SzData(data));
    reg.Close(k);
  };
  auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < kRunValues; ++i)
    set(kRun, tag + u"-" + ToText(i), u"\"" + folder + u"\\doc" + ToText(i % kFiles) + u".txt\" /x");
  for (int i = 0; i < kMruValues; ++i)
    set(kMru + u"\\" + tag + ToText(i % 5), ToText(i), folder + u"\\doc" + ToText(i % kFiles) + u".txt");
  for (int i = 0; i < kExtensions; ++i) {
    RegKey k = 0;
    if (reg.Create(kHkeyCurrentUser, kExts + u"\\." + tag + ToText(i) + u"\\OpenWithList", kKeyAllAccess | view, &k,
                   nullptr) == err::kSuccess)
      reg.Close(k);
  }
  std::printf("seeded %d Run values, %d open/save entries, %d extensions, %d shortcuts in %.2f s\n", kRunValues,
              kMruValues, kExtensions, kShortcuts, Seconds(t0));

  PortableSystemInfo system(MachineFacts{6, true, u"C:\\Windows\\system32", u"C:\\Windows\\SysWOW64"});
  PortableKeyProtection protection;
  CallbackNotifier notifier([](const CallbackNotifier::Message&) {});
  NullLog log;
  BenchFolders folders;
  folders.desktop = folder + u"\\Desktop";
  ScanContext context{reg, wow64, system, protection, notifier, log};
  ScanManager manager(context, CreateArea);
  FileReferences refs(shell, manager.reg(), nullptr, manager.system_folder(), manager.system_folder32());
  context.file_refs = &refs;
  context.shell = &shell;
  context.folders = &folders;
  context.fs = &fs;
  context.links = &links;
  std::map<std::uint32_t, double> seconds;
  std::map<std::uint32_t, std::size_t> found;
  for (std::uint32_t bit : {0x0800u, 0x0080u, 0x0020u}) {
    manager.CreateAreas(bit, 1);
    t0 = std::chrono::steady_clock::now();
    if (manager.StartScan()) manager.JoinWorker();
    seconds[bit] = Seconds(t0);
    found[bit] = manager.TotalProblems();
  }
  std::printf("startup: %.3f s, %zu problems (%d Run values)\n", seconds[0x0800], found[0x0800], kRunValues);
  std::printf("shortcuts: %.3f s, %zu problems, %.0f shortcuts/s\n", seconds[0x0080], found[0x0080],
              seconds[0x0080] > 0 ? kShortcuts / seconds[0x0080] : 0.0);
  // The history pass pauses 1 ms per extension and per open/save list.
  std::printf("history lists: %.3f s (of which %.2f s of 1 ms pauses), %zu problems\n", seconds[0x0020],
              (kExtensions + 5) * 0.001, found[0x0020]);
  std::printf("file-system calls of the file reference test: %llu, cached references: %zu\n",
              static_cast<unsigned long long>(refs.fs_calls()), refs.cache_size());
  manager.DestroyAreas();

  for (int i = 0; i < kRunValues; ++i) {
    RegKey k = 0;
    if (reg.Open(kHkeyCurrentUser, kRun, kKeyAllAccess | view, &k) != err::kSuccess) break;
    (void)reg.DeleteValue(k, tag + u"-" + ToText(i));
    reg.Close(k);
  }
  for (int i = 0; i < 5; ++i) (void)reg.DeleteTree(kHkeyCurrentUser, kMru + u"\\" + tag + ToText(i), view);
  for (int i = 0; i < kExtensions; ++i)
    (void)reg.DeleteTree(kHkeyCurrentUser, kExts + u"\\." + tag + ToText(i), view);
  std::error_code ec;
  std::filesystem::remove_all(host, ec);
  std::filesystem::remove_all(targets_host, ec);
  return 0;
}
