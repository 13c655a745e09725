#include "areas/fonts.h"

#include "areas/windows_folder.h"
#include "engine/scan_manager.h"
#include "platform/shell_folders.h"

namespace hs {

namespace {

constexpr TextView kFontsKey = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
constexpr std::size_t kMaxFontChars = 260;
constexpr int kTypeMissingFont = 23;

bool IsAbsolute(TextView data) { return data.size() >= 3 && data.substr(1, 2) == u":\\"; }

}  // namespace

CFonts::CFonts(ScanManager& manager) : CProgramArea(0x0008, manager) {}

bool CFonts::PrepareScan() {
  font_count_ = 0;
  KeyHolder key(env().registry);
  if (key.Open(kHkeyLocalMachine, kFontsKey, ReadMask(true)) != err::kSuccess) return false;
  RegKeyInfo info;
  if (env().registry.QueryInfo(key.get(), &info) == err::kSuccess) font_count_ = info.values;
  return font_count_ > 0;
}

int CFonts::Scan() {
  (void)PrepareScan();
  if (!folder_known_) {
    if (ShellFolders* folders = context().folders) fonts_folder_ = folders->SpecialFolderPath(kCsidlFonts);
    if (!fonts_folder_.empty() && fonts_folder_.back() != u'\\') fonts_folder_ += u'\\';
    folder_known_ = true;
  }
  std::vector<Text> names;
  KeyHolder key(env().registry);
  if (key.Open(kHkeyLocalMachine, kFontsKey, ReadMask(true)) != err::kSuccess) {
    Sort();
    return 1;
  }
  EnumValueNames(env(), key.get(), &names);
  const Text full = u"HKEY_LOCAL_MACHINE\\" + Text(kFontsKey);
  for (const Text& name : names) {
    if (IsCancelled()) return 2;
    ReportProgress(u"Font: " + name);
    Text data;
    if (ReadValueText(env().registry, key.get(), name, kMaxFontChars, &data) != ValueText::kText) continue;
    // A bare name without a known fonts folder names nothing to test.
    bool missing = data.empty();
    if (!missing && (IsAbsolute(data) || !fonts_folder_.empty()))
      missing = FileExists(IsAbsolute(data) ? data : fonts_folder_ + data) == -1;
    if (missing) Report(kTypeMissingFont, full, name, data, false, {u"Missing font " + name});
  }
  Sort();
  return 1;
}

}  // namespace hs
