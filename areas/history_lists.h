// CHistoryLists (area bit 0x0020): the shell's per-extension "Open with"
// history, the open/save dialog lists, the shell's program-usage records of
// Start menu items (read through CUserAssSpy) and the recent lists of named
// applications, all under HKEY_CURRENT_USER (in the 32-bit view on 64-bit
// Windows).
//
// Reports entry types 26 (an extension under FileExts whose only content is
// an empty "OpenWithList", or that holds nothing: key the extension's key,
// alternate key its "OpenWithList"), 27 (an open/save list entry naming a
// missing file), 28 (an application recent-list entry naming a missing file
// or folder), 29 and 30 (a usage record of a Start menu shortcut or folder
// that no longer exists; value name the record's stored name).
#pragma once

#include <vector>

#include "areas/shell_area.h"

namespace hs {

inline constexpr TextView kFileExtsKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";
inline constexpr TextView kOpenSaveKey =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSaveMRU";
inline constexpr TextView kUsageKeys[] = {
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist\\{5E6AB780-7743-11CF-A12B-00AA004AE837}"
    u"\\Count",
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist\\{75048700-EF1F-11D0-9888-006097DEACF9}"
    u"\\Count"};
inline constexpr TextView kUsageSettingsKey =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist\\Settings";

// One application recent list: its label, key and whether its values name
// folders.
struct RecentListRow {
  TextView label;
  TextView key;
  bool names_folders;
};
// The application recent lists, in the order they are checked.
extern const std::vector<RecentListRow> kRecentLists;

// ROT13: letters A-Z and a-z move 13 places within their case.
Text Rot13(TextView text);

// CUserAssSpy: reads the program-usage records of the usage keys. Names
// are stored ROT13-encoded unless the settings key has a "NoEncrypt" value
// that reads as a non-zero number.
class CUserAssSpy {
 public:
  struct Record {
    Text raw;      // the value name as stored
    Text decoded;  // the name as it reads ("UEME_RUNPIDL:...")
  };
  // Longest value name (units) and data (bytes) read; longer ones are skipped.
  static constexpr std::uint32_t kMaxNameChars = 1024;
  static constexpr std::uint32_t kMaxDataBytes = 2048;

  CUserAssSpy(const RegEnv& env, std::uint32_t read_mask) : env_(env), read_mask_(read_mask) {}

  bool NamesEncoded();
  // The records of one usage key whose decoded names begin with
  // "UEME_RUNPIDL:", in value order; nothing when the key cannot be opened.
  std::vector<Record> ReadRecords(TextView usage_key, bool encoded);

 private:
  const RegEnv& env_;
  std::uint32_t read_mask_;
};

class CHistoryLists final : public CShellArea {
 public:
  explicit CHistoryLists(ScanManager& manager);

  // File extensions, open/save lists, usage records, application lists;
  // sorts. 1 when done, 2 when cancelled.
  int Scan() override;
  bool PrepareScan() override;

  // The string values of one list under HKEY_CURRENT_USER (all but
  // "MRUList"), each naming a file (with the drive walk) or a folder. 1 or 2.
  int ScanRecentList(TextView key, int entry_type, TextView label, bool names_folders);
  // Usage records of Start menu items under "%csidl2%". 1 or 2.
  int ScanUsageRecords();

 private:
  int ScanFileExtensions();
  int ScanOpenSaveLists();
  std::uint32_t HistoryReadMask() const;

  Text user_programs_;
  Text common_programs_;
};

}  // namespace hs
