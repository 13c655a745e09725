#include "areas/shared_files.h"

#include "engine/scan_manager.h"

namespace hs {

namespace {

constexpr TextView kSharedDllsKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr TextView kApprovedKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

// Read limit of an extension's description, in characters with the terminator.
constexpr std::size_t kMaxDescriptionChars = 260;

constexpr int kTypeMissingSharedFile = 33;

}  // namespace

CSharedFiles::CSharedFiles(ScanManager& manager) : CProgramArea(0x0040, manager) {}

bool CSharedFiles::PrepareScan() { return true; }

int CSharedFiles::Scan() {
  if (!PrepareScan()) return 1;
  for (bool is64 : PassViews())
    if (ScanSharedDlls(is64) == 2) return 2;
  for (bool is64 : PassViews())
    if (ScanApprovedExtensions(is64) == 2) return 2;
  Sort();
  return 1;
}

int CSharedFiles::ScanSharedDlls(bool is64_view) {
  const RegEnv& e = env();
  std::vector<Text> paths;
  {
    KeyHolder key(e.registry);
    if (key.Open(kHkeyLocalMachine, kSharedDllsKey, ReadWriteMask(is64_view)) != err::kSuccess) return 1;
    EnumValueNames(e, key.get(), &paths);
  }
  const Text key_path = u"HKEY_LOCAL_MACHINE\\" + Text(kSharedDllsKey);
  for (const Text& path : paths) {
    if (path.size() > kMaxSharedDllPathChars) continue;
    if (IsCancelled()) return 2;
    ReportProgress(u"Shared DLL: " + path);
    if (!ReferenceMissing(path, true)) continue;
    Report(kTypeMissingSharedFile, key_path, path, u"", Entry32(is64_view),
           {FormatText(String(u"IDS_MISSING_SHARED_FILE"), {FileNamePart(path)}), FolderPart(path)});
  }
  return 1;
}

int CSharedFiles::ScanApprovedExtensions(bool is64_view) {
  const RegEnv& e = env();
  KeyHolder key(e.registry);
  if (key.Open(kHkeyLocalMachine, kApprovedKey, ReadMask(is64_view)) != err::kSuccess) return 1;
  std::vector<Text> classes;
  EnumValueNames(e, key.get(), &classes);
  const Text key_path = u"HKEY_LOCAL_MACHINE\\" + Text(kApprovedKey);
  for (const Text& clsid : classes) {
    if (IsCancelled()) return 2;
    Text description;
    if (ReadValueText(e.registry, key.get(), clsid, kMaxDescriptionChars, &description) != ValueText::kText)
      description.clear();
    ReportProgress(u"Approved Shell Extensions: " + description);
    if (clsid.empty() || clsid[0] != u'{') continue;
    bool registered = false;
    for (bool view64 : {true, false}) {
      KeyHolder cls(e.registry);
      if (cls.Open(kHkeyClassesRoot, u"CLSID\\" + clsid, ReadMask(view64)) == err::kSuccess) {
        registered = true;
        break;
      }
    }
    if (registered) continue;
    Report(kTypeMissingSharedFile, key_path, clsid, u"", Entry32(is64_view),
           {FormatText(String(u"IDS_MISSING_SHARED_FILE"), {description}), description});
  }
  return 1;
}

}  // namespace hs
