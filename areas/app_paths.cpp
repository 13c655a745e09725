#include "areas/app_paths.h"

#include "engine/scan_manager.h"

namespace hs {

namespace {

constexpr TextView kAppPathsKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
constexpr TextView kApplicationsKey = u"SOFTWARE\\Classes\\Applications";

// Read limits, in characters with the terminator.
constexpr std::size_t kMaxAppPathChars = 260;
constexpr std::size_t kMaxCommandChars = 1024;

constexpr int kTypeMissingCommand = 13;
constexpr int kTypeEmptyAppKey = 1;
constexpr int kTypeValuelessAppKey = 14;

}  // namespace

CAppPaths::CAppPaths(ScanManager& manager) : CProgramArea(0x0002, manager) {}

bool CAppPaths::PrepareScan() { return true; }

int CAppPaths::Scan() {
  (void)PrepareScan();
  if (windows64()) return ScanAppPathsView(true);
  for (RegKey root : {kHkeyLocalMachine, kHkeyCurrentUser})
    if (ScanRoot(root, true) == 2) return 2;
  if (ScanApplications(true) == 2) return 2;
  Sort();
  return 1;
}

int CAppPaths::ScanAppPathsView(bool is64_view) {
  if (is64_view) {
    for (RegKey root : {kHkeyCurrentUser, kHkeyLocalMachine})
      if (ScanRoot(root, true) == 2) return 2;
    if (IsCancelled()) return 2;
    if (ScanAppPathsView(false) == 2) return 2;
    if (ScanApplications(true) == 2) return 2;
    if (ScanApplications(false) == 2) return 2;
    Sort();
    return 1;
  }
  return ScanRoot(kHkeyLocalMachine, false);
}

int CAppPaths::ScanRoot(RegKey root, bool is64_view) {
  std::vector<Text> names;
  {
    KeyHolder key(env().registry);
    if (key.Open(root, kAppPathsKey, ReadMask(is64_view)) != err::kSuccess) return 1;
    if (!EnumSubkeyNames(env(), key.get(), &names)) return 1;
  }
  for (const Text& name : names) {
    if (IsCancelled()) return 2;
    ReportProgress(u"Application Paths: " + name);
    CheckAppKey(root, name, is64_view);
  }
  return 1;
}

void CAppPaths::CheckAppKey(RegKey root, const Text& name, bool is64_view) {
  const RegEnv& e = env();
  const Text subkey = Text(kAppPathsKey) + u"\\" + name;
  KeyHolder key(e.registry);
  if (key.Open(root, subkey, ReadWriteMask(is64_view)) != err::kSuccess) return;
  const Text full = RootName(root) + u"\\" + subkey;
  const bool entry32 = Entry32(is64_view);
  const bool skip_empty = context().skip_empty_keys;

  Text program;
  switch (ReadValueText(e.registry, key.get(), u"", kMaxAppPathChars, &program)) {
    case ValueText::kUnreadable:
      return;
    case ValueText::kMissing: {
      std::vector<Text> values;
      if (EnumValueNames(e, key.get(), &values) == 0 && !skip_empty)
        Report(kTypeValuelessAppKey, full, u"", u"", entry32, {name});
      return;
    }
    case ValueText::kText:
      break;
  }
  if (!program.empty()) {
    if (ReferenceMissing(program, false)) Report(kTypeMissingCommand, full, u"", program, entry32, {name});
    return;
  }

  // An empty default value: the program may be named by the folder in "Path".
  std::vector<Text> subkeys;
  if (EnumSubkeyNames(e, key.get(), &subkeys)) return;
  std::vector<Text> values;
  EnumValueNames(e, key.get(), &values);
  std::vector<Text> named;
  for (Text& v : values)
    if (!v.empty()) named.push_back(std::move(v));
  if (named.empty() && !skip_empty) {
    Report(kTypeEmptyAppKey, full, u"", u"", entry32, {name});
    return;
  }
  for (const Text& v : named) {
    if (!EqualsNoCase(v, u"path")) continue;
    Text folder;
    if (ReadValueText(e.registry, key.get(), v, kMaxAppPathChars, &folder) != ValueText::kText || folder.empty())
      continue;
    const Text clean = CleanPath(folder);
    if (clean.empty()) continue;
    const Text joined = JoinWithBackslash(clean, name);
    if (PathMissing(joined, false)) Report(kTypeMissingCommand, full, u"", joined, entry32, {name});
  }
}

int CAppPaths::ScanApplications(bool is64_view) {
  std::vector<Text> names;
  {
    KeyHolder key(env().registry);
    if (key.Open(kHkeyLocalMachine, kApplicationsKey, ReadMask(is64_view)) != err::kSuccess) return 1;
    EnumSubkeyNames(env(), key.get(), &names);
  }
  for (const Text& name : names) {
    if (IsCancelled()) return 2;
    ReportProgress(Text(kApplicationsKey) + u"\\" + name);
    CheckApplication(name, is64_view);
  }
  return 1;
}

void CAppPaths::CheckApplication(const Text& name, bool is64_view) {
  const RegEnv& e = env();
  const std::uint32_t read = ReadMask(is64_view);
  const Text app_key = Text(kApplicationsKey) + u"\\" + name;
  KeyHolder app(e.registry);
  if (app.Open(kHkeyLocalMachine, app_key, read) != err::kSuccess) return;
  std::vector<Text> app_subkeys;
  if (!EnumSubkeyNames(e, app.get(), &app_subkeys)) return;
  KeyHolder shell(e.registry);
  if (shell.Open(app.get(), u"SHELL", read) != err::kSuccess) return;
  std::vector<Text> verbs;
  if (!EnumSubkeyNames(e, shell.get(), &verbs)) return;
  shell.Reset();
  app.Reset();

  for (const Text& verb : verbs) {
    const Text verb_key = app_key + u"\\shell\\" + verb;
    const Text command_key = verb_key + u"\\command";
    Text command;
    {
      KeyHolder cmd(e.registry);
      if (cmd.Open(kHkeyLocalMachine, command_key, read) != err::kSuccess) continue;
      if (ReadValueText(e.registry, cmd.get(), u"", kMaxCommandChars, &command) != ValueText::kText) continue;
    }
    if (command.empty() || !ReferenceMissing(command, false)) continue;

    // Report the smallest key that holds nothing but the broken command.
    const Text* report = &command_key;
    if (app_subkeys.size() > 1 || verbs.size() > 1) {
      report = &verb_key;
    } else {
      KeyHolder vk(e.registry);
      std::vector<Text> verb_subkeys;
      if (vk.Open(kHkeyLocalMachine, verb_key, read) != err::kSuccess) {
        report = &app_key;
      } else {
        EnumSubkeyNames(e, vk.get(), &verb_subkeys);
        if (verb_subkeys.size() <= 1) report = &app_key;
      }
    }
    Report(kTypeMissingCommand, u"HKEY_LOCAL_MACHINE\\" + *report, u"", command, Entry32(is64_view), {name});
  }
}

}  // namespace hs
