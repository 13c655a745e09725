// Hives of a machine folder (see portable_machine.h): the [hives] section of
// machine.ini is the hivelist, the hive files lie in the drive folders, and
// a compact copy is the hive file rebuilt with hivex (hive_file.h), so the
// measured saving is real. Unlike the machine's FileSystem this adapter
// writes into the drive folders: the parameter file, the analysis copies and
// the compacted hives are files of the machine.
//
// Fixed drives are named "\Device\HarddiskVolumeN" by letter order (the
// first fixed drive is volume 1). The privileges are held when the machine's
// user is an administrator. BootExecute lives in the machine's registry. A
// restart only records its parameters (restarts()).
#pragma once

#include <map>
#include <vector>

#include "platform/hives.h"
#include "platform/portable/host_file_system.h"

namespace hs {

struct MachineHivesSetup {
  std::map<char16_t, std::filesystem::path> drive_folders;  // letter -> host folder
  std::vector<char16_t> fixed_drives;                       // letters, upper case
  std::vector<LoadedHive> hivelist;
  HiveFolders folders;
  bool administrator = true;
  bool windows64 = true;
  int minor_version = 1;
};

class MachineHives final : public Hives, public HiveFileCompactor {
 public:
  // `registry` must outlive this object.
  MachineHives(MachineHivesSetup setup, Registry& registry);

  [[nodiscard]] bool EnablePrivileges() override { return setup_.administrator; }
  [[nodiscard]] WinError ListLoaded(std::vector<LoadedHive>* out) override;
  std::vector<DriveDevice> FixedDrives() override;
  HiveFolders Folders() override { return setup_.folders; }
  int WindowsMinorVersion() override { return setup_.minor_version; }
  Text SystemMessage(WinError) override { return {}; }
  void FlushRoots() override {}
  void SetAnalysisPriority(bool) override {}
  [[nodiscard]] WinError SaveCompactCopy(RegKey root, TextView sub_key, TextView copy_path) override;
  bool Exists(TextView path) override { return fs_.Exists(path); }
  [[nodiscard]] WinError FileSize(TextView path, std::uint64_t* size) override;
  [[nodiscard]] WinError DeleteFile(TextView path) override { return fs_.DeleteFile(path); }
  [[nodiscard]] WinError CreateFolder(TextView path) override { return fs_.CreateDirectories(path); }
  [[nodiscard]] WinError TempFileName(TextView folder, TextView prefix, std::uint32_t unique, Text* out) override;
  [[nodiscard]] WinError ReadFile(TextView path, std::uint64_t max_size, std::vector<std::uint8_t>* out) override;
  [[nodiscard]] WinError WriteFile(TextView path, std::span<const std::uint8_t> bytes) override;
  [[nodiscard]] WinError ReadBootExecute(RegValue* out) override;
  [[nodiscard]] WinError WriteBootExecute(const RegValue& value) override;
  [[nodiscard]] bool StartShutdown(TextView parameters) override;

  [[nodiscard]] bool CompactInPlace(TextView path, Text* error) override;

  // The host path of a drive path of the machine (false when unmapped).
  [[nodiscard]] bool HostPath(TextView path, std::filesystem::path* out) const;
  const std::vector<Text>& restarts() const { return restarts_; }

 private:
  // The drive path of a hivelist path (device names replaced).
  Text DrivePath(TextView path);

  MachineHivesSetup setup_;
  Registry& registry_;
  HostFileSystem fs_;
  std::vector<Text> restarts_;
};

}  // namespace hs
