// CRegExport: registry export text kept in memory for one registry view, and
// the exports of a key tree or a single value into it, in the system
// editor's ".reg" format (platform/reg_text.h, FormatValueLine default mode).
//
// Exports report whether everything asked for was captured, so that a
// change is never applied to data that could not be backed up.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/file_system.h"
#include "platform/log.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace hs {

// The name and data buffers of an export (UTF-16 characters, bytes).
inline constexpr std::uint32_t kExportValueNameChars = 16384;
inline constexpr std::uint32_t kExportValueDataBytes = 4u * 1024 * 1024;
inline constexpr std::uint32_t kExportSubkeyNameChars = 260;

// RootIndex of stored operations: 0 HKCR, 1 HKCU, 2 HKLM, 3 HKU, 4 HKCC.
// The predefined key of an index (0 for any other number).
RegKey RootOfIndex(std::int32_t index);
// -1 for a name that is none of the five long root names.
std::int32_t RootIndexOfName(TextView root_name);
// Name written into exports: empty for 4 and anything else.
TextView ExportRootName(std::int32_t index);

class CRegExport {
 public:
  CRegExport();
  // Header line first; then key headers and value lines, each with its CR LF.
  std::vector<Text> lines;
  // The whole text (the file body after the byte-order mark).
  Text Body() const;

  // Reused for every value read (allocated once).
  Text name_buffer;
  RegValue data_buffer;
};

// What one run has backed up of one registry view: every key whose state
// before the run is in the backup, the values kept of each, and the keys
// whose whole subtree was kept. Each key and value enters a run's backup
// once, as it was before the run's first change to it, so that importing
// the backup restores that state and never an in-between one. Names compare
// as the registry compares them (upper-case form).
class CapturedKeys {
 public:
  struct Entry {
    bool subtree = false;                // every value and subkey is known
    std::unordered_set<Text> values;     // upper-case names of the values kept
  };

  // True when the key's state before the run is in the backup: the key was
  // kept, or it lies in a kept subtree.
  bool KeyKnown(TextView full_name) const;
  // True when the value's state before the run is in the backup.
  bool ValueKnown(TextView full_name, TextView value_name) const;
  // True when the key's whole subtree is in the backup (itself or above).
  bool SubtreeKnown(TextView full_name) const;
  // What was noted of the key itself (its ancestors not consulted); null
  // when nothing was.
  const Entry* Noted(TextView full_name) const;

  void NoteKey(TextView full_name);
  void NoteValue(TextView full_name, TextView value_name);
  // The key's whole subtree: every value and subkey in it is known.
  void NoteSubtree(TextView full_name);
  // Adds everything `staged` noted.
  void Merge(const CapturedKeys& staged);
  // True when any key `staged` noted is known here.
  bool Overlaps(const CapturedKeys& staged) const;
  bool empty() const { return keys_.empty(); }

 private:
  bool AncestorSubtree(TextView full_name) const;
  std::unordered_map<Text, Entry> keys_;  // by upper-case full name
};

// How a backup export went.
enum class ExportResult {
  kExported,    // everything asked for is in the export
  kNothing,     // the key (or value) does not exist: nothing to back up
  kKnown,       // its state before the run is in the backup already
  kIncomplete,  // something that exists could not be read or carried; see the log
};

// Appends root\path and its subtree (leaving out every Wow6432Node key) to
// *out. `view_sam` is 0 or a view bit. Registry reads that fail part-way
// (a value too large for the buffers, a subkey that cannot be opened, an
// enumeration error) and names the export text cannot carry give kIncomplete
// with a log line. With `known`, keys and values it knows are left out (only
// a key header is repeated where new values follow it), and what is
// appended is noted in *noted.
ExportResult ExportKeyTree(Registry& registry, CRegExport* out, std::int32_t root_index, TextView path,
                           std::uint32_t view_sam, Log& log, const CapturedKeys* known = nullptr,
                           CapturedKeys* noted = nullptr);
// Appends the key header and the value's line. kNothing when the key or the
// value does not exist (nothing is appended then); kKnown (nothing appended)
// when `known` knows the value.
ExportResult ExportValue(Registry& registry, CRegExport* out, std::int32_t root_index, TextView path,
                         TextView value_name, std::uint32_t view_sam, Log& log, const CapturedKeys* known = nullptr,
                         CapturedKeys* noted = nullptr);

// Full name of a key in the export text: root name + "\" + path.
Text ExportKeyName(std::int32_t root_index, TextView path);

// Writes BOM + body to `path` (replacing it), with the log lines of the
// format. False when it cannot be written.
[[nodiscard]] bool WriteExportFile(FileSystem& fs, const CRegExport& reg_export, TextView path, Log& log);

}  // namespace hs
