#include "areas/software.h"

#include "engine/scan_manager.h"

namespace hs {

namespace {

constexpr TextView kUninstallKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr TextView kArpCacheKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache";
constexpr TextView kInstallerFoldersKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\Folders";

// Read limits, in characters with the terminator.
constexpr std::size_t kMaxDisplayNameChars = 260;
constexpr std::size_t kMaxEntryValueChars = 520;
// The installer tree: subkey names up to 519 characters, value names up to
// 1024, data up to 2048 bytes; what does not fit is skipped.
constexpr std::uint32_t kTreeKeyNameCapacity = 520;
constexpr std::uint32_t kTreeValueNameCapacity = 1025;
constexpr std::uint32_t kTreeValueDataCapacity = 2048;

constexpr int kTypeIncomplete = 35;
constexpr int kTypeMissingUninstaller = 36;
constexpr int kTypeMissingFile = 42;

// Values of an uninstall entry that name files, in the order they are checked.
constexpr TextView kEntryFileValues[] = {u"UninstallString", u"QuietUninstallString", u"InstallSource", u"DisplayIcon",
                                         u"Installlocation", u"helpstring",           u"readme"};

bool IsUninstaller(TextView value) {
  return EqualsNoCase(value, u"UninstallString") || EqualsNoCase(value, u"QuietUninstallString");
}

// Entries Windows itself owns or that must not be removed.
bool IsProtectedEntry(const std::vector<Text>& values) {
  for (const Text& v : values) {
    const Text l = Lowercase(v);
    if (l == u"noremove" || l == u"systemcomponent" || l == u"windowscomponent") return true;
  }
  return false;
}

// The value's name as the entry stores it (its case), else as asked.
Text StoredName(const std::vector<Text>& values, TextView name) {
  for (const Text& v : values)
    if (EqualsNoCase(v, name)) return v;
  return Text(name);
}

// "C:\..." or "\"C:\...": a value name that looks like an absolute path.
bool LooksLikeAbsolutePath(TextView name) {
  if (name.size() < 4) return false;
  if (name[0] == u'"' && name[2] == u':' && name[3] == u'\\') return true;
  return name[1] == u':' && name[2] == u'\\';
}

}  // namespace

CSoftware::CSoftware(ScanManager& manager) : CProgramArea(0x0100, manager) {}

bool CSoftware::PrepareScan() { return true; }

int CSoftware::Scan() {
  (void)PrepareScan();
  for (bool is64 : PassViews())
    if (ScanUninstall(is64) == 2) return 2;
  if (IsCancelled() || ScanArpCache() == 2) return 2;
  if (IsCancelled() || ScanInstallerFolders() == 2) return 2;
  if (IsCancelled() || ScanInstallerTree(kHkeyClassesRoot, u"Installer", windows64()) == 2) return 2;
  Sort();
  return 1;
}

// ---- Uninstall entries ----

int CSoftware::ScanUninstall(bool is64_view) {
  std::vector<Text> names;
  {
    KeyHolder key(env().registry);
    if (key.Open(kHkeyLocalMachine, kUninstallKey, ReadMask(is64_view)) != err::kSuccess) return 1;
    EnumSubkeyNames(env(), key.get(), &names);
  }
  for (const Text& name : names) {
    Pause();
    if (IsCancelled()) return 2;
    CheckUninstallEntry(name, is64_view);
  }
  return 1;
}

void CSoftware::CheckUninstallEntry(const Text& name, bool is64_view) {
  const RegEnv& e = env();
  const Text subkey = Text(kUninstallKey) + u"\\" + name;
  KeyHolder key(e.registry);
  if (key.Open(kHkeyLocalMachine, subkey, ReadWriteMask(is64_view)) != err::kSuccess) return;
  std::vector<Text> values;
  EnumValueNames(e, key.get(), &values);
  if (IsProtectedEntry(values)) return;
  const Text full = u"HKEY_LOCAL_MACHINE\\" + subkey;
  const bool entry32 = Entry32(is64_view);

  if (values.empty() || (values.size() == 1 && values[0].empty())) {
    std::vector<Text> subkeys;
    if (!EnumSubkeyNames(e, key.get(), &subkeys) && !context().skip_empty_keys)
      Report(kTypeIncomplete, full, u"UninstallString", u"", entry32, {String(u"IDS_INCOMPLETE_ENTRY") + u" " + name});
    return;
  }

  Text display;
  if (ReadValueText(e.registry, key.get(), u"DisplayName", kMaxDisplayNameChars, &display) != ValueText::kText)
    display.clear();
  const Text label = display.empty() ? name : display;

  Text text;
  if (ReadValueText(e.registry, key.get(), u"UninstallString", kMaxEntryValueChars, &text) == ValueText::kMissing &&
      ReadValueText(e.registry, key.get(), u"QuietUninstallString", kMaxEntryValueChars, &text) ==
          ValueText::kMissing) {
    Report(kTypeMissingUninstaller, full, u"UninstallString", u"", entry32, {label});
    return;
  }

  for (TextView value : kEntryFileValues) {
    if (ReadValueText(e.registry, key.get(), value, kMaxEntryValueChars, &text) != ValueText::kText) continue;
    if (text.empty() || !UninstallReferenceMissing(text)) continue;
    Report(IsUninstaller(value) ? kTypeMissingUninstaller : kTypeMissingFile, full, StoredName(values, value), text,
           entry32, {label});
  }
}

// A bare program name ("MsiExec.exe /X{...}") is looked for in the system
// folder too. Only a bare name: a rooted path with the system folder in
// front names nothing, and the drive walk would call it "undecided", which
// would hide every missing uninstaller given by its full path.
bool CSoftware::UninstallReferenceMissing(TextView text) {
  const Text path = CleanPath(text);
  if (!PathMissing(path, true)) return false;
  if (IsRootedPath(path) || system_folder().empty()) return true;
  return PathMissing(JoinWithBackslash(system_folder(), path), true);
}

// ---- Add/Remove Programs cache ----

int CSoftware::ScanArpCache() {
  const RegEnv& e = env();
  for (bool is64 : PassViews()) {
    std::vector<Text> names;
    {
      KeyHolder key(e.registry);
      if (key.Open(kHkeyLocalMachine, kArpCacheKey, ReadMask(is64)) != err::kSuccess) continue;
      EnumSubkeyNames(e, key.get(), &names);
    }
    for (const Text& name : names) {
      Pause();
      if (IsCancelled()) return 2;
      KeyHolder entry(e.registry);
      const WinError r = entry.Open(kHkeyLocalMachine, Text(kUninstallKey) + u"\\" + name, ReadMask(is64));
      // Access denied says the entry is there.
      if (r == err::kSuccess || r == err::kAccessDenied) continue;
      Report(kTypeIncomplete, u"HKEY_LOCAL_MACHINE\\" + Text(kArpCacheKey) + u"\\" + name, u"", u"", Entry32(is64),
             {String(u"IDS_INCOMPLETE_ENTRY") + u" " + name});
    }
  }
  return 1;
}

// ---- Installer folders ----

int CSoftware::ScanInstallerFolders() {
  const RegEnv& e = env();
  for (bool is64 : PassViews()) {
    std::vector<Text> folders;
    {
      KeyHolder key(e.registry);
      if (key.Open(kHkeyLocalMachine, kInstallerFoldersKey, ReadMask(is64)) != err::kSuccess) continue;
      EnumValueNames(e, key.get(), &folders);
    }
    for (const Text& folder : folders) {
      Pause();
      if (IsCancelled()) return 2;
      ReportProgress(u"Install Folder: " + folder);
      if (ReferenceMissing(folder, true))
        Report(kTypeMissingUninstaller, u"HKEY_LOCAL_MACHINE\\" + Text(kInstallerFoldersKey), folder, u"",
               Entry32(is64), {folder});
    }
  }
  return 1;
}

// ---- Installer tree ----

int CSoftware::ScanInstallerTree(RegKey root, TextView path, bool is64_view) {
  return WalkInstallerTree(root, Text(path), is64_view, 0);
}

int CSoftware::WalkInstallerTree(RegKey root, const Text& path, bool is64_view, int depth) {
  if (IsCancelled()) return 2;
  Registry& reg = env().registry;
  KeyHolder key(reg);
  if (key.Open(root, path, ReadWriteMask(is64_view)) != err::kSuccess) return 1;
  RegKeyInfo info;
  if (reg.QueryInfo(key.get(), &info) != err::kSuccess) return 1;

  for (std::uint32_t i = 0; i < info.subkeys; ++i) {
    Text name;
    if (reg.EnumKey(key.get(), i, kTreeKeyNameCapacity, &name) != err::kSuccess || name.empty()) continue;
    const Text full = path.empty() ? name : path + u"\\" + name;
    if (i % 2 == 1) ReportProgress(RootName(root) + u"\\" + full);
    if (Lowercase(full).find(u"\\wow6432node") != Text::npos || EqualsNoCase(full, path)) continue;
    if (depth + 1 >= kMaxInstallerTreeDepth) continue;
    if (WalkInstallerTree(root, full, is64_view, depth + 1) == 2) return 2;
  }
  CheckInstallerValues(root, key.get(), path, is64_view);
  return 1;
}

void CSoftware::CheckInstallerValues(RegKey root, RegKey key, const Text& path, bool is64_view) {
  Registry& reg = env().registry;
  RegKeyInfo info;
  if (reg.QueryInfo(key, &info) != err::kSuccess) return;
  const Text full = RootName(root) + u"\\" + path;
  const bool entry32 = Entry32(is64_view);
  for (std::uint32_t i = 0; i < info.values; ++i) {
    Text name;
    RegValue value;
    if (reg.EnumValue(key, i, kTreeValueNameCapacity, kTreeValueDataCapacity, &name, &value) != err::kSuccess) continue;
    if (LooksLikeAbsolutePath(name) && ReferenceMissing(name, true))
      Report(kTypeMissingFile, full, name, name, entry32, {String(u"IDS_ENG_MISSING_FILE")});
    if ((value.type == kRegSz || value.type == kRegExpandSz) && value.data.size() >= 3) {
      Text text = FromUtf16leBytes(value.data.data(), value.data.size() & ~static_cast<std::size_t>(1));
      const auto nul = text.find(u'\0');
      if (nul != Text::npos) text.resize(nul);
      if (!text.empty() && ReferenceMissing(text, true))
        Report(kTypeMissingFile, full, name, text, entry32, {String(u"IDS_ENG_MISSING_FILE")});
    }
  }
}

}  // namespace hs
