// CRegExport: registry export text kept in memory for one registry view, and
// the exports of a key tree or a single value into it, in the system
// editor's ".reg" format (platform/reg_text.h, FormatValueLine default mode).
//
// Exports report whether everything asked for was captured, so that a
// change is never applied to data that could not be backed up.
#pragma once

#include <cstdint>
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

// How a backup export went.
enum class ExportResult {
  kExported,    // everything asked for is in the export
  kNothing,     // the key (or value) does not exist: nothing to back up
  kIncomplete,  // something that exists could not be read; see the log
};

// Appends root\path and its subtree (leaving out every Wow6432Node key) to
// *out. `view_sam` is 0 or a view bit. Registry reads that fail part-way
// (a value too large for the buffers, a subkey that cannot be opened, an
// enumeration error) give kIncomplete with a log line.
ExportResult ExportKeyTree(Registry& registry, CRegExport* out, std::int32_t root_index, TextView path,
                           std::uint32_t view_sam, Log& log);
// Appends the key header and the value's line. kNothing when the key or the
// value does not exist (the header alone stays when only the value is
// missing).
ExportResult ExportValue(Registry& registry, CRegExport* out, std::int32_t root_index, TextView path,
                         TextView value_name, std::uint32_t view_sam, Log& log);

// Writes BOM + body to `path` (replacing it), with the log lines of the
// format. False when it cannot be written.
[[nodiscard]] bool WriteExportFile(FileSystem& fs, const CRegExport& reg_export, TextView path, Log& log);

}  // namespace hs
