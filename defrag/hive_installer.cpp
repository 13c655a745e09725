#include "defrag/hive_installer.h"

#include <algorithm>
#include <cstdio>

#include "platform/hive_limits.h"

namespace hs {
namespace {

constexpr TextView kMachineHives[] = {u"\\REGISTRY\\MACHINE\\SAM", u"\\REGISTRY\\MACHINE\\SECURITY",
                                      u"\\REGISTRY\\MACHINE\\SOFTWARE", u"\\REGISTRY\\MACHINE\\SYSTEM"};

Text FirstWord(TextView entry) {
  const Text trimmed = Trim(entry);
  return trimmed.substr(0, trimmed.find(u' '));
}

}  // namespace

std::vector<Text> MultiStringEntries(const std::vector<std::uint8_t>& data) {
  std::vector<Text> out;
  const Text all = FromUtf16leBytes(data.data(), data.size() & ~std::size_t{1});
  std::size_t start = 0;
  while (start < all.size()) {
    std::size_t end = all.find(u'\0', start);
    if (end == Text::npos) end = all.size();
    if (end == start) break;  // the closing empty string
    out.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

std::vector<std::uint8_t> MultiStringData(const std::vector<Text>& entries) {
  std::vector<std::uint8_t> out;
  for (const Text& e : entries) {
    const std::vector<std::uint8_t> b = ToUtf16leBytes(e);
    out.insert(out.end(), b.begin(), b.end());
    out.push_back(0);
    out.push_back(0);
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

std::vector<Text> BootExecuteWithEntry(const std::vector<Text>& old_entries, TextView ours) {
  Text autocheck;
  std::vector<Text> others;
  for (const Text& e : old_entries) {
    const Text word = FirstWord(e);
    if (EqualsNoCase(word, u"autocheck")) {
      if (autocheck.empty()) autocheck = e;
    } else if (!EqualsNoCase(word, kBootProgram32) && !EqualsNoCase(word, kBootProgram64) && !Trim(e).empty()) {
      others.push_back(e);
    }
  }
  std::vector<Text> out{autocheck.empty() ? Text(kAutocheckEntry) : autocheck, Text(ours)};
  out.insert(out.end(), others.begin(), others.end());
  return out;
}

Text ErrorDetail(WinError error, TextView system_message) {
  if (error == 0) return u"Unknown error";
  char buf[32];
  std::snprintf(buf, sizeof buf, "Error code 0x%02x.\r\n", static_cast<unsigned>(error));
  return FromUtf8(buf) + Text(system_message);
}

HiveInstaller::HiveInstaller(Env env) : env_(std::move(env)) {
  for (const DriveDevice& d : env_.hives.FixedDrives()) drives[Upcase(d.drive)] = d.device;
}

Text HiveInstaller::BootProgram() const { return Text(env_.windows64 ? kBootProgram64 : kBootProgram32); }
Text HiveInstaller::BootProgramFile() { return env_.hives.Folders().system_dir + u"\\" + BootProgram() + u".exe"; }
Text HiveInstaller::ParameterFilePath() {
  return env_.hives.Folders().system_dir + u"\\" + Text(kParameterFileName);
}

Text HiveInstaller::Fill(TextView format, WinError e) {
  return FormatText(format, {ErrorDetail(e, e ? env_.hives.SystemMessage(e) : Text())});
}

bool HiveInstaller::BuildHiveList() {
  params.clear();
  std::vector<LoadedHive> loaded;
  if (env_.hives.ListLoaded(&loaded) != err::kSuccess) return false;
  std::vector<const LoadedHive*> chosen;
  const bool vista64 = env_.major_version == 6 && env_.hives.WindowsMinorVersion() == 0 && env_.windows64;
  for (TextView name : kMachineHives) {
    if (vista64 && name == kMachineHives[2]) continue;
    const auto it = std::find_if(loaded.begin(), loaded.end(), [&](const LoadedHive& h) { return EqualsNoCase(h.name, name); });
    if (it != loaded.end()) chosen.push_back(&*it);
  }
  for (const LoadedHive& h : loaded) {
    const std::vector<Text> parts = Split(h.name, u'\\');
    if (parts.size() < 3 || !StartsWithNoCase(parts[2], u"USER") || Upcase(h.name).find(u"\\.DEFAULT") != Text::npos ||
        h.path.empty())
      continue;
    chosen.push_back(&h);
  }
  for (const LoadedHive* h : chosen) {
    SHiveInfoParams p;
    p.name = h->name;
    p.devicePath = h->path;
    if (h->path.find(u':') != Text::npos) {
      p.filePath = h->path;
    } else {
      const std::vector<Text> parts = Split(h->path, u'\\');
      if (parts.size() < 4) continue;
      const Text device = parts[0] + u"\\" + parts[1] + u"\\" + parts[2];
      const auto it = std::find_if(drives.begin(), drives.end(),
                                   [&](const auto& d) { return EqualsNoCase(d.second, device); });
      if (it == drives.end()) continue;  // not on a fixed drive
      p.filePath = it->first + h->path.substr(device.size());
    }
    std::uint64_t size = 0;
    if (env_.hives.FileSize(p.filePath, &size) != err::kSuccess || size == 0) continue;
    p.size = size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(size);
    params.push_back(std::move(p));
  }
  return true;
}

bool HiveInstaller::WriteParameterFile(Text* nt_path) {
  const Text path = ParameterFilePath();
  if (WinError e = env_.hives.WriteFile(path, {})) {
    error = Fill(u"Install failed!\r\nFailed to create parameter file2.\r\n%s", e);
    return false;
  }
  ParameterFile file;
  file.count = static_cast<std::uint32_t>(params.size());
  file.version = static_cast<std::uint32_t>(env_.major_version);
  file.status = kCompactionPending;
  for (const SHiveInfoParams& p : params) file.records.push_back({p.name, p.devicePath, p.size, p.mode});
  if (WinError e = env_.hives.WriteFile(path, EncodeParameterFile(file, ParameterForm::kWritten))) {
    (void)env_.hives.DeleteFile(path);
    error = Fill(u"Install failed!\r\nError during file write.\r\n%s", e);
    return false;
  }
  *nt_path = u"\\??\\" + path;
  return true;
}

bool HiveInstaller::SetUpBootExecute(TextView nt_path) {
  RegValue old;
  const WinError e = env_.hives.ReadBootExecute(&old);
  if (e != err::kSuccess && e != err::kFileNotFound) {
    error = Fill(u"Install failed!\r\nFailed to open registry key1\r\n%s", e);
    return false;
  }
  const std::vector<Text> entries = BootExecuteWithEntry(
      e == err::kSuccess ? MultiStringEntries(old.data) : std::vector<Text>{}, BootProgram() + u" " + Text(nt_path));
  RegValue value;
  value.type = kRegMultiSz;
  value.data = MultiStringData(entries);
  if (WinError w = env_.hives.WriteBootExecute(value)) {
    error = Fill(u"Install failed!\r\nFailed to write registry key1\r\n%s", w);
    return false;
  }
  return true;
}

bool HiveInstaller::InstallBootCompaction(bool* quit) {
  if (quit) *quit = false;
  const Text program = BootProgramFile();
  if (!env_.hives.Exists(program)) {
    // Without the boot program a restart could compact nothing.
    env_.prompts.Ask(u"Install failed!\r\nThe boot-time program is missing:\r\n" + program, PromptButtons::kOk,
                     PromptIcon::kError);
    env_.log.LogLine(u"Boot compaction not installed: " + LogSafe(program) + u" is missing");
    return false;
  }
  Text nt_path;
  error.clear();
  if (!BuildHiveList() || !WriteParameterFile(&nt_path)) {
    env_.prompts.Ask(error.empty() ? Fill(u"Install failed!\r\nCannot create parameter file.\r\n%s", 0) : error,
                     PromptButtons::kOk, PromptIcon::kError);
    return false;
  }
  if (!SetUpBootExecute(nt_path)) {
    env_.prompts.Ask(error.empty() ? Fill(u"Install failed!\r\nCannot setup boot defragger.\r\n%s", 0) : error,
                     PromptButtons::kOk, PromptIcon::kError);
    return false;
  }
  if (env_.prompts.Ask(env_.strings(u"IDS_OPT_AT_NEXT_RESTART"), PromptButtons::kYesNo, PromptIcon::kQuestion) ==
      PromptAnswer::kYes) {
    const Text message = env_.strings(u"IDS_SHUTDOWN_MSG_DEFRAG");
    if (!env_.hives.StartShutdown(u"-r -t 60 -c \"" + message + u"\""))
      env_.log.LogLine(u"shutdown.exe could not be started");
    env_.log.LogLine(u"PostQuitMessage : " + LogSafe(message));
    if (quit) *quit = true;
  }
  installed = true;
  return true;
}

int HiveInstaller::ReadCompactionResults() {
  results.clear();
  std::vector<std::uint8_t> bytes;
  const WinError e = env_.hives.ReadFile(ParameterFilePath(), kMaxParameterFileBytes, &bytes);
  if (e == err::kFileNotFound || e == err::kPathNotFound) return -1;
  if (e != err::kSuccess) return -2;
  ParameterFile file;
  std::string why;
  const ParameterParse parsed = ParseParameterFile(bytes, ParameterForm::kReadBack, &file, &why);
  if (parsed == ParameterParse::kBadHeader) return -2;
  header[0] = file.count;
  header[1] = file.version;
  header[2] = file.status;
  if (file.status == kCompactionPending) return 1;
  for (const ParameterRecord& r : file.records) {
    std::uint64_t size = 0;
    if (!r.path.empty() && env_.hives.Exists(r.path)) {
      (void)env_.hives.DeleteFile(r.path + u".sav.log");
      (void)env_.hives.DeleteFile(r.path + u".bak");
      if (env_.hives.FileSize(r.path, &size) != err::kSuccess) size = 0;
    }
    const std::uint32_t now = size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(size);
    results.push_back({r.name, r.size, now == 0 ? r.size : std::max(now, r.size)});
  }
  if (parsed == ParameterParse::kBadRecord) {
    env_.log.LogLine(u"Compaction results unreadable: " + FromUtf8(why));
    return -3;
  }
  return file.status == kCompactionSucceeded ? 0 : 2;
}

}  // namespace hs
