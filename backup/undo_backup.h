// Undo sets: every registry change a repair run makes goes through
// RunOperation, which backs up the key or value it will touch before
// changing it. A run's backups end up as ".reg" files in a zip archive
// ("<N>.rxb", entries "%.8d.reg": 1 the 32-bit view, 2 the 64-bit view) in
// the partial backups folder, described by a record file ("<N>.rmx", the
// archive encoding of engine/archive.h). Undoing a set imports its files
// with the registry editor, newest first.
//
// Nothing is changed before its backup is on disk: each backup is also
// appended to the run's journal ("<N>.rjn") and synced before the change is
// applied; a change whose backup could not be taken or written is not made.
// EndUndoBackup turns the run into its archive and record file and removes
// the journal; RecoverInterruptedUndoSets completes the journal of a run that
// never ended (a crash, a kill, a power cut) into a normal undo set.
//
// Threads: a CBackup is used by one thread at a time (begun and ended on the
// user-interface thread, fed on the repair worker). The environment's ports
// must be safe to use from the thread that calls.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "backup/reg_export.h"
#include "backup/zip_archive.h"
#include "engine/problem.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/log.h"
#include "platform/reg_editor.h"
#include "platform/reg_text.h"
#include "platform/registry.h"

namespace hs {

class UserList;

inline constexpr TextView kPartialBackupsFolder = u"Partial Backups\\";
inline constexpr TextView kUndoArchiveExtension = u"rxb";
inline constexpr TextView kUndoRecordExtension = u"rmx";
inline constexpr TextView kUndoJournalExtension = u"rjn";
inline constexpr TextView kTempExportName = u"temp__reg.reg";
// Largest record file and journal read.
inline constexpr std::uint64_t kMaxUndoRecordBytes = 64u * 1024 * 1024;
inline constexpr std::uint64_t kMaxUndoJournalBytes = std::uint64_t{1} << 30;

enum OperationKind : std::int32_t {
  kOpDeleteKey = 5,
  kOpDeleteKeyTree = 6,  // also the registry-import record of an undo set
  kOpSetValue = 8,
  kOpDeleteValue = 9,
};

struct COperation {
  std::vector<Text> strings;
  std::vector<std::int32_t> numbers;
  std::vector<std::uint8_t> blob;
  std::uint32_t blobLength = 0;
  bool is64 = false;
  std::int32_t kind = 0;
};

class CBackup {
 public:
  CBackup();
  ~CBackup();
  CBackup(const CBackup&) = delete;
  CBackup& operator=(const CBackup&) = delete;

  bool is64System = false;
  bool exportAtEnd = false;
  std::unique_ptr<CRegExport> m_pRegExport32;
  std::unique_ptr<CRegExport> m_pRegExport64;
  Text recordPath;
  std::vector<std::unique_ptr<COperation>> operations;
  Text folder;  // ends with a backslash
  Text title;
  Text archivePath;
  std::int64_t changed = 0;
  std::uint32_t reserved = 0;
  std::uint32_t regFileCount = 0;

  // The open archive: written during a run, read during an undo.
  std::unique_ptr<ZipWriter> archive_writer;
  std::vector<std::uint8_t> archive_bytes;
  std::unique_ptr<ZipReader> archive_reader;

  // The run's journal (open from BeginUndoBackup to EndUndoBackup).
  Text journalPath;
  std::unique_ptr<WritableFile> journal;
  bool journal_failed = false;

