// Full backups: whole-registry exports in the data folder, named by the
// time of the backup in seconds since 1970 UTC ("1765204171.reg"); the file
// names are the catalogue.
//
// A backup is written under a temporary name, read back whole and checked
// (it parses, it holds the machine and user roots), marked complete with a
// closing comment line that counts its keys and values, and only then
// renamed into place: a failed or cut-short export never appears in the
// list. A restore refuses a file that does not parse whole or whose mark is
// missing or does not match (a truncated or altered file), imports it, and
// reads a sample of its keys and values back.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/log.h"
#include "platform/reg_text.h"
#include "platform/registry.h"
#include "platform/whole_registry_editor.h"

namespace hs {

// Keys read back after a restore, spread evenly over the file.
inline constexpr std::size_t kRestoreSampleKeys = 1000;
// The closing line of a complete backup (after a line break).
inline constexpr TextView kFullBackupMark = u"; HiveSweep full registry backup: ";

struct FullBackupEntry {
  Text name;
  Text path;
  bool dated = false;         // the name starts with a number of seconds
  std::int64_t seconds = 0;
};

// The data folder's full backups, in name order: every file (not folder)
// whose name holds "reg" first at its very end. `dated` when the text before
// the first "." is a decimal number.
std::vector<FullBackupEntry> ListFullBackups(FileSystem& fs, TextView data_folder);

// "%a. %b %d, %Y. %I:%M %p" (English names), the list's date text.
Text FormatBackupDate(const DateTime& local);

// What full backups and restores run on. Ports must outlive every call.
struct FullBackupEnv {
  WholeRegistryEditor& editor;
  Registry& registry;
  FileSystem& fs;
  Clock& clock;
  Log& log;
  Text data_folder;          // no trailing backslash
  bool windows64 = false;    // 64-bit Windows: the file is read back in the 64-bit view
};

enum class FullBackupStatus {
  kOk,
  kNoDataFolder,   // the data folder does not exist
  kExportFailed,   // the editor did not start, did not end, or failed
  kIncomplete,     // the export does not parse or lacks a root
  kCannotKeep,     // it could not be marked or renamed into place
};
struct FullBackupResult {
  FullBackupStatus status = FullBackupStatus::kExportFailed;
  Text path;    // the backup, when kOk
  Text detail;  // why not, for the log and the front end
};
[[nodiscard]] FullBackupResult MakeFullBackup(FullBackupEnv& env);

enum class FullRestoreStatus {
  kOk,
  kMissing,           // no such file
  kDamaged,           // unreadable, does not parse, or not a complete backup
  kEditorNotStarted,  // nothing was imported
  kNotFinished,       // the editor failed or did not end
  kDiffers,           // imported, but a sampled key or value reads back otherwise
};
struct FullRestoreResult {
  FullRestoreStatus status = FullRestoreStatus::kDamaged;
  Text detail;
  std::size_t keys = 0;     // keys in the file
  std::size_t checked = 0;  // keys read back
};
// Restores a full backup; the registry is touched only when the file passed
// its checks (kMissing and kDamaged change nothing).
[[nodiscard]] FullRestoreResult RestoreFullBackupFile(FullBackupEnv& env, TextView path);

// The checks alone, reading the file as a stream: it parses whole, holds
// the roots and carries a matching mark. False with *detail otherwise. With
// `sample`, up to about kRestoreSampleKeys keys spread over the file are
// kept there; *keys (may be null) gets the count.
[[nodiscard]] bool CheckFullBackupFile(FileSystem& fs, TextView path, std::vector<RegTextKey>* sample,
                                       std::size_t* keys, Text* detail);

}  // namespace hs
