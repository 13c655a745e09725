// The two user lists: the exclusion list (key paths the user excluded, file
// ExcludeList.hsw) and the temporary ignore list (key paths of problems set
// aside after a repair run, file TempHLList.hsw), both in the data folder.
//
// Matching: a candidate is listed when, upper-cased, it contains an entry,
// upper-cased, as a substring (no boundary check: "...\SOFTWARE\FOO" also
// matches "...\Software\FooBar"). Empty entries never match; an empty entry
// would otherwise hide every problem.
//
// File format (archive encoding, engine/archive.h): a 32-bit count of the
// entries (read but not used), then the entries as a string array. A file is
// damaged when it cannot be decoded or has bytes after the array.
//
// Threads: a UserList is not synchronised. The user interface changes the
// lists only while no scan runs; a scan only reads them (const members).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/filter_lists.h"
#include "platform/file_system.h"
#include "platform/log.h"
#include "platform/text.h"

namespace hs {

inline constexpr TextView kExcludeListFileName = u"ExcludeList.hsw";
inline constexpr TextView kTempIgnoreListFileName = u"TempHLList.hsw";
// Largest list file that is read; a larger one counts as damaged.
inline constexpr std::uint64_t kMaxUserListFileBytes = 64u * 1024 * 1024;

enum class UserListKind { kExclusion, kTempIgnore };

enum class ListLoadResult {
  kLoaded,      // the file's entries replaced the list
  kMissing,     // no file: the list is empty
  kDamaged,     // the file could not be decoded: the list is empty, logged,
                // the file moved to <name>.bad when that was possible
  kUnreadable,  // the file could not be read (sharing violation, access
                // denied, ...; or the data folder is unknown): the list is
                // empty, logged, and the file is left as it is: Save refuses
                // to write over it until a later Load succeeds
};

// The list file's bytes for these entries. Empty when the entries exceed
// the archive limits (then nothing may be stored).
std::vector<std::uint8_t> EncodeUserListFile(const std::vector<Text>& entries);
// Decodes a list file. On failure *entries is unchanged and *error (when
// given) describes the fault.
[[nodiscard]] bool DecodeUserListFile(std::span<const std::uint8_t> bytes, std::vector<Text>* entries,
                                      std::string* error = nullptr);

class UserList final : public KeyPathList {
 public:
  explicit UserList(UserListKind kind) : kind_(kind) {}

  UserListKind kind() const { return kind_; }
  // ExcludeList.hsw or TempHLList.hsw.
  TextView file_name() const;

  bool Matches(TextView candidate) const override;
  // True when an entry equals `key` without regard to case (whole text).
  bool EqualsAnyEntryNoCase(TextView key) const override;

  const std::vector<Text>& entries() const { return entries_; }
  // Appends as given (no duplicate check).
  void Add(TextView entry) override;
  // Removes the entries at these positions; positions out of range and
  // repeated positions are ignored.
  void RemoveAt(std::span<const std::size_t> positions);
  void Clear();

  // Replaces the list with the content of <data_folder>\<file_name()>; see
  // ListLoadResult. A failed load never touches the other list.
  [[nodiscard]] ListLoadResult Load(FileSystem& fs, TextView data_folder, Log& log);
  // Writes the whole list to <data_folder>\<file_name()> through
  // WriteFileAtomic: a failure leaves the old file as it was. Failures are
  // logged and returned (3 when the data folder is unknown, 13 when the list
  // exceeds the archive limits, the read error when the last Load could not
  // read the file: its entries were never seen, so it is not replaced).
  [[nodiscard]] WinError Save(FileSystem& fs, TextView data_folder, Log& log) const;
  // The read error of the last Load when it could not read the file; 0 otherwise.
  WinError unreadable_error() const { return unreadable_error_; }

 private:
  Text FilePath(TextView data_folder) const;

  UserListKind kind_;
  std::vector<Text> entries_;
  std::vector<Text> upper_;  // entries_, upper-cased
  WinError unreadable_error_ = err::kSuccess;
};

// Adding an exclusion from the settings page or the results view.
enum class AddExclusionResult {
  kAdded,
  kEmptyKey,       // settings page: nothing but blanks and backslashes typed (IDS_NOEMPTY_KEY)
  kAlreadyExists,  // an equal entry, without regard to case (IDS_ITEM_ALREADY_EXIST)
  kNotAKeyPath,    // results view: the key path does not begin with "HKEY_"
};

// The roots the settings page offers, in the chooser's order (first preselected).
inline constexpr std::array<TextView, 4> kExclusionRootNames = {
    u"HKEY_LOCAL_MACHINE", u"HKEY_CURRENT_USER", u"HKEY_CLASSES_ROOT", u"HKEY_USERS"};

// Settings page: trims the subkey, drops its leading backslashes, upper-cases
// root and subkey and joins them with one backslash ("HKEY_LOCAL_MACHINE" +
// "\Software\X" -> "HKEY_LOCAL_MACHINE\SOFTWARE\X"), then appends the result
// unless an equal entry exists. A subkey that is empty after this is
// refused: the bare root would exclude the whole root.
AddExclusionResult AddExclusionFromSettings(UserList& list, TextView root_name, TextView subkey);

// Results view: appends the problem's key path unchanged when it begins with
// "HKEY_" (case-sensitive) and no equal entry exists. The caller then drops
// every problem whose key path equals an entry (EqualsAnyEntryNoCase), also
// after kAlreadyExists.
AddExclusionResult AddExclusionFromResults(UserList& list, TextView key_path);

}  // namespace hs
