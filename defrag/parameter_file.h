// The compaction parameter file "QTMKXSet.bin" in the system folder, in its
// two forms. Little-endian throughout; texts are UTF-16LE without
// terminator.
//
// Written form (by the installation):
//   header  count, Windows major version, status (2 = pending)
//   record  nameLength, pathLength, size, mode (1); name; path
// Read-back form (by the boot-time step, after compaction):
//   header  count, (unused), status (8 = success, else failure)
//   record  nameLength, pathLength, sizeBefore, (unused); path; name
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/text.h"

namespace hs {

inline constexpr TextView kParameterFileName = u"QTMKXSet.bin";
inline constexpr std::uint32_t kCompactionPending = 2;
inline constexpr std::uint32_t kCompactionSucceeded = 8;
// What the boot-time step of machine folders writes when a hive failed.
inline constexpr std::uint32_t kCompactionFailed = 4;

enum class ParameterForm { kWritten, kReadBack };

struct ParameterRecord {
  Text name;
  Text path;                // written form: the device path; read back: the file
  std::uint32_t size = 0;   // size when listed; read back: size before
  std::uint32_t extra = 1;  // written form: the mode (1); read back: unused
};

struct ParameterFile {
  std::uint32_t count = 0;
  std::uint32_t version = 0;
  std::uint32_t status = kCompactionPending;
  std::vector<ParameterRecord> records;
};

std::vector<std::uint8_t> EncodeParameterFile(const ParameterFile& file, ParameterForm form);

enum class ParameterParse { kOk, kBadHeader, kBadRecord };
// Reads the header, then up to `count` records. kBadHeader when the header
// is short; kBadRecord when a record is cut off, a text is longer than
// kMaxHiveNameChars or the count exceeds kMaxHiveRecords; bytes after the
// last record are ignored. Records read before a fault are kept in *out.
[[nodiscard]] ParameterParse ParseParameterFile(std::span<const std::uint8_t> bytes, ParameterForm form,
                                                ParameterFile* out, std::string* error);

}  // namespace hs
