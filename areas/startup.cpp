#include "areas/startup.h"

#include "engine/scan_manager.h"

namespace hs {

namespace {

constexpr TextView kRunKeys[] = {u"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                                 u"Software\\Microsoft\\Windows\\CurrentVersion\\Run-"};
constexpr std::size_t kMaxRunValueChars = 260;
constexpr int kTypeStartupProgram = 41;

}  // namespace

CStartup::CStartup(ScanManager& manager) : CShellArea(0x0800, manager) {}

bool CStartup::PrepareScan() { return true; }

int CStartup::Scan() {
  (void)PrepareScan();
  for (bool machine : {true, false})
    for (TextView key : kRunKeys)
      if (ScanRunKey(machine, key) == 2) return 2;
  Sort();
  return 1;
}

int CStartup::ScanRunKey(bool machine, TextView key) {
  if (machine && windows64()) {
    if (ScanRunKeyIn(true, key, ReadWriteMask(true), false) == 2) return 2;
    return ScanRunKeyIn(true, key, ReadWriteMask(false), true);
  }
  return ScanRunKeyIn(machine, key, AccessMask(false, KeyAccess::kReadWrite, true), false);
}

int CStartup::ScanRunKeyIn(bool machine, TextView key, std::uint32_t mask, bool entry32) {
  const RegEnv& e = env();
  const RegKey root = machine ? kHkeyLocalMachine : kHkeyCurrentUser;
  KeyHolder k(e.registry);
  if (k.Open(root, key, mask) != err::kSuccess) return IsCancelled() ? 2 : 1;
  std::vector<Text> names;
  EnumValueNames(e, k.get(), &names);
  const Text full = RootName(root) + u"\\" + Text(key);
  for (const Text& name : names) {
    if (IsCancelled()) return 2;
    ReportProgress(u"Startup: " + name);
    Text data;
    if (ReadValueText(e.registry, k.get(), name, kMaxRunValueChars, &data) != ValueText::kText) continue;
    // An empty unnamed value is the key's default, not a start-up entry.
    if (data.empty() ? name.empty() : !ReferenceGone(CleanPath(data))) continue;
    Report(kTypeStartupProgram, full, name, data, entry32, {name});
  }
  return 1;
}

}  // namespace hs