  // What the run has backed up, per view (0 the 32-bit view, 1 the 64-bit
  // one): each key and value is kept once, as it was before the run.
  CapturedKeys captured[2];
  // Exports after the first two, each for one view: a key
  // shared by both views that one view's export holds already is kept by
  // the other view in a later export, which the undo imports first, so that
  // the earliest backup is the one imported last.
  struct LaterExport {
    bool is64 = false;
    std::unique_ptr<CRegExport> text;
  };
  std::vector<LaterExport> later_exports;
  // The export each view is adding to: 0 m_pRegExport32, 1 m_pRegExport64,
  // 2 + i later_exports[i].
  std::size_t current_export[2] = {0, 1};
  // An undo: the archive could not be read (shown once).
  bool archive_unreadable = false;
};

// What the undo layer works with. Ports must outlive every call.
struct UndoEnv {
  Registry& registry;
  FileSystem& fs;
  RegEditor& editor;
  Clock& clock;
  Log& log;
  bool windows64 = false;  // the process runs under WOW64
  bool is_admin = false;
  Text data_folder{};      // the program's data folder
  UserList* exclusions = nullptr;  // keys that could not be removed go here
  StringLookup strings = [](TextView) { return Text(); };
  // A message box (IDS_UNZIP_ERR, IDS_STR_UNDO_FAILED); may be empty.
  std::function<void(TextView text)> show_message{};
  // Called when a record file is about to be saved (the program notes the
  // time of its latest restore point); may be empty.
  std::function<void()> partial_backup_saved{};
  // Lets the calling thread's window messages be processed; may be empty.
  std::function<void()> pump_messages{};
};

// data folder + "Partial Backups\".
Text PartialBackupsFolder(const UndoEnv& env);

// folder + "%.8d" of the largest leading number of the folder's record files
// ("...rmx" at the very end of the name) + 1.
Text NextBackupNumber(FileSystem& fs, TextView folder);

// Starts the undo set of a repair run; also opens its journal. Never null.
std::unique_ptr<CBackup> BeginUndoBackup(UndoEnv& env);

// The changes. True when the registry now holds the repaired state.
[[nodiscard]] bool AddDeleteKeyOperation(UndoEnv& env, CBackup& backup, std::int32_t root_index, TextView key_path,
                                         bool tree, bool is64);
[[nodiscard]] bool AddDeleteValueOperation(UndoEnv& env, CBackup& backup, std::int32_t root_index,
                                           TextView key_path, TextView value_name, bool is64);
[[nodiscard]] bool AddSetValueOperation(UndoEnv& env, CBackup& backup, std::int32_t root_index, TextView key_path,
                                        TextView value_name, TextView data, bool is64);
[[nodiscard]] bool RunOperation(UndoEnv& env, CBackup& backup, const COperation& op);

// Deletes parent\path and its subtree, except that a key holding a
// Wow6432Node subkey stays (and so its ancestors). 0 or the error.
[[nodiscard]] WinError DeleteKeyTree(Registry& registry, RegKey parent, TextView path, std::uint32_t sam);

// Archives the exports, saves the record file, removes the journal and
// destroys the set. False when the archive or the record file could not be
// written (the journal then stays, for the next start to complete); the
// record file's path goes to *record_path when it was written.
[[nodiscard]] bool EndUndoBackup(UndoEnv& env, std::unique_ptr<CBackup> backup, Text* record_path = nullptr);

// Deletes root\path when it holds no value and no subkey, after backing it
// up. True when it is gone or was not empty (nothing to do).
[[nodiscard]] bool RemoveKeyIfEmpty(UndoEnv& env, CBackup& backup, std::int32_t root_index, TextView key_path,
                                    bool is64);

// The record file's bytes, and their reading (false with *error for a file
// that is damaged or breaks a limit; *backup is then unchanged).
std::vector<std::uint8_t> EncodeUndoRecord(const CBackup& backup);
[[nodiscard]] bool DecodeUndoRecord(std::span<const std::uint8_t> bytes, CBackup* backup, std::string* error);
// Store: writes the record file (atomically), setting the paths when empty.
// Load: reads backup.recordPath into the set.
[[nodiscard]] bool SerializeBackup(UndoEnv& env, CBackup& backup, bool store);

// Undoes a loaded set, newest operation first. A step that fails does not
// stop the others; false (with IDS_STR_UNDO_FAILED shown) when any failed.
[[nodiscard]] bool UndoBackup(UndoEnv& env, CBackup& backup);
[[nodiscard]] bool UndoOperation(UndoEnv& env, CBackup& backup, const COperation& op);
// Imports a ".reg" file with the registry editor and checks the outcome: the
// editor must start and end within its wait (with status 0 where it reports
// one), and every key and value the file names must then read back in the
// view as the file says (type and bytes). False with a log line naming the
// first difference otherwise.
[[nodiscard]] bool ImportRegFile(UndoEnv& env, TextView path, bool is64);
// The check alone: the first difference between the registry and what
// importing `doc` must leave, in the view; empty when there is none.
Text FirstImportDifference(Registry& registry, const RegTextDocument& doc, std::uint32_t view_sam);

// An undo set in the partial backups folder.
struct UndoSetInfo {
  Text record_path;
  Text title;
  std::int64_t changed = 0;
  std::size_t operations = 0;
  bool archive_present = false;
};
// The folder's readable record files, newest (highest number) first.
// Damaged ones are logged and left out.
std::vector<UndoSetInfo> ListUndoSets(UndoEnv& env);
// Deletes a set's record file and its archive. False when the record file
// could not be deleted (the set stays listed).
[[nodiscard]] bool DeleteUndoSet(UndoEnv& env, TextView record_path);
// Loads and undoes the set of a record file.
[[nodiscard]] bool UndoSetFromRecord(UndoEnv& env, TextView record_path);

// Completes every journal left by a run that never ended into an undo set
// (archive + record file), logging each. Returns how many were completed.
std::size_t RecoverInterruptedUndoSets(UndoEnv& env);

}  // namespace hs
