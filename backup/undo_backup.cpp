#include "backup/undo_backup.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>

#include "areas/user_lists.h"
#include "engine/archive.h"
#include "engine/registry_helpers.h"
#include "platform/reg_text.h"

namespace hs {
namespace {

constexpr std::uint32_t kJournalMagic = 0x314A5348;  // "HSJ1"
constexpr std::size_t kMaxEntryNameChars = 64;

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

// Puts a backup on disk (journal, synced) and into the run's export. False
// when it could not be written: the change must then not be made.
bool KeepBackup(UndoEnv& env, CBackup& backup, bool is64, const CRegExport& scratch) {
  CRegExport* target = is64 && backup.m_pRegExport64 ? backup.m_pRegExport64.get() : backup.m_pRegExport32.get();
  if (!target) return false;
  if (scratch.lines.size() > 1) {
    if (!backup.journal || backup.journal_failed) {
      env.log.LogLine(u"The undo journal is not open: the change is not made");
      return false;
    }
    const Text chunk = Chunk(scratch);
    ArchiveWriter w;
    w.U8(target == backup.m_pRegExport64.get() ? 1 : 0);
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
  target->lines.insert(target->lines.end(), scratch.lines.begin() + 1, scratch.lines.end());
  return true;
}

bool RunDeleteKey(UndoEnv& env, CBackup& backup, const COperation& op, std::uint32_t sam, std::uint32_t view) {
  env.log.LogLine(op.is64 ? u"Attempting to Backup for Set Registry Value - 64 bit"
                          : u"Attempting to Backup for Set Registry Value - 32 bit");
  if (op.strings.empty() || op.numbers.empty()) return false;
  const RegKey root = RootOfIndex(op.numbers[0]);
  if (!root) return false;
  CRegExport scratch;
  const ExportResult exported = ExportKeyTree(env.registry, &scratch, op.numbers[0], op.strings[0], view, env.log);
  RegKey key = 0;
  const WinError open = env.registry.Open(root, op.strings[0], sam, &key);
  if (open == err::kFileNotFound) return true;  // already gone
  if (open != err::kSuccess) {
    env.log.LogLine(u"The key could not be opened for deletion: " + ErrorText(open));
    return false;
  }
  env.registry.Close(key);
  if (exported != ExportResult::kExported) {
    env.log.LogLine(u"The key could not be backed up completely: it is not deleted");
    return false;
  }
  if (!KeepBackup(env, backup, op.is64, scratch)) return false;
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

bool RunSetValue(UndoEnv& env, CBackup& backup, const COperation& op, std::uint32_t sam, std::uint32_t view) {
  env.log.LogLine(u"Attempting to Set Registry Value - 32 bit");
  env.log.LogLine(op.is64 ? u"Attempting to Backup for Set Registry Value - 64 bit"
                          : u"Attempting to Backup for Set Registry Value - 32 bit");
  if (op.strings.size() < 3 || op.numbers.size() < 2) return false;
  const RegKey root = RootOfIndex(op.numbers[1]);
  if (!root) return false;
  CRegExport scratch;
  const ExportResult exported =
      ExportValue(env.registry, &scratch, op.numbers[1], op.strings[0], op.strings[1], view, env.log);
  if (exported == ExportResult::kIncomplete) {
    env.log.LogLine(u"The value could not be backed up: it is not changed");
    return false;
  }
  if (!KeepBackup(env, backup, op.is64, scratch)) return false;
  RegKey key = 0;
  if (env.registry.Create(root, op.strings[0], sam, &key, nullptr) != err::kSuccess) return false;
  env.log.LogLine(u"Key Created");
  WinError e = err::kInvalidParameter;
  if (op.numbers[0] == 0) e = env.registry.SetValue(key, op.strings[1], kRegSz, SzData(op.strings[2]));
  env.registry.Close(key);
  return e == err::kSuccess;
}

bool RunDeleteValue(UndoEnv& env, CBackup& backup, const COperation& op, std::uint32_t sam, std::uint32_t view) {
  env.log.LogLine(u"Attempting to Delete Value");
  env.log.LogLine(op.is64 ? u"Attempting to backup Value to be deleted - 64 bit"
                          : u"Attempting to backup Value to be deleted - 32 bit");
  if (op.strings.size() < 2 || op.numbers.empty()) return false;
  const RegKey root = RootOfIndex(op.numbers[0]);
  if (!root) return false;
  CRegExport scratch;
  const ExportResult exported =
      ExportValue(env.registry, &scratch, op.numbers[0], op.strings[0], op.strings[1], view, env.log);
  if (exported == ExportResult::kIncomplete) {
    env.log.LogLine(u"The value could not be backed up: it is not deleted");
    return false;
  }
  if (!KeepBackup(env, backup, op.is64, scratch)) return false;
  RegKey key = 0;
  if (env.registry.Open(root, op.strings[0], sam, &key) != err::kSuccess) return false;
  const WinError e = env.registry.DeleteValue(key, op.strings[1]);
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

void EndUndoBackup(UndoEnv& env, std::unique_ptr<CBackup> owned) {
  if (!owned) return;
  CBackup& backup = *owned;
  bool archived = true;
  if (backup.exportAtEnd) {
    const int views = backup.is64System ? 2 : 1;
    for (int index = 0; index < views && archived; ++index) {
      auto op = std::make_unique<COperation>();
      op->kind = kOpDeleteKeyTree;
      op->strings = {u"waste"};
      op->numbers = {1};
      op->is64 = index == 1;
      env.log.LogLine(u"Exporting Reg File");
      const Text temp = backup.folder + Text(kTempExportName);
      if (!backup.archive_writer) {
        if (backup.archivePath.empty()) {
          backup.archivePath = NextBackupNumber(env.fs, backup.folder) + u"." + Text(kUndoArchiveExtension);
        }
        backup.archive_writer = std::make_unique<ZipWriter>();
      }
      if (env.fs.Exists(temp)) (void)env.fs.DeleteFile(temp);
      if (index == 0) {
        env.log.LogLine(u"Attempting Exporting for 32 bit reg file : " + temp);
        if (!backup.m_pRegExport32) {
          env.log.LogLine(u"m_pRegExport32 not initialized!!");
          archived = false;
          break;
        }
        const bool ok = WriteExportFile(env.fs, *backup.m_pRegExport32, temp, env.log);
        env.log.LogLine(ok ? u"Reg Export 32 Done !!" : u"Regexport32 failed!!");
      } else if (backup.m_pRegExport64) {
        env.log.LogLine(u"Attempting Exporting for 64 bit reg file : " + temp);
        const bool ok = WriteExportFile(env.fs, *backup.m_pRegExport64, temp, env.log);
        env.log.LogLine(ok ? u"64 Bit reg export  Done!!" : u"64 Bit reg export  failed!!");
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
  if (saved && !backup.operations.empty()) saved = SerializeBackup(env, backup, true);
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

bool ImportRegFile(UndoEnv& env, TextView path, bool is64) {
  const RegImportOutcome outcome = env.editor.Import(path, is64);
  if (!outcome.started) {
    env.log.LogLine(u"The registry editor could not be started for " + LogSafe(path));
    return false;
  }
  if (outcome.finished && outcome.exit_code != 0) {
    env.log.LogLine(u"The registry editor failed to import " + LogSafe(path) + u" (exit status " +
                    ToText(static_cast<std::int64_t>(outcome.exit_code)) + u")");
    return false;
  }
  // The editor's status says little: the file's first key must now exist.
  std::vector<std::uint8_t> bytes;
  RegTextDocument doc;
  if (env.fs.ReadFile(path, kMaxRegTextBytes, &bytes) != err::kSuccess ||
      !ParseRegText(bytes.data(), bytes.size(), &doc, nullptr)) {
    env.log.LogLine(u"The imported file " + LogSafe(path) + u" could not be read back");
    return false;
  }
  for (const RegTextKey& k : doc.keys) {
    if (k.remove) continue;
    RegKey key = 0;
    const WinError e = env.registry.Open(k.root, k.path, kKeyRead | ViewBits(env, is64), &key);
    if (e != err::kSuccess) {
      env.log.LogLine(u"Registry import of " + LogSafe(path) + u" failed: " + LogSafe(k.root_name) + u"\\" +
                      LogSafe(k.path) + (outcome.finished ? u" is missing after the import"
                                                          : u" is missing and the editor did not finish in time"));
      return false;
    }
    env.registry.Close(key);
    break;
  }
  return true;
}

bool UndoOperation(UndoEnv& env, CBackup& backup, const COperation& op) {
  if (op.kind != kOpDeleteKey && op.kind != kOpDeleteKeyTree) {
    env.log.LogLine(u"An undo record of unknown kind " + ToText(op.kind) + u" cannot be undone");
    return false;
  }
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
      return false;
    }
    backup.archive_reader = std::move(reader);
  }
  if (op.strings.size() < 2) return true;  // no entry named: nothing matches
  const Text& wanted = op.strings[1];
  bool ok = true;
  for (std::size_t i = 0; i < backup.archive_reader->EntryCount(); ++i) {
    const Text name = FromUtf8(backup.archive_reader->EntryName(i));
    if (name != wanted) continue;
    if (!SafeEntryName(name)) {
      env.log.LogLine(u"The undo archive names an unsafe entry: " + LogSafe(Ascii(name)));
      ok = false;
      break;
    }
    std::vector<std::uint8_t> bytes;
    if (!backup.archive_reader->Extract(i, &bytes)) {
      env.log.LogLine(u"The undo archive entry " + name + u" cannot be extracted: " +
                      FromUtf8(backup.archive_reader->error()));
      ok = false;
      continue;
    }
    const Text file = backup.folder + name;
    if (WinError e = env.fs.WriteFileAtomic(file, bytes)) {
      env.log.LogLine(u"The undo file " + LogSafe(file) + u" cannot be written: " + ErrorText(e));
      ok = false;
      continue;
    }
    ok = ImportRegFile(env, file, op.is64);
    (void)env.fs.DeleteFile(file);
    break;
  }
  return ok;
}

bool UndoBackup(UndoEnv& env, CBackup& backup) {
  Pump(env);
  for (std::size_t i = backup.operations.size(); i-- > 0;) {
    if (!UndoOperation(env, backup, *backup.operations[i])) {
      Show(env, u"IDS_STR_UNDO_FAILED");
      return false;
    }
    Pump(env);
  }
  backup.archive_reader.reset();
  backup.archive_bytes.clear();
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
    if (!r.U32(&magic) || magic != kJournalMagic || !r.String(&backup->title) || !r.Time(&backup->changed) ||
        !r.U8(&is64) || is64 > 1) {
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
      std::uint8_t view = 0;
      Text chunk;
      std::uint32_t crc = 0;
      if (!r.U8(&view) || !r.String(&chunk) || !r.U32(&crc) || crc != Crc(chunk) || view > 1 ||
          (view == 1 && !backup->m_pRegExport64)) {
        torn = true;  // the last write was cut short; its change was never made
        break;
      }
      (view == 1 ? backup->m_pRegExport64 : backup->m_pRegExport32)->lines.push_back(std::move(chunk));
      ++kept;
    }
    env.log.LogLine(u"Interrupted repair run found: completing its undo set from " + LogSafe(journal) + u" (" +
                    ToText(static_cast<std::int64_t>(kept)) + u" backups" +
                    (torn ? u", an unfinished last entry left out)" : u")"));
    EndUndoBackup(env, std::move(backup));
    if (!env.fs.Exists(journal)) ++completed;
  }
  return completed;
}

}  // namespace hs
