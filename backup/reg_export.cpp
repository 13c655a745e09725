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

// ---------------------------------------------------------------------------
// CapturedKeys

const CapturedKeys::Entry* CapturedKeys::Noted(TextView full_name) const {
  const auto it = keys_.find(Upcase(full_name));
  return it == keys_.end() ? nullptr : &it->second;
}

bool CapturedKeys::AncestorSubtree(TextView full_name) const {
  const Text upper = Upcase(full_name);
  for (std::size_t at = upper.find(u'\\'); at != Text::npos; at = upper.find(u'\\', at + 1)) {
    const auto it = keys_.find(upper.substr(0, at));
    if (it != keys_.end() && it->second.subtree) return true;
  }
  return false;
}

bool CapturedKeys::KeyKnown(TextView full_name) const {
  return Noted(full_name) != nullptr || AncestorSubtree(full_name);
}

bool CapturedKeys::SubtreeKnown(TextView full_name) const {
  const Entry* e = Noted(full_name);
  return (e && e->subtree) || AncestorSubtree(full_name);
}

bool CapturedKeys::ValueKnown(TextView full_name, TextView value_name) const {
  if (const Entry* e = Noted(full_name); e && (e->subtree || e->values.count(Upcase(value_name)))) return true;
  return AncestorSubtree(full_name);
}

void CapturedKeys::NoteKey(TextView full_name) { (void)keys_[Upcase(full_name)]; }

void CapturedKeys::NoteValue(TextView full_name, TextView value_name) {
  keys_[Upcase(full_name)].values.insert(Upcase(value_name));
}

void CapturedKeys::NoteSubtree(TextView full_name) { keys_[Upcase(full_name)].subtree = true; }

void CapturedKeys::Merge(const CapturedKeys& staged) {
  for (const auto& [name, entry] : staged.keys_) {
    Entry& e = keys_[name];
    e.subtree = e.subtree || entry.subtree;
    e.values.insert(entry.values.begin(), entry.values.end());
  }
}

bool CapturedKeys::Overlaps(const CapturedKeys& staged) const {
  for (const auto& entry : staged.keys_) {
    if (keys_.count(entry.first) || AncestorSubtree(entry.first)) return true;
  }
  return false;
}

namespace {

constexpr int kMaxExportDepth = 512;  // deeper than Windows allows

Text TrimPath(TextView path) {
  Text p = Trim(path);
  while (!p.empty() && p.back() == u'\\') p.pop_back();
  return p;
}

bool ContainsWowNode(const Text& full_name) {
  const std::size_t at = Lowercase(full_name).find(u"\\wow6432node");
  return at != Text::npos && at > 0;
}

struct TreeExport {
  Registry& registry;
  CRegExport* out;
  std::uint32_t sam;
  Log& log;
  const CapturedKeys* known;
  CapturedKeys* noted;
  bool complete = true;

  void Incomplete(const Text& what) {
    log.LogLine(u"Backup export: " + what);
    complete = false;
  }

  // A key the walk reaches has no kept subtree above it (the walk stops at
  // one), so only what was noted of the key itself counts.
  void Key(RegKey key, const Text& full_name, int depth) {
    if (ContainsWowNode(full_name)) return;
    const CapturedKeys::Entry* entry = known ? known->Noted(full_name) : nullptr;
    if (entry && entry->subtree) return;
    if (depth > kMaxExportDepth) return Incomplete(LogSafe(full_name) + u" lies deeper than any registry key may");
    if (!RegTextCanCarryName(full_name)) {
      return Incomplete(u"the name of " + LogSafe(full_name) + u" holds a line break or NUL the export cannot carry");
    }
    bool header = entry == nullptr;
    if (header) out->lines.push_back(FormatKeyHeader(full_name));
    RegKeyInfo info;
    const bool have_info = registry.QueryInfo(key, &info) == err::kSuccess;
    for (std::uint32_t i = 0;; ++i) {
      const WinError e = registry.EnumValue(key, i, kExportValueNameChars, kExportValueDataBytes,
                                            &out->name_buffer, &out->data_buffer);
      if (e == err::kNoMoreItems) break;
      if (e != err::kSuccess) {
        Incomplete(u"a value of " + LogSafe(full_name) + u" could not be read (" + ErrorText(e) + u")");
        break;
      }
      if (entry && entry->values.count(Upcase(out->name_buffer))) continue;
      if (!RegTextCanCarryName(out->name_buffer)) {
        Incomplete(u"a value name of " + LogSafe(full_name) + u" holds a line break or NUL the export cannot carry");
        continue;
      }
      if (!header) {
        out->lines.push_back(FormatKeyHeader(full_name));
        header = true;
      }
      out->lines.push_back(FormatValueLine(out->name_buffer, out->data_buffer.type, out->data_buffer.data));
    }
    if (noted) noted->NoteSubtree(full_name);
    if (!have_info) return Incomplete(u"the subkeys of " + LogSafe(full_name) + u" could not be counted");
    for (std::uint32_t i = 0; i < info.subkeys; ++i) {
      Text name;
      const WinError e = registry.EnumKey(key, i, kExportSubkeyNameChars, &name);
      if (e == err::kNoMoreItems) break;
      if (e != err::kSuccess) {
        Incomplete(u"a subkey of " + LogSafe(full_name) + u" could not be listed (" + ErrorText(e) + u")");
        continue;
      }
      if (Lowercase(name) == u"wow6432node") continue;
      RegKey sub = 0;
      if (WinError oe = registry.Open(key, name, sam, &sub)) {
        Incomplete(LogSafe(full_name + u"\\" + name) + u" could not be opened (" + ErrorText(oe) + u")");
        continue;
      }
      Key(sub, full_name + u"\\" + name, depth + 1);
      registry.Close(sub);
    }
  }
};

}  // namespace

