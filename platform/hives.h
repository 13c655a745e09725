// Hives port: what hive analysis and boot-time compaction need of the
// system. The loaded hives (the hivelist key), a compact copy of a loaded
// hive (RegSaveKeyW with the backup and restore privileges), the fixed
// drives' NT device names, the folders that hive paths are resolved
// against, files named by drive paths (sizes, the parameter file in the
// system folder, the analysis copies), the Session Manager's BootExecute
// value and the restart.
//
// Win32Hives (platform/win32) calls the real API. MachineHives
// (platform/portable) works on a machine folder holding real hive files:
// a compact copy is the hive file rebuilt with hivex, and a restart is only
// recorded. Called from one thread at a time; never throws.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/registry.h"
#include "platform/text.h"
#include "platform/win_error.h"

namespace hs {

// One value of HKLM\SYSTEM\CurrentControlSet\Control\hivelist.
struct LoadedHive {
  Text name;  // "\REGISTRY\MACHINE\SAM", as stored
  Text path;  // the value's text: an NT device path or a drive path
};

// A fixed drive and its NT volume device name (QueryDosDevice).
struct DriveDevice {
  Text drive;   // "C:"
  Text device;  // "\Device\HarddiskVolume1"
};

// The folders hive paths are resolved against; none has a trailing
// backslash and any may be empty when unknown.
struct HiveFolders {
  Text system_dir;        // GetSystemDirectory
  Text system_dir_short;  // its 8.3 form, or system_dir when it has none
  Text windows_dir;
  Text local_app_data;
  Text profiles_dir;      // GetProfilesDirectory
};

class Hives {
 public:
  virtual ~Hives() = default;

  // Enables SeShutdownPrivilege, SeBackupPrivilege and SeRestorePrivilege
  // in the process token; false when any of them fails.
  [[nodiscard]] virtual bool EnablePrivileges() = 0;
  // The hivelist values in enumeration order (64-bit view on 64-bit
  // Windows). Names longer than kMaxHiveNameChars and data longer than
  // kMaxHivePathBytes are skipped.
  [[nodiscard]] virtual WinError ListLoaded(std::vector<LoadedHive>* out) = 0;
  virtual std::vector<DriveDevice> FixedDrives() = 0;
  virtual HiveFolders Folders() = 0;
  // The minor Windows version (0 for Vista, 1 for 7).
  virtual int WindowsMinorVersion() = 0;
  // The system's message text for an error number (FormatMessage); empty
  // when it has none.
  virtual Text SystemMessage(WinError error) = 0;
  // Flushes HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER and HKEY_USERS.
  virtual void FlushRoots() = 0;
  // High process and time-critical thread priority while an analysis runs.
  virtual void SetAnalysisPriority(bool high) = 0;
  // Writes a compact copy of the loaded hive root\sub_key (root is
  // kHkeyLocalMachine or kHkeyUsers) to copy_path, replacing any file there.
  [[nodiscard]] virtual WinError SaveCompactCopy(RegKey root, TextView sub_key, TextView copy_path) = 0;

  // Files, by drive path.
  virtual bool Exists(TextView path) = 0;
  // The size of an existing file; when it cannot be opened (a loaded hive),
  // the size a directory listing gives.
  [[nodiscard]] virtual WinError FileSize(TextView path, std::uint64_t* size) = 0;
  // Clears the read-only attribute first. A missing file is 2.
  [[nodiscard]] virtual WinError DeleteFile(TextView path) = 0;
  [[nodiscard]] virtual WinError CreateFolder(TextView path) = 0;
  // GetTempFileName in `folder` with `prefix` and `unique` (not 0).
  [[nodiscard]] virtual WinError TempFileName(TextView folder, TextView prefix, std::uint32_t unique, Text* out) = 0;
  [[nodiscard]] virtual WinError ReadFile(TextView path, std::uint64_t max_size, std::vector<std::uint8_t>* out) = 0;
  // Creates or overwrites the file with exactly these bytes.
  [[nodiscard]] virtual WinError WriteFile(TextView path, std::span<const std::uint8_t> bytes) = 0;

  // The Session Manager's BootExecute value (64-bit view on 64-bit Windows).
  [[nodiscard]] virtual WinError ReadBootExecute(RegValue* out) = 0;
  [[nodiscard]] virtual WinError WriteBootExecute(const RegValue& value) = 0;

  // Starts "shutdown.exe" of the system folder, hidden, with these
  // parameters. False when it could not be started.
  [[nodiscard]] virtual bool StartShutdown(TextView parameters) = 0;
};

// The compaction that the boot-time program performs on a hive file that is
// not loaded: writes a compact copy, checks that it opens and holds the same
// keys, values, types and data, then swaps it in, keeping the old file until
// the swap is done. On any failure the file is left as it was.
class HiveFileCompactor {
 public:
  virtual ~HiveFileCompactor() = default;
  [[nodiscard]] virtual bool CompactInPlace(TextView path, Text* error) = 0;
};

// The Session Manager key and BootExecute over a Registry port (both
// adapters keep the value in their registry).
inline constexpr TextView kSessionManagerKey = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
inline constexpr TextView kBootExecuteValue = u"BootExecute";
inline constexpr TextView kHiveListKey = u"SYSTEM\\CurrentControlSet\\Control\\hivelist";
[[nodiscard]] WinError ReadBootExecuteFrom(Registry& registry, bool windows64, RegValue* out);
[[nodiscard]] WinError WriteBootExecuteTo(Registry& registry, bool windows64, const RegValue& value);
// The hivelist values of a registry, with the limits of Hives::ListLoaded.
[[nodiscard]] WinError ReadHiveListFrom(Registry& registry, bool windows64, std::vector<LoadedHive>* out);

}  // namespace hs
