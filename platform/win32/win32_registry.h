// Registry port over the real Win32 registry API (advapi32 / shlwapi).
// Thread-safe: every call maps to one or a few API calls with no shared state.
#pragma once

#include "platform/registry.h"

namespace hs {

class Win32Registry final : public Registry {
 public:
  [[nodiscard]] WinError Open(RegKey parent, TextView subkey, std::uint32_t sam, RegKey* out) override;
  [[nodiscard]] WinError Create(RegKey parent, TextView subkey, std::uint32_t sam, RegKey* out,
                                bool* created) override;
  void Close(RegKey key) override;
  [[nodiscard]] WinError QueryInfo(RegKey key, RegKeyInfo* info) override;
  [[nodiscard]] WinError EnumKey(RegKey key, std::uint32_t index, std::uint32_t name_capacity, Text* name) override;
  [[nodiscard]] WinError EnumValue(RegKey key, std::uint32_t index, std::uint32_t name_capacity,
                                   std::uint32_t data_capacity, Text* name, RegValue* value) override;
  [[nodiscard]] WinError QueryValue(RegKey key, TextView name, RegValue* value) override;
  [[nodiscard]] WinError SetValue(RegKey key, TextView name, std::uint32_t type,
                                  const std::vector<std::uint8_t>& data) override;
  [[nodiscard]] WinError DeleteValue(RegKey key, TextView name) override;
  [[nodiscard]] WinError DeleteKey(RegKey parent, TextView subkey, std::uint32_t view_sam) override;
  [[nodiscard]] WinError DeleteTree(RegKey parent, TextView subkey, std::uint32_t view_sam) override;
  [[nodiscard]] WinError Flush(RegKey key) override;
  // Enables SeBackupPrivilege for the call, as RegSaveKeyW requires.
  [[nodiscard]] WinError SaveKey(RegKey key, TextView file) override;
};

}  // namespace hs