Text ExportKeyName(std::int32_t root_index, TextView path) {
  return Text(ExportRootName(root_index)) + u"\\" + TrimPath(path);
}

ExportResult ExportKeyTree(Registry& registry, CRegExport* out, std::int32_t root_index, TextView path,
                           std::uint32_t view_sam, Log& log, const CapturedKeys* known, CapturedKeys* noted) {
  const Text p = TrimPath(path);
  if (root_index < 0 || root_index > 3) return ExportResult::kIncomplete;
  const Text full_name = ExportKeyName(root_index, p);
  const std::uint32_t sam = kKeyRead | view_sam;
  RegKey key = 0;
  const WinError e = registry.Open(RootOfIndex(root_index), p, sam, &key);
  if (e == err::kFileNotFound) return ExportResult::kNothing;
  if (e != err::kSuccess) {
    log.LogLine(u"Backup export: " + LogSafe(p) + u" could not be opened (" + ErrorText(e) + u")");
    return ExportResult::kIncomplete;
  }
  if (ContainsWowNode(full_name)) {
    // The export format cannot carry it: such a key is never backed up here.
    log.LogLine(u"Backup export: " + LogSafe(full_name) + u" lies below a Wow6432Node key");
    registry.Close(key);
    return ExportResult::kIncomplete;
  }
  if (known && known->SubtreeKnown(full_name)) {
    registry.Close(key);
    return ExportResult::kKnown;
  }
  TreeExport walk{registry, out, sam, log, known, noted};
  walk.Key(key, full_name, 0);
  registry.Close(key);
  return walk.complete ? ExportResult::kExported : ExportResult::kIncomplete;
}

ExportResult ExportValue(Registry& registry, CRegExport* out, std::int32_t root_index, TextView path,
                         TextView value_name, std::uint32_t view_sam, Log& log, const CapturedKeys* known,
                         CapturedKeys* noted) {
  const Text p = TrimPath(path);
  if (root_index < 0 || root_index > 3) return ExportResult::kIncomplete;
  const Text full_name = ExportKeyName(root_index, p);
  if (known && known->ValueKnown(full_name, value_name)) return ExportResult::kKnown;
  RegKey key = 0;
  const WinError e = registry.Open(RootOfIndex(root_index), p, kKeyRead | view_sam, &key);
  if (e == err::kFileNotFound) return ExportResult::kNothing;
  if (e != err::kSuccess) {
    log.LogLine(u"Backup export: " + LogSafe(p) + u" could not be opened (" + ErrorText(e) + u")");
    return ExportResult::kIncomplete;
  }
  const WinError q = registry.QueryValue(key, value_name, &out->data_buffer);
  registry.Close(key);
  if (q == err::kFileNotFound) return ExportResult::kNothing;
  if (q != err::kSuccess || out->data_buffer.data.size() > kExportValueDataBytes) {
    log.LogLine(u"Backup export: the value " + LogSafe(value_name) + u" of " + LogSafe(p) +
                u" could not be read");
    return ExportResult::kIncomplete;
  }
  if (ContainsWowNode(full_name) || !RegTextCanCarryName(full_name) || !RegTextCanCarryName(value_name)) {
    log.LogLine(u"Backup export: the value " + LogSafe(value_name) + u" of " + LogSafe(full_name) +
                u" cannot be carried by the export text");
    return ExportResult::kIncomplete;
  }
  out->lines.push_back(FormatKeyHeader(full_name));
  out->lines.push_back(FormatValueLine(value_name, out->data_buffer.type, out->data_buffer.data));
  if (noted) {
    noted->NoteKey(full_name);
    noted->NoteValue(full_name, value_name);
  }
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
