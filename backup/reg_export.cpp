#include "backup/reg_export.h"

#include "platform/reg_text.h"

namespace hs {

RegKey RootOfIndex(std::int32_t index) {
  switch (index) {
    case 0: return kHkeyClassesRoot;
    case 1: return kHkeyCurrentUser;
    case 2: return kHkeyLocalMachine;
    case 3: return kHkeyUsers;
    case 4: return kHkeyCurrentConfig;
    default: return 0;
  }
}

std::int32_t RootIndexOfName(TextView name) {
  static constexpr TextView kNames[] = {u"HKEY_CLASSES_ROOT", u"HKEY_CURRENT_USER", u"HKEY_LOCAL_MACHINE",
                                        u"HKEY_USERS", u"HKEY_CURRENT_CONFIG"};
  for (std::int32_t i = 0; i < 5; ++i) {
    if (name == kNames[i]) return i;
  }
  return -1;
}

TextView ExportRootName(std::int32_t index) {
  switch (index) {
    case 0: return u"HKEY_CLASSES_ROOT";
    case 1: return u"HKEY_CURRENT_USER";
    case 2: return u"HKEY_LOCAL_MACHINE";
    case 3: return u"HKEY_USERS";
    default: return u"";
  }
}

CRegExport::CRegExport() {
  lines.emplace_back(kRegTextHeaderLine);
  name_buffer.reserve(kExportValueNameChars);
}

Text CRegExport::Body() const {
  std::size_t n = 0;
  for (const Text& l : lines) n += l.size();
  Text body;
  body.reserve(n);
  for (const Text& l : lines) body += l;
  return body;
}

namespace {

Text TrimPath(TextView path) {
  Text p = Trim(path);
  while (!p.empty() && p.back() == u'\\') p.pop_back();
  return p;
}

bool ContainsWowNode(const Text& full_name) {
  const std::size_t at = Lowercase(full_name).find(u"\\wow6432node");
  return at != Text::npos && at > 0;
}

void ExportKey(Registry& registry, CRegExport* out, RegKey key, const Text& full_name, std::uint32_t sam,
               Log& log, bool* complete) {
  if (ContainsWowNode(full_name)) return;
  out->lines.push_back(FormatKeyHeader(full_name));
  RegKeyInfo info;
  const bool have_info = registry.QueryInfo(key, &info) == err::kSuccess;
  for (std::uint32_t i = 0;; ++i) {
    const WinError e = registry.EnumValue(key, i, kExportValueNameChars, kExportValueDataBytes,
                                          &out->name_buffer, &out->data_buffer);
    if (e == err::kNoMoreItems) break;
    if (e != err::kSuccess) {
      log.LogLine(u"Backup export: a value of " + LogSafe(full_name) + u" could not be read (" + ErrorText(e) +
                  u")");
      *complete = false;
      break;
    }
    out->lines.push_back(FormatValueLine(out->name_buffer, out->data_buffer.type, out->data_buffer.data));
  }
  if (!have_info) {
    log.LogLine(u"Backup export: the subkeys of " + LogSafe(full_name) + u" could not be counted");
    *complete = false;
    return;
  }
  for (std::uint32_t i = 0; i < info.subkeys; ++i) {
    Text name;
    const WinError e = registry.EnumKey(key, i, kExportSubkeyNameChars, &name);
    if (e == err::kNoMoreItems) break;
    if (e != err::kSuccess) {
      log.LogLine(u"Backup export: a subkey of " + LogSafe(full_name) + u" could not be listed (" + ErrorText(e) +
                  u")");
      *complete = false;
      continue;
    }
    if (Lowercase(name) == u"wow6432node") continue;
    RegKey sub = 0;
    if (WinError oe = registry.Open(key, name, sam, &sub)) {
      log.LogLine(u"Backup export: " + LogSafe(full_name + u"\\" + name) + u" could not be opened (" +
                  ErrorText(oe) + u")");
      *complete = false;
      continue;
    }
    ExportKey(registry, out, sub, full_name + u"\\" + name, sam, log, complete);
    registry.Close(sub);
  }
}

}  // namespace

ExportResult ExportKeyTree(Registry& registry, CRegExport* out, std::int32_t root_index, TextView path,
                           std::uint32_t view_sam, Log& log) {
  const Text p = TrimPath(path);
  if (root_index < 0 || root_index > 3) return ExportResult::kIncomplete;
  const std::uint32_t sam = kKeyRead | view_sam;
  RegKey key = 0;
  const WinError e = registry.Open(RootOfIndex(root_index), p, sam, &key);
  if (e == err::kFileNotFound) return ExportResult::kNothing;
  if (e != err::kSuccess) {
    log.LogLine(u"Backup export: " + LogSafe(p) + u" could not be opened (" + ErrorText(e) + u")");
    return ExportResult::kIncomplete;
  }
  bool complete = true;
  const Text full_name = Text(ExportRootName(root_index)) + u"\\" + p;
  if (ContainsWowNode(full_name)) {
    // The export format cannot carry it: such a key is never backed up here.
    log.LogLine(u"Backup export: " + LogSafe(full_name) + u" lies below a Wow6432Node key");
    registry.Close(key);
    return ExportResult::kIncomplete;
  }
  ExportKey(registry, out, key, full_name, sam, log, &complete);
  registry.Close(key);
  return complete ? ExportResult::kExported : ExportResult::kIncomplete;
}

ExportResult ExportValue(Registry& registry, CRegExport* out, std::int32_t root_index, TextView path,
                         TextView value_name, std::uint32_t view_sam, Log& log) {
  const Text p = TrimPath(path);
  if (root_index < 0 || root_index > 3) return ExportResult::kIncomplete;
  RegKey key = 0;
  const WinError e = registry.Open(RootOfIndex(root_index), p, kKeyRead | view_sam, &key);
  if (e == err::kFileNotFound) return ExportResult::kNothing;
  if (e != err::kSuccess) {
    log.LogLine(u"Backup export: " + LogSafe(p) + u" could not be opened (" + ErrorText(e) + u")");
    return ExportResult::kIncomplete;
  }
  out->lines.push_back(FormatKeyHeader(Text(ExportRootName(root_index)) + u"\\" + p));
  const WinError q = registry.QueryValue(key, value_name, &out->data_buffer);
  registry.Close(key);
  if (q == err::kFileNotFound) return ExportResult::kNothing;
  if (q != err::kSuccess || out->data_buffer.data.size() > kExportValueDataBytes) {
    log.LogLine(u"Backup export: the value " + LogSafe(value_name) + u" of " + LogSafe(p) +
                u" could not be read");
    return ExportResult::kIncomplete;
  }
  out->lines.push_back(FormatValueLine(value_name, out->data_buffer.type, out->data_buffer.data));
  return ExportResult::kExported;
}

bool WriteExportFile(FileSystem& fs, const CRegExport& reg_export, TextView path, Log& log) {
  log.LogLine(u"Export  Reg To FileName " + LogSafe(path));
  const std::vector<std::uint8_t> bytes = EncodeRegFile(reg_export.Body());
  log.LogLine(u"Done writing Unicode sign");
  if (fs.WriteFileAtomic(path, bytes) != err::kSuccess) return false;
  log.LogLine(u"Sucessfully wrote to : " + LogSafe(path));
  return true;
}

}  // namespace hs
