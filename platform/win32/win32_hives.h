// Hives over the Windows API (see platform/hives.h). File operations run
// with WOW64 file-system redirection switched off, so that a 32-bit process
// on 64-bit Windows reaches the real system folder, where the boot-time
// program and its parameter file live.
#pragma once

#include "platform/hives.h"

namespace hs {

class Win32Hives final : public Hives {
 public:
  // `registry` (the live registry) must outlive this object.
  Win32Hives(Registry& registry, bool windows64) : registry_(registry), windows64_(windows64) {}

  [[nodiscard]] bool EnablePrivileges() override;
  [[nodiscard]] WinError ListLoaded(std::vector<LoadedHive>* out) override;
  std::vector<DriveDevice> FixedDrives() override;
  HiveFolders Folders() override;
  int WindowsMinorVersion() override;
  Text SystemMessage(WinError error) override;
  void FlushRoots() override;
  void SetAnalysisPriority(bool high) override;
  [[nodiscard]] WinError SaveCompactCopy(RegKey root, TextView sub_key, TextView copy_path) override;
  bool Exists(TextView path) override;
  [[nodiscard]] WinError FileSize(TextView path, std::uint64_t* size) override;
  [[nodiscard]] WinError DeleteFile(TextView path) override;
  [[nodiscard]] WinError CreateFolder(TextView path) override;
  [[nodiscard]] WinError TempFileName(TextView folder, TextView prefix, std::uint32_t unique, Text* out) override;
  [[nodiscard]] WinError ReadFile(TextView path, std::uint64_t max_size, std::vector<std::uint8_t>* out) override;
  [[nodiscard]] WinError WriteFile(TextView path, std::span<const std::uint8_t> bytes) override;
  [[nodiscard]] WinError ReadBootExecute(RegValue* out) override;
  [[nodiscard]] WinError WriteBootExecute(const RegValue& value) override;
  [[nodiscard]] bool StartShutdown(TextView parameters) override;

 private:
  Registry& registry_;
  bool windows64_;
};

}  // namespace hs
