#include "backup/undo_backup.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "areas/user_lists.h"
#include "engine/archive.h"
#include "engine/registry_helpers.h"
#include "platform/reg_text.h"

namespace hs {
namespace {

constexpr std::uint32_t kJournalMagicV1 = 0x314A5348;  // "HSJ1": entries name their view
constexpr std::uint32_t kJournalMagic = 0x324A5348;    // "HSJ2": entries name their export and view
constexpr std::size_t kMaxEntryNameChars = 64;
constexpr std::uint32_t kMaxJournalExports = 100000;

std::uint32_t ViewBits(const UndoEnv& env, bool is64) {
  return env.windows64 ? (is64 ? kKeyWow64_64Key : kKeyWow64_32Key) : 0;
}

Text Number8(std::uint64_t n) {
  char buf[32];
  std::snprintf(buf, sizeof(buf), "%.8llu", static_cast<unsigned long long>(n));
  return FromUtf8(buf);
}

// The leading decimal number of a name; false when it has none.
bool LeadingNumber(TextView name, std::uint64_t* n) {
  std::uint64_t v = 0;
  std::size_t i = 0;
  for (; i < name.size() && name[i] >= u'0' && name[i] <= u'9'; ++i) {
    if (v > 0xFFFFFFFFull) return false;  // far beyond any real set number
    v = v * 10 + (name[i] - u'0');
  }
  *n = v;
  return i > 0;
}

bool EndsWithExtension(TextView name, TextView ext) {
  // The extension's first occurrence must be the name's end.
  const std::size_t at = name.find(ext);
  return at != TextView::npos && at + ext.size() == name.size() && at == name.size() - ext.size();
}

// Highest leading number among the folder's files whose name ends in `ext`
// (first occurrence at the end); 0 when none.
std::uint64_t HighestNumber(FileSystem& fs, TextView folder, TextView ext) {
  std::vector<DirEntry> entries;
  if (fs.ListDirectory(folder, &entries) != err::kSuccess) return 0;
  std::uint64_t best = 0;
  for (const DirEntry& e : entries) {
    if (e.is_directory || e.name == u"." || e.name == u"..") continue;
    if (!EndsWithExtension(e.name, ext)) continue;
    std::uint64_t n = 0;
    if (LeadingNumber(e.name, &n)) best = std::max(best, n);
  }
  return best;
}

Text WithoutLast3(TextView path) { return Text(path.substr(0, path.size() >= 3 ? path.size() - 3 : 0)); }

void Pump(UndoEnv& env) {
  if (env.pump_messages) env.pump_messages();
}

void Show(UndoEnv& env, TextView key) {
  const Text text = env.strings(key);
  env.log.LogLine(Text(u"Message: ") + Text(key));
  if (env.show_message) env.show_message(text.empty() ? Text(key) : text);
}

// The lines of `scratch` after its header line, as one text.
Text Chunk(const CRegExport& scratch) {
  Text chunk;
  for (std::size_t i = 1; i < scratch.lines.size(); ++i) chunk += scratch.lines[i];
  return chunk;
}

std::uint32_t Crc(TextView text) {
  const std::vector<std::uint8_t> bytes = ToUtf16leBytes(text);
  return static_cast<std::uint32_t>(crc32(0L, bytes.data(), static_cast<uInt>(bytes.size())));
}

std::size_t ViewIndex(const CBackup& backup, bool is64) { return is64 && backup.m_pRegExport64 ? 1 : 0; }

std::size_t ExportCount(const CBackup& backup) { return 2 + backup.later_exports.size(); }

CRegExport* ExportAt(CBackup& backup, std::size_t index) {
  if (index == 0) return backup.m_pRegExport32.get();
  if (index == 1) return backup.m_pRegExport64.get();
  return index - 2 < backup.later_exports.size() ? backup.later_exports[index - 2].text.get() : nullptr;
}

bool ExportIs64(const CBackup& backup, std::size_t index) {
  if (index < 2) return index == 1;
  return index - 2 < backup.later_exports.size() && backup.later_exports[index - 2].is64;
}

std::size_t AddLaterExport(CBackup& backup, bool is64) {
  backup.later_exports.push_back({is64, std::make_unique<CRegExport>()});
  return ExportCount(backup) - 1;
}

// Puts a backup on disk (journal, synced) and into the run's export of view
// `view`, and notes what it holds. False when it could not be written: the
// change must then not be made.
bool KeepBackup(UndoEnv& env, CBackup& backup, std::size_t view, const CRegExport& scratch,
                const CapturedKeys& staged) {
  if (!ExportAt(backup, backup.current_export[view])) return false;
  if (scratch.lines.size() > 1) {
    if (!backup.journal || backup.journal_failed) {
      env.log.LogLine(u"The undo journal is not open: the change is not made");
      return false;
    }
    // What the other view's export holds may be the same keys (views share
    // most of the registry): such a backup goes to an export imported before
    // the other view's, so that the earlier backup is the one that stays.
    const std::size_t other = 1 - view;
    if (backup.m_pRegExport64 && backup.current_export[other] > backup.current_export[view] &&
        backup.captured[other].Overlaps(staged)) {
      backup.current_export[view] = AddLaterExport(backup, view == 1);
      env.log.LogLine(u"Backup of keys the other view's backup holds: export " +
                      ToText(static_cast<std::int64_t>(backup.current_export[view] + 1)) + u" started");
    }
    const Text chunk = Chunk(scratch);
    ArchiveWriter w;
    w.U32(static_cast<std::uint32_t>(backup.current_export[view]));
    w.U8(static_cast<std::uint8_t>(view));
    w.String(chunk);
    w.U32(Crc(chunk));
    WinError e = w.ok() ? backup.journal->Write(w.data()) : err::kFileTooLarge;
    if (e == err::kSuccess) e = backup.journal->Sync();
    if (e != err::kSuccess) {
      backup.journal_failed = true;
      env.log.LogLine(u"The undo journal could not be written (" + ErrorText(e) + u"): the change is not made");
      return false;
    }
  }
  CRegExport* target = ExportAt(backup, backup.current_export[view]);
  target->lines.insert(target->lines.end(), scratch.lines.begin() + 1, scratch.lines.end());
  backup.captured[view].Merge(staged);
  return true;
}

bool RunDeleteKey(UndoEnv& env, CBackup& backup, const COperation& op, std::uint32_t sam, std::uint32_t view_bits) {
  env.log.LogLine(op.is64 ? u"Attempting to Backup for Set Registry Value - 64 bit"
                          : u"Attempting to Backup for Set Registry Value - 32 bit");
  if (op.strings.empty() || op.numbers.empty()) return false;
  const RegKey root = RootOfIndex(op.numbers[0]);
  if (!root) return false;
  const std::size_t view = ViewIndex(backup, op.is64);
  CRegExport scratch;
  CapturedKeys staged;
  const ExportResult exported = ExportKeyTree(env.registry, &scratch, op.numbers[0], op.strings[0], view_bits,
                                              env.log, &backup.captured[view], &staged);
  RegKey key = 0;
  const WinError open = env.registry.Open(root, op.strings[0], sam, &key);
  if (open == err::kFileNotFound) return true;  // already gone
  if (open != err::kSuccess) {
    env.log.LogLine(u"The key could not be opened for deletion: " + ErrorText(open));
    return false;
  }
  env.registry.Close(key);
  if (exported == ExportResult::kIncomplete || exported == ExportResult::kNothing) {
    env.log.LogLine(u"The key could not be backed up completely: it is not deleted");
    return false;
  }
  if (!KeepBackup(env, backup, view, scratch, staged)) return false;
  const WinError e = DeleteKeyTree(env.registry, root, op.strings[0], sam);
  env.log.LogLine(e == err::kSuccess ? u"KEY DELETED" : u"KEY NOT DELETED");
  if (env.is_admin && env.exclusions) {
    RegKey again = 0;
    if (env.registry.Open(root, op.strings[0], sam, &again) == err::kSuccess) {
      env.registry.Close(again);
      env.exclusions->Add(op.strings[0]);
    }
  }
  return e == err::kSuccess;
}

// Opens the key of a value that is there now, for the change. A key or value
// already gone needs no repair (kGone); and a value is never made, since the
// undo could not take it away again.
enum class Presence { kThere, kGone, kFailed };
Presence OpenValueKey(UndoEnv& env, RegKey root, const Text& path, const Text& name, std::uint32_t sam,
                      RegKey* key) {
  const WinError open = env.registry.Open(root, path, sam, key);
  if (open == err::kFileNotFound) return Presence::kGone;
  if (open != err::kSuccess) {
    env.log.LogLine(u"The key could not be opened: " + ErrorText(open));
    return Presence::kFailed;
  }
  const WinError q = env.registry.QueryValue(*key, name, nullptr);
  if (q == err::kSuccess) return Presence::kThere;
  env.registry.Close(*key);
  if (q == err::kFileNotFound) return Presence::kGone;
  env.log.LogLine(u"The value could not be read: " + ErrorText(q));
  return Presence::kFailed;
}

// A value changed in place: its backup (unless kept before), then the change.
bool BackUpValue(UndoEnv& env, CBackup& backup, const COperation& op, std::int32_t root_index,
                 std::uint32_t view_bits, const char16_t* what) {
  const std::size_t view = ViewIndex(backup, op.is64);
  CRegExport scratch;
  CapturedKeys staged;
  const ExportResult exported = ExportValue(env.registry, &scratch, root_index, op.strings[0], op.strings[1],
                                            view_bits, env.log, &backup.captured[view], &staged);
  if (exported == ExportResult::kIncomplete || exported == ExportResult::kNothing) {
    env.log.LogLine(Text(u"The value could not be backed up: it is not ") + what);
    return false;
  }
  return KeepBackup(env, backup, view, scratch, staged);
}

bool RunSetValue(UndoEnv& env, CBackup& backup, const COperation& op, std::uint32_t sam, std::uint32_t view_bits) {
  env.log.LogLine(u"Attempting to Set Registry Value - 32 bit");
  env.log.LogLine(op.is64 ? u"Attempting to Backup for Set Registry Value - 64 bit"
                          : u"Attempting to Backup for Set Registry Value - 32 bit");
  if (op.strings.size() < 3 || op.numbers.size() < 2) return false;
  const RegKey root = RootOfIndex(op.numbers[1]);
  if (!root || op.numbers[0] != 0) return false;
  RegKey key = 0;
  const Presence presence = OpenValueKey(env, root, op.strings[0], op.strings[1], sam, &key);
  if (presence != Presence::kThere) {
    if (presence == Presence::kGone) env.log.LogLine(u"The value is already gone: nothing to set");
    return presence == Presence::kGone;
  }
  WinError e = err::kWriteFault;
  if (BackUpValue(env, backup, op, op.numbers[1], view_bits, u"changed")) {
    env.log.LogLine(u"Key Created");
    e = env.registry.SetValue(key, op.strings[1], kRegSz, SzData(op.strings[2]));
  }
  env.registry.Close(key);
  return e == err::kSuccess;
}

bool RunDeleteValue(UndoEnv& env, CBackup& backup, const COperation& op, std::uint32_t sam,
                    std::uint32_t view_bits) {
  env.log.LogLine(u"Attempting to Delete Value");
  env.log.LogLine(op.is64 ? u"Attempting to backup Value to be deleted - 64 bit"
                          : u"Attempting to backup Value to be deleted - 32 bit");
  if (op.strings.size() < 2 || op.numbers.empty()) return false;
  const RegKey root = RootOfIndex(op.numbers[0]);
  if (!root) return false;
  RegKey key = 0;
  const Presence presence = OpenValueKey(env, root, op.strings[0], op.strings[1], sam, &key);
  if (presence != Presence::kThere) {
    if (presence == Presence::kGone) env.log.LogLine(u"Value already gone");
    return presence == Presence::kGone;
  }
  if (!BackUpValue(env, backup, op, op.numbers[0], view_bits, u"deleted")) {
    env.registry.Close(key);
    return false;
  }
  WinError e = env.registry.DeleteValue(key, op.strings[1]);
  if (e == err::kFileNotFound) e = err::kSuccess;
  env.log.LogLine(e == err::kSuccess ? u"Value Deleted ok!" : u"Value Deleted failed!");
  env.registry.Close(key);
  return e == err::kSuccess;
}

// A path that names the 32-bit view by its "Wow6432Node" key (the form the
// 32-bit scan passes report) becomes the plain path in the 32-bit view, so
// that its backup is exported and imported where it belongs: exports leave
// every Wow6432Node key out.
void NormalizeViewPath(const UndoEnv& env, Text* path, bool* is64) {
  if (!env.windows64) return;
  const Text lower = Lowercase(*path);
  std::size_t at = Text::npos;
  if (lower.rfind(u"wow6432node\\", 0) == 0) at = 0;
  else if (const std::size_t p = lower.find(u"\\wow6432node\\"); p != Text::npos) at = p + 1;
  if (at == Text::npos) return;
  path->erase(at, 12);
  *is64 = false;
}

bool AddOperation(UndoEnv& env, CBackup& backup, COperation& op) {
  NormalizeViewPath(env, &op.strings[0], &op.is64);
  env.log.LogLine(u"Trying to Add operation");
  if (!RunOperation(env, backup, op)) {
    env.log.LogLine(u"Add operation FAILED");
    return false;
  }
  env.log.LogLine(u"operation Not added for key delete or value delete");
  return true;
}

bool SafeEntryName(TextView name) {
  if (name.empty() || name.size() > kMaxEntryNameChars || name == u"." || name == u"..") return false;
  return std::all_of(name.begin(), name.end(), [](char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'.' ||
           c == u'_' || c == u'-';
  });
}

Text Ascii(TextView text) {
  Text out;
  for (char16_t c : text) out += c < 0x80 ? c : u'?';
  return out;
}

void OpenJournal(UndoEnv& env, CBackup& backup) {
  std::unique_ptr<WritableFile> file;
  WinError e = env.fs.CreateNewFile(backup.journalPath, &file);
  if (e == err::kSuccess) {
    ArchiveWriter w;
    w.U32(kJournalMagic);
    w.String(backup.title);
    w.Time(backup.changed);
    w.U8(backup.is64System ? 1 : 0);
    e = file->Write(w.data());
    if (e == err::kSuccess) e = file->Sync();
  }
  if (e != err::kSuccess) {
    env.log.LogLine(u"The undo journal " + LogSafe(backup.journalPath) + u" could not be created (" +
                    ErrorText(e) + u"): no change will be made");
    backup.journal_failed = true;
    return;
  }
  backup.journal = std::move(file);
}

}  // namespace

CBackup::CBackup() = default;
CBackup::~CBackup() = default;

Text PartialBackupsFolder(const UndoEnv& env) {
  Text folder = env.data_folder;
  if (!folder.empty() && folder.back() != u'\\') folder += u'\\';
  return folder + Text(kPartialBackupsFolder);
}

Text NextBackupNumber(FileSystem& fs, TextView folder) {
  return Text(folder) + Number8(HighestNumber(fs, folder, kUndoRecordExtension) + 1);
}

std::unique_ptr<CBackup> BeginUndoBackup(UndoEnv& env) {
  env.log.LogLine(u"Initializing Backup");
  auto backup = std::make_unique<CBackup>();
  backup->title = env.strings(u"AFX_IDS_APP_TITLE");
  backup->exportAtEnd = true;
  backup->is64System = env.windows64;
  backup->folder = PartialBackupsFolder(env);
  if (WinError e = env.fs.CreateDirectories(backup->folder)) {
    env.log.LogLine(u"The partial backups folder could not be created: " + ErrorText(e));
  }
  backup->m_pRegExport32 = std::make_unique<CRegExport>();
  env.log.LogLine(u"Allocate Mem For Export m_pRegExport32");
  if (backup->is64System) {
    backup->m_pRegExport64 = std::make_unique<CRegExport>();
    env.log.LogLine(u"Allocate Mem For Export 64 bits");
  } else {
    env.log.LogLine(u"**not allocate Mem For Export 64 bits system not found");
  }
  backup->changed = env.clock.UtcSeconds();
  // The set's number is taken now, past every record file and journal.
  const std::uint64_t n = std::max(HighestNumber(env.fs, backup->folder, kUndoRecordExtension),
                                   HighestNumber(env.fs, backup->folder, kUndoJournalExtension)) + 1;
  const Text base = backup->folder + Number8(n) + u".";
  backup->archivePath = base + Text(kUndoArchiveExtension);
  backup->journalPath = base + Text(kUndoJournalExtension);
  OpenJournal(env, *backup);
  return backup;
}

bool RunOperation(UndoEnv& env, CBackup& backup, const COperation& op) {
  env.log.LogLine(u"Attempting to Run Operation");
  const std::uint32_t sam = AccessMask(env.windows64, KeyAccess::kReadWrite, op.is64);
  const std::uint32_t view = ViewBits(env, op.is64);
  bool ok = false;
  switch (op.kind) {
    case kOpDeleteKey:
    case kOpDeleteKeyTree: ok = RunDeleteKey(env, backup, op, sam, view); break;
    case kOpSetValue: ok = RunSetValue(env, backup, op, sam, view); break;
    case kOpDeleteValue: ok = RunDeleteValue(env, backup, op, sam, view); break;
    default: env.log.LogLine(u"Unknown operation " + ToText(op.kind)); break;
  }
  Pump(env);
  return ok;
}

bool AddDeleteKeyOperation(UndoEnv& env, CBackup& backup, std::int32_t root_index, TextView key_path, bool tree,
                           bool is64) {
  COperation op;
  op.kind = tree ? kOpDeleteKeyTree : kOpDeleteKey;
  op.strings = {Text(key_path)};
  op.numbers = {root_index};
  op.is64 = is64;
  return AddOperation(env, backup, op);
}

bool AddDeleteValueOperation(UndoEnv& env, CBackup& backup, std::int32_t root_index, TextView key_path,
                             TextView value_name, bool is64) {
  COperation op;
  op.kind = kOpDeleteValue;
  op.strings = {Text(key_path), Text(value_name)};
  op.numbers = {root_index};
  op.is64 = is64;
  return AddOperation(env, backup, op);
}

bool AddSetValueOperation(UndoEnv& env, CBackup& backup, std::int32_t root_index, TextView key_path,
                          TextView value_name, TextView data, bool is64) {
  COperation op;
  op.kind = kOpSetValue;
  op.strings = {Text(key_path), Text(value_name), Text(data)};
  op.numbers = {0, root_index};
  op.is64 = is64;
  return AddOperation(env, backup, op);
}

WinError DeleteKeyTree(Registry& registry, RegKey parent, TextView path, std::uint32_t sam) {
  if (Lowercase(path) == u"wow6432node") return err::kSuccess;
  RegKey key = 0;
  if (WinError e = registry.Open(parent, path, sam, &key)) return e;
  for (;;) {
    Text name;
    if (registry.EnumKey(key, 0, 257, &name) != err::kSuccess) break;
    if (Lowercase(name) == u"wow6432node") break;
    if (DeleteKeyTree(registry, key, name, sam) != err::kSuccess) break;
  }
  registry.Close(key);
  return registry.DeleteKey(parent, path, sam & kKeyWow64Res);
}

bool RemoveKeyIfEmpty(UndoEnv& env, CBackup& backup, std::int32_t root_index, TextView key_path, bool is64) {
  Text path(key_path);
  NormalizeViewPath(env, &path, &is64);
  const RegKey root = RootOfIndex(root_index);
  if (!root || root_index > 3) return false;
  const std::uint32_t sam = AccessMask(env.windows64, KeyAccess::kReadWrite, is64);
  RegKey key = 0;
  const WinError open = env.registry.Open(root, path, sam, &key);
  if (open == err::kFileNotFound) return true;
  if (open != err::kSuccess) return false;
  RegKeyInfo info;
  const WinError q = env.registry.QueryInfo(key, &info);
  env.registry.Close(key);
  if (q != err::kSuccess) return false;
  if (info.subkeys != 0 || info.values != 0) return true;
  env.log.LogLine(u"Attempting to remove the emptied parent key");
  const std::size_t view = ViewIndex(backup, is64);
  CRegExport scratch;
  CapturedKeys staged;
  const ExportResult exported = ExportKeyTree(env.registry, &scratch, root_index, path, ViewBits(env, is64), env.log,
                                              &backup.captured[view], &staged);
  if (exported == ExportResult::kIncomplete || exported == ExportResult::kNothing) return false;
  if (!KeepBackup(env, backup, view, scratch, staged)) return false;
  const WinError e = env.registry.DeleteKey(root, path, sam & kKeyWow64Res);
  env.log.LogLine(e == err::kSuccess ? u"EMPTY PARENT KEY DELETED" : u"EMPTY PARENT KEY NOT DELETED");
  return e == err::kSuccess;
}

bool EndUndoBackup(UndoEnv& env, std::unique_ptr<CBackup> owned, Text* record_path) {
  if (record_path) record_path->clear();
  if (!owned) return false;
  CBackup& backup = *owned;
  bool archived = true;
  if (backup.exportAtEnd) {
    const std::size_t exports = backup.m_pRegExport64 ? ExportCount(backup) : 1;
    for (std::size_t index = 0; index < exports && archived; ++index) {
      auto op = std::make_unique<COperation>();
      op->kind = kOpDeleteKeyTree;
      op->strings = {u"waste"};
      op->numbers = {1};
      op->is64 = ExportIs64(backup, index);
      env.log.LogLine(u"Exporting Reg File");
      const Text temp = backup.folder + Text(kTempExportName);
      if (!backup.archive_writer) {
        if (backup.archivePath.empty()) {
          backup.archivePath = NextBackupNumber(env.fs, backup.folder) + u"." + Text(kUndoArchiveExtension);
        }
        backup.archive_writer = std::make_unique<ZipWriter>();
      }
      if (env.fs.Exists(temp)) (void)env.fs.DeleteFile(temp);
      const CRegExport* source = ExportAt(backup, index);
      if (index == 0 && !source) {
        env.log.LogLine(u"Attempting Exporting for 32 bit reg file : " + temp);
        env.log.LogLine(u"m_pRegExport32 not initialized!!");
        archived = false;
        break;
      }
      if (source) {
        env.log.LogLine((op->is64 ? u"Attempting Exporting for 64 bit reg file : "
                                  : u"Attempting Exporting for 32 bit reg file : ") + temp);
        const bool ok = WriteExportFile(env.fs, *source, temp, env.log);
        if (op->is64) env.log.LogLine(ok ? u"64 Bit reg export  Done!!" : u"64 Bit reg export  failed!!");
        else env.log.LogLine(ok ? u"Reg Export 32 Done !!" : u"Regexport32 failed!!");
      }
      const Text entry = Number8(backup.regFileCount + 1) + u".reg";
      op->strings.push_back(entry);
      env.log.LogLine(u"Attempting TO ZIP Exported File : " + entry);
      std::vector<std::uint8_t> bytes;
      if (env.fs.ReadFile(temp, kMaxZipEntryBytes, &bytes) == err::kSuccess &&
          backup.archive_writer->Add(ToUtf8(entry), bytes)) {
        env.log.LogLine(u"ZIP File OK!");
        (void)env.fs.DeleteFile(temp);
        backup.operations.push_back(std::move(op));
        env.log.LogLine(u"Temp File Deleted, operation added");
        ++backup.regFileCount;
      } else {
        env.log.LogLine(u"ZipAdd failed!!");
        archived = false;
      }
    }
    if (archived) {
      backup.changed = env.clock.UtcSeconds();
      env.log.LogLine(u"Export Reg Files And Add Operation Success!!");
    }
  }
  backup.m_pRegExport32.reset();
  backup.m_pRegExport64.reset();
  backup.later_exports.clear();
  env.log.LogLine(u"Free Mem Allocated For Export !!");

  // The archive, then the record file, then (both safely on disk) the
  // journal goes: a failure in between leaves the journal for the next start.
  bool saved = true;
  if (backup.archive_writer) {
    std::vector<std::uint8_t> zip;
    WinError e = backup.archive_writer->Finish(&zip) ? env.fs.WriteFileAtomic(backup.archivePath, zip)
                                                     : err::kWriteFault;
    backup.archive_writer.reset();
    if (e != err::kSuccess) {
      env.log.LogLine(u"The undo archive " + LogSafe(backup.archivePath) + u" could not be written: " +
                      ErrorText(e));
      saved = false;
    }
  }
  const bool recorded = saved && !backup.operations.empty() && SerializeBackup(env, backup, true);
  saved = saved && (backup.operations.empty() || recorded);
  if (recorded && record_path) *record_path = backup.recordPath;
  if (backup.journal) {
    (void)backup.journal->Close();
    backup.journal.reset();
  }
  if (!backup.journalPath.empty() && env.fs.Exists(backup.journalPath)) {
    if (saved && archived) {
      (void)env.fs.DeleteFile(backup.journalPath);
    } else {
      env.log.LogLine(u"The undo journal " + LogSafe(backup.journalPath) +
                      u" is kept; the undo set is completed at the next start");
    }
  }
  backup.operations.clear();
  owned.reset();
  env.log.LogLine(u"Delete Backup Initialized Done");
  return saved && archived;
}

std::vector<std::uint8_t> EncodeUndoRecord(const CBackup& backup) {
  ArchiveWriter w;
  w.String(backup.title);
  w.U32(static_cast<std::uint32_t>(backup.operations.size()));
  w.U32(backup.reserved);
  w.U32(backup.regFileCount);
  w.Time(backup.changed);
  for (const auto& op : backup.operations) {
    w.U32(static_cast<std::uint32_t>(op->kind));
    w.U32(static_cast<std::uint32_t>(op->strings.size()));
    for (const Text& s : op->strings) w.String(s);
    w.U32(static_cast<std::uint32_t>(op->numbers.size()));
    for (std::int32_t n : op->numbers) w.I32(n);
    w.U32(static_cast<std::uint32_t>(op->blob.size()));
    if (!op->blob.empty()) {
      w.Bytes(op->blob.data(), op->blob.size());
    } else {
      w.U32(0);
    }
    w.U32(op->is64 ? 1 : 0);
  }
  return w.Take();
}

bool DecodeUndoRecord(std::span<const std::uint8_t> bytes, CBackup* backup, std::string* error) {
  ArchiveReader r(bytes.data(), bytes.size());
  Text title;
  std::uint32_t count = 0, reserved = 0, files = 0;
  std::int64_t changed = 0;
  std::vector<std::unique_ptr<COperation>> ops;
  if (r.String(&title) && r.U32(&count) && r.U32(&reserved) && r.U32(&files) && r.Time(&changed)) {
    // Each operation takes at least 24 bytes.
    if (count > r.remaining() / 24) r.Fail("operation count larger than the file");
    for (std::uint32_t i = 0; r.ok() && i < count; ++i) {
      auto op = std::make_unique<COperation>();
      std::uint32_t kind = 0, nstrings = 0, nnumbers = 0, blob = 0, is64 = 0;
      if (!r.U32(&kind) || !r.U32(&nstrings)) break;
      if (nstrings > r.remaining()) {
        r.Fail("string count larger than the file");
        break;
      }
      for (std::uint32_t k = 0; k < nstrings && r.ok(); ++k) {
        Text s;
        if (r.String(&s)) op->strings.push_back(std::move(s));
      }
      if (!r.U32(&nnumbers)) break;
      if (nnumbers > r.remaining() / 4) {
        r.Fail("number count larger than the file");
        break;
      }
      for (std::uint32_t k = 0; k < nnumbers && r.ok(); ++k) {
        std::int32_t n = 0;
        if (r.I32(&n)) op->numbers.push_back(n);
      }
      if (!r.U32(&blob)) break;
      if (blob != 0) {
        if (!r.Bytes(blob, &op->blob)) break;
      } else {
        std::uint32_t placeholder = 0;
        if (!r.U32(&placeholder)) break;
      }
      if (!r.U32(&is64)) break;
      op->kind = static_cast<std::int32_t>(kind);
      op->blobLength = blob;
      op->is64 = is64 != 0;
      ops.push_back(std::move(op));
    }
  }
  if (r.ok() && !r.AtEnd()) r.Fail("data after the last operation");
  if (!r.ok()) {
    if (error) *error = r.error();
    return false;
  }
  backup->title = std::move(title);
  backup->reserved = reserved;
  backup->regFileCount = files;
  backup->changed = changed;
  for (auto& op : ops) backup->operations.push_back(std::move(op));
  return true;
}

bool SerializeBackup(UndoEnv& env, CBackup& backup, bool store) {
  if (store) {
    env.log.LogLine(u"Attempting to save partial backup");
    if (env.partial_backup_saved) env.partial_backup_saved();
    if (backup.archivePath.empty()) {
      backup.archivePath = NextBackupNumber(env.fs, backup.folder) + u"." + Text(kUndoArchiveExtension);
    }
    if (backup.recordPath.empty()) backup.recordPath = WithoutLast3(backup.archivePath) + Text(kUndoRecordExtension);
    env.log.LogLine(u"Archiveing partial backup started");
    if (WinError e = env.fs.WriteFileAtomic(backup.recordPath, EncodeUndoRecord(backup))) {
      env.log.LogLine(u"The undo record " + LogSafe(backup.recordPath) + u" could not be written: " + ErrorText(e));
      return false;
    }
    env.log.LogLine(u"Archiveing partial backup Done!");
    return true;
  }
  if (backup.recordPath.empty()) return false;
  std::vector<std::uint8_t> bytes;
  if (WinError e = env.fs.ReadFile(backup.recordPath, kMaxUndoRecordBytes, &bytes)) {
    env.log.LogLine(u"The undo record " + LogSafe(backup.recordPath) + u" could not be read: " + ErrorText(e));
    return false;
  }
  std::string error;
  if (!DecodeUndoRecord(bytes, &backup, &error)) {
    env.log.LogLine(u"The undo record " + LogSafe(backup.recordPath) + u" is damaged: " + FromUtf8(error));
    return false;
  }
  return true;
}

namespace {

Text DescribeValue(std::uint32_t type, std::size_t size) {
  return u"type " + ToText(static_cast<std::int64_t>(type)) + u", " + ToText(static_cast<std::int64_t>(size)) +
         u" bytes";
}

bool SameOrBelow(const Text& upper, const Text& top) {
  return upper.size() >= top.size() && upper.compare(0, top.size(), top) == 0 &&
         (upper.size() == top.size() || upper[top.size()] == u'\\');
}

}  // namespace

Text FirstImportDifference(Registry& registry, const RegTextDocument& doc, std::uint32_t view_sam) {
  // What the import must leave, key by key, in the file's order.
  struct Expected {
    RegKey root = 0;
    Text path;
    Text name;   // for messages
    Text upper;  // compared
    bool present = true;
    std::vector<std::pair<Text, const RegTextValue*>> values;  // upper-case name, last entry
  };
  std::vector<Expected> keys;
  std::unordered_map<Text, std::size_t> index;
  for (const RegTextKey& k : doc.keys) {
    const Text full = k.root_name + (k.path.empty() ? Text() : u"\\" + k.path);
    const Text upper = Upcase(full);
    if (k.remove) {
      for (Expected& e : keys) {
        if (!SameOrBelow(e.upper, upper)) continue;
        e.present = false;
        e.values.clear();
      }
    }
    auto [it, added] = index.emplace(upper, keys.size());
    if (added) keys.push_back(Expected{k.root, k.path, full, upper, true, {}});
    Expected& e = keys[it->second];
    e.present = !k.remove;
    if (k.remove) continue;
    for (const RegTextValue& v : k.values) {
      const Text name = Upcase(v.name);
      auto at = std::find_if(e.values.begin(), e.values.end(), [&](const auto& p) { return p.first == name; });
      if (at == e.values.end()) e.values.emplace_back(name, &v);
      else at->second = &v;
    }
  }
  const std::uint32_t sam = kKeyRead | (view_sam & kKeyWow64Res);
  for (const Expected& e : keys) {
    RegKey key = 0;
    const WinError open = registry.Open(e.root, e.path, sam, &key);
    if (!e.present) {
      if (open == err::kSuccess) {
        registry.Close(key);
        return LogSafe(e.name) + u" is there; the file removes it";
      }
      continue;
    }
    if (open != err::kSuccess) return LogSafe(e.name) + u" is missing (" + ErrorText(open) + u")";
    Text difference;
    for (const auto& [upper, v] : e.values) {
      RegValue now;
      const WinError q = registry.QueryValue(key, v->name, &now);
      const Text where = LogSafe(e.name) + u" value \"" + LogSafe(v->name) + u"\"";
      if (v->remove) {
        if (q != err::kFileNotFound) difference = where + u" is there; the file removes it";
      } else if (q != err::kSuccess) {
        difference = where + u" is missing (" + ErrorText(q) + u")";
      } else if (now.type != v->type || now.data != v->data) {
        difference = where + u" holds " + DescribeValue(now.type, now.data.size()) + u"; the file has " +
                     DescribeValue(v->type, v->data.size()) +
                     (now.type == v->type && now.data.size() == v->data.size() ? u", other bytes" : u"");
      }
      if (!difference.empty()) break;
    }
    registry.Close(key);
    if (!difference.empty()) return difference;
  }
  return Text();
}

bool ImportRegFile(UndoEnv& env, TextView path, bool is64) {
  // The file is read first: what it names is checked after the import.
  std::vector<std::uint8_t> bytes;
  RegTextDocument doc;
  RegTextError error;
  if (WinError e = env.fs.ReadFile(path, kMaxRegTextBytes, &bytes)) {
    env.log.LogLine(u"The undo file " + LogSafe(path) + u" could not be read: " + ErrorText(e));
    return false;
  }
  if (!ParseRegText(bytes.data(), bytes.size(), &doc, &error)) {
    env.log.LogLine(u"The undo file " + LogSafe(path) + u" is damaged (line " +
                    ToText(static_cast<std::int64_t>(error.line)) + u": " + FromUtf8(error.message) + u")");
    return false;
  }
  bytes = std::vector<std::uint8_t>();
  const RegImportOutcome outcome = env.editor.Import(path, is64);
  if (!outcome.started) {
    env.log.LogLine(u"The registry editor could not be started for " + LogSafe(path));
    return false;
  }
  if (!outcome.finished) {
    env.log.LogLine(u"The registry editor did not finish importing " + LogSafe(path) + u" within " +
                    ToText(static_cast<std::int64_t>(kRegImportWaitMs)) + u" ms");
    return false;
  }
  if (outcome.exit_code != 0) {
    env.log.LogLine(u"The registry editor failed to import " + LogSafe(path) + u" (exit status " +
                    ToText(static_cast<std::int64_t>(outcome.exit_code)) + u")");
    return false;
  }
  // The editor's status says little (the system editor answers 0 for a file
  // it could not read): every key and value the file names must read back.
  const Text difference = FirstImportDifference(env.registry, doc, ViewBits(env, is64));
  if (!difference.empty()) {
    env.log.LogLine(u"Registry import of " + LogSafe(path) + u" is not complete: " + difference);
    return false;
  }
  return true;
}

bool UndoOperation(UndoEnv& env, CBackup& backup, const COperation& op) {
  if (op.kind != kOpDeleteKey && op.kind != kOpDeleteKeyTree) {
    env.log.LogLine(u"An undo record of unknown kind " + ToText(op.kind) + u" cannot be undone");
    return false;
  }
  if (op.strings.size() < 2 || op.strings[1].empty()) {
    env.log.LogLine(u"An undo record names no archive entry: it cannot be undone");
    return false;
  }
  if (backup.archive_unreadable) return false;
  if (!backup.archive_reader) {
    if (backup.archivePath.empty() && !backup.recordPath.empty()) {
      backup.archivePath = WithoutLast3(backup.recordPath) + Text(kUndoArchiveExtension);
    }
    auto reader = std::make_unique<ZipReader>();
    const WinError e = env.fs.ReadFile(backup.archivePath, kMaxZipArchiveBytes, &backup.archive_bytes);
    if (e != err::kSuccess || !reader->Open(backup.archive_bytes)) {
      env.log.LogLine(u"The undo archive " + LogSafe(backup.archivePath) + u" cannot be read: " +
                      (e != err::kSuccess ? ErrorText(e) : FromUtf8(reader->error())));
      Show(env, u"IDS_UNZIP_ERR");
      backup.archive_unreadable = true;
      return false;
    }
    backup.archive_reader = std::move(reader);
  }
  const Text& wanted = op.strings[1];
  if (!SafeEntryName(wanted)) {
    env.log.LogLine(u"An undo record names an unsafe archive entry: " + LogSafe(Ascii(wanted)));
    return false;
  }
  bool found = false;
  for (std::size_t i = 0; i < backup.archive_reader->EntryCount(); ++i) {
    const Text name = FromUtf8(backup.archive_reader->EntryName(i));
    if (name != wanted) continue;
    found = true;
    std::vector<std::uint8_t> bytes;
    if (!backup.archive_reader->Extract(i, &bytes)) {
      env.log.LogLine(u"The undo archive entry " + name + u" cannot be extracted: " +
                      FromUtf8(backup.archive_reader->error()));
      continue;
    }
    const Text file = backup.folder + name;
    if (WinError e = env.fs.WriteFileAtomic(file, bytes)) {
      env.log.LogLine(u"The undo file " + LogSafe(file) + u" cannot be written: " + ErrorText(e));
      return false;
    }
    if (!ImportRegFile(env, file, op.is64)) {
      env.log.LogLine(u"The undo file " + LogSafe(file) + u" is kept for a later import");
      return false;
    }
    (void)env.fs.DeleteFile(file);
    return true;
  }
  env.log.LogLine(u"The undo archive " + LogSafe(backup.archivePath) +
                  (found ? u": its entry " + wanted + u" cannot be extracted" : u" holds no entry " + wanted));
  return false;
}

bool UndoBackup(UndoEnv& env, CBackup& backup) {
  Pump(env);
  std::size_t failed = 0;
  for (std::size_t i = backup.operations.size(); i-- > 0;) {
    if (!UndoOperation(env, backup, *backup.operations[i])) ++failed;
    Pump(env);
  }
  backup.archive_reader.reset();
  backup.archive_bytes.clear();
  if (failed != 0) {
    env.log.LogLine(u"Undo: " + ToText(static_cast<std::int64_t>(failed)) + u" of " +
                    ToText(static_cast<std::int64_t>(backup.operations.size())) +
                    u" steps could not be restored; the others were");
    Show(env, u"IDS_STR_UNDO_FAILED");
    return false;
  }
  return true;
}

std::vector<UndoSetInfo> ListUndoSets(UndoEnv& env) {
  const Text folder = PartialBackupsFolder(env);
  std::vector<DirEntry> entries;
  std::vector<std::pair<std::uint64_t, Text>> records;
  if (env.fs.ListDirectory(folder, &entries) == err::kSuccess) {
    for (const DirEntry& e : entries) {
      std::uint64_t n = 0;
      if (!e.is_directory && EndsWithExtension(e.name, kUndoRecordExtension) && LeadingNumber(e.name, &n)) {
        records.emplace_back(n, folder + e.name);
      }
    }
  }
  std::sort(records.begin(), records.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  std::vector<UndoSetInfo> out;
  for (const auto& [n, path] : records) {
    CBackup b;
    b.recordPath = path;
    if (!SerializeBackup(env, b, false)) continue;
    UndoSetInfo info;
    info.record_path = path;
    info.title = b.title;
    info.changed = b.changed;
    info.operations = b.operations.size();
    info.archive_present = env.fs.Exists(WithoutLast3(path) + Text(kUndoArchiveExtension));
    out.push_back(std::move(info));
  }
  return out;
}

bool DeleteUndoSet(UndoEnv& env, TextView record_path) {
  if (!EndsWithExtension(record_path, kUndoRecordExtension)) return false;
  if (WinError e = env.fs.DeleteFile(record_path)) {
    env.log.LogLine(u"Cannot delete the undo set " + LogSafe(record_path) + u": " + ErrorText(e));
    return false;
  }
  const Text archive = WithoutLast3(record_path) + Text(kUndoArchiveExtension);
  if (env.fs.Exists(archive)) {
    if (WinError e = env.fs.DeleteFile(archive)) {
      // The record is gone, so the set is no longer listed.
      env.log.LogLine(u"Cannot delete the undo archive " + LogSafe(archive) + u": " + ErrorText(e));
    }
  }
  env.log.LogLine(u"Undo set deleted: " + LogSafe(record_path));
  return true;
}

bool UndoSetFromRecord(UndoEnv& env, TextView record_path) {
  CBackup backup;
  backup.folder = PartialBackupsFolder(env);
  backup.recordPath = Text(record_path);
  if (!SerializeBackup(env, backup, false)) {
    Show(env, u"IDS_STR_UNDO_FAILED");
    return false;
  }
  return UndoBackup(env, backup);
}

std::size_t RecoverInterruptedUndoSets(UndoEnv& env) {
  const Text folder = PartialBackupsFolder(env);
  std::vector<DirEntry> entries;
  if (env.fs.ListDirectory(folder, &entries) != err::kSuccess) return 0;
  std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  std::size_t completed = 0;
  for (const DirEntry& e : entries) {
    std::uint64_t n = 0;
    if (e.is_directory || !EndsWithExtension(e.name, kUndoJournalExtension) || !LeadingNumber(e.name, &n)) continue;
    const Text journal = folder + e.name;
    const Text base = WithoutLast3(journal);
    if (env.fs.Exists(base + Text(kUndoRecordExtension)) && env.fs.Exists(base + Text(kUndoArchiveExtension))) {
      // The run ended and saved its set; only the journal's removal was lost.
      (void)env.fs.DeleteFile(journal);
      continue;
    }
    std::vector<std::uint8_t> bytes;
    if (WinError rc = env.fs.ReadFile(journal, kMaxUndoJournalBytes, &bytes)) {
      env.log.LogLine(u"The undo journal " + LogSafe(journal) + u" cannot be read: " + ErrorText(rc));
      continue;
    }
    ArchiveReader r(bytes.data(), bytes.size());
    std::uint32_t magic = 0;
    std::uint8_t is64 = 0;
    auto backup = std::make_unique<CBackup>();
    if (!r.U32(&magic) || (magic != kJournalMagic && magic != kJournalMagicV1) || !r.String(&backup->title) ||
        !r.Time(&backup->changed) || !r.U8(&is64) || is64 > 1) {
      env.log.LogLine(u"The undo journal " + LogSafe(journal) + u" is damaged");
      (void)SetAsideDamagedFile(env.fs, journal, env.log);
      continue;
    }
    backup->is64System = is64 != 0;
    backup->exportAtEnd = true;
    backup->folder = folder;
    backup->archivePath = base + Text(kUndoArchiveExtension);
    backup->journalPath = journal;
    backup->m_pRegExport32 = std::make_unique<CRegExport>();
    if (backup->is64System) backup->m_pRegExport64 = std::make_unique<CRegExport>();
    std::size_t kept = 0;
    bool torn = false;
    while (r.remaining() > 0) {
      std::uint32_t index = 0;
      std::uint8_t view = 0;
      Text chunk;
      std::uint32_t crc = 0;
      if ((magic == kJournalMagic && !r.U32(&index)) || !r.U8(&view) || !r.String(&chunk) || !r.U32(&crc) ||
          crc != Crc(chunk) || view > 1 || (view == 1 && !backup->m_pRegExport64)) {
        torn = true;  // the last write was cut short; its change was never made
        break;
      }
      if (magic == kJournalMagicV1) index = view;
      // Exports are started in order, each by its first entry.
      if (index == ExportCount(*backup) && index >= 2 && index < kMaxJournalExports) (void)AddLaterExport(*backup, view == 1);
      CRegExport* target = index < ExportCount(*backup) ? ExportAt(*backup, index) : nullptr;
      if (!target || ExportIs64(*backup, index) != (view == 1)) {
        torn = true;
        break;
      }
      target->lines.push_back(std::move(chunk));
      ++kept;
    }
    env.log.LogLine(u"Interrupted repair run found: completing its undo set from " + LogSafe(journal) + u" (" +
                    ToText(static_cast<std::int64_t>(kept)) + u" backups" +
                    (torn ? u", an unfinished last entry left out)" : u")"));
    if (EndUndoBackup(env, std::move(backup)) && !env.fs.Exists(journal)) ++completed;
  }
  return completed;
}

}  // namespace hs
