// Installing the boot-time compaction: the hive list, the parameter file,
// the BootExecute entry and the restart question; and reading the results
// back after the restart.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "defrag/parameter_file.h"
#include "engine/problem.h"
#include "platform/hives.h"
#include "platform/log.h"
#include "platform/prompts.h"

namespace hs {

inline constexpr TextView kAutocheckEntry = u"autocheck autochk *";
// The boot-time program: "KXBoot", "KXBoot64" on 64-bit Windows, an ".exe"
// in the system folder.
inline constexpr TextView kBootProgram32 = u"KXBoot";
inline constexpr TextView kBootProgram64 = u"KXBoot64";
// Hive selection of the installation: user hives, SAM, SECURITY, SYSTEM,
// SOFTWARE (COMPONENTS is not selected).
inline constexpr std::uint32_t kHiveSelectionMask = 0x3E;

struct SHiveInfoParams {
  Text name;
  Text devicePath;
  Text filePath;
  std::uint32_t mode = 1;
  std::uint32_t size = 0;
  std::uint32_t reserved = 0;
};

struct SHiveInfoResults {
  Text name;
  std::uint32_t sizeBefore = 0;
  std::uint32_t sizeAfter = 0;
};

// The entries of a REG_MULTI_SZ value and back (double-NUL terminated).
std::vector<Text> MultiStringEntries(const std::vector<std::uint8_t>& data);
std::vector<std::uint8_t> MultiStringData(const std::vector<Text>& entries);

// The new BootExecute list: the first "autocheck ..." entry (or "autocheck
// autochk *" when there is none), then `ours`, then every other entry in its
// order; earlier entries of the boot program (first word KXBoot or
// KXBoot64) and further autocheck entries are dropped.
std::vector<Text> BootExecuteWithEntry(const std::vector<Text>& old_entries, TextView ours);

// "Error code 0x%02x.\r\n%s" with the system's message, or "Unknown error"
// for error 0.
Text ErrorDetail(WinError error, TextView system_message);

class HiveInstaller {
 public:
  struct Env {
    Hives& hives;
    Prompts& prompts;
    Log& log;
    StringLookup strings;
    int major_version = 6;
    bool windows64 = true;
  };
  // Records the fixed drives' device names.
  explicit HiveInstaller(Env env);

  // The boot program's name for this system and its file in the system folder.
  Text BootProgram() const;
  Text BootProgramFile();
  Text ParameterFilePath();

  // Builds the hive list (false when the hivelist cannot be read).
  [[nodiscard]] bool BuildHiveList();
  // Writes the parameter file; *nt_path = "\??\" + its path.
  [[nodiscard]] bool WriteParameterFile(Text* nt_path);
  [[nodiscard]] bool SetUpBootExecute(TextView nt_path);
  // The whole installation with its messages; *quit (may be null) says
  // whether a restart was started and the program should end.
  [[nodiscard]] bool InstallBootCompaction(bool* quit = nullptr);
  // 1 not run yet, 0 succeeded, 2 failed, -1 no parameter file, -2 or -3
  // unreadable (see parameter_file.h).
  int ReadCompactionResults();

  Text error;
  std::uint32_t mode = 1;
  std::map<Text, Text> drives;  // "C:" -> "\Device\HarddiskVolume1"
  std::vector<SHiveInfoParams> params;
  std::uint32_t header[3] = {0, 0, 0};
  std::vector<SHiveInfoResults> results;
  bool installed = false;

 private:
  Text Fill(TextView format, WinError e);

  Env env_;
};

}  // namespace hs
