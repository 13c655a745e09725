// Registry port: the Windows registry operations the core needs, with
// Windows semantics and Windows error codes as results.
//
// Two adapters implement it: Win32Registry (platform/win32) calls the real
// API; RegistryStore (platform/store) is an in-memory registry with the same
// key semantics, used natively and by tests on both platforms.
//
// Contract (both adapters):
// - Every call returns a WinError; 0 is success. Expected failures (2 not
//   found, 5 access denied, 234 more data, 259 no more items, ...) are
//   results, never exceptions.
// - Handles come from Open/Create and are released by Close. The predefined
//   roots need no Open and ignore Close.
// - `sam` is the Windows access mask, including the view bits kWow64_64Key
//   and kWow64_32Key; without a view bit a 32-bit process sees the 32-bit
//   view on 64-bit Windows.
// - Name and data capacities are counted as the Win32 API counts them:
//   characters including the terminating NUL for names, bytes for data.
// - Implementations are safe to call from several threads at once.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/text.h"
#include "platform/win_error.h"

namespace hs {

using RegKey = std::uintptr_t;

inline constexpr RegKey kHkeyClassesRoot = 0x80000000u;
inline constexpr RegKey kHkeyCurrentUser = 0x80000001u;
inline constexpr RegKey kHkeyLocalMachine = 0x80000002u;
inline constexpr RegKey kHkeyUsers = 0x80000003u;
inline constexpr RegKey kHkeyCurrentConfig = 0x80000005u;

inline constexpr bool IsPredefinedKey(RegKey k) { return k >= 0x80000000u && k <= 0x80000006u; }

// Access rights (winnt.h values).
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeySetValue = 0x0002;
inline constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kKeyNotify = 0x0010;
inline constexpr std::uint32_t kKeyCreateLink = 0x0020;
inline constexpr std::uint32_t kKeyWow64_64Key = 0x0100;
inline constexpr std::uint32_t kKeyWow64_32Key = 0x0200;
inline constexpr std::uint32_t kKeyWow64Res = 0x0300;
inline constexpr std::uint32_t kDelete = 0x00010000;
inline constexpr std::uint32_t kReadControl = 0x00020000;
inline constexpr std::uint32_t kWriteDac = 0x00040000;
inline constexpr std::uint32_t kWriteOwner = 0x00080000;
inline constexpr std::uint32_t kKeyRead = 0x00020019;
inline constexpr std::uint32_t kKeyWrite = 0x00020006;
inline constexpr std::uint32_t kKeyAllAccess = 0x000F003F;
// Rights that change a key or its values.
inline constexpr std::uint32_t kKeyWriteRights =
    kKeySetValue | kKeyCreateSubKey | kKeyCreateLink | kDelete | kWriteDac | kWriteOwner;

// Value types.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegDwordBigEndian = 5;
inline constexpr std::uint32_t kRegLink = 6;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

// Windows limits, in UTF-16 units.
inline constexpr std::size_t kMaxKeyNameChars = 255;
inline constexpr std::size_t kMaxValueNameChars = 16383;

struct RegKeyInfo {
  std::uint32_t subkeys = 0;
  std::uint32_t max_subkey_name = 0;   // characters, without terminator
  std::uint32_t values = 0;
  std::uint32_t max_value_name = 0;    // characters, without terminator
  std::uint32_t max_value_data = 0;    // bytes
  std::uint64_t last_write = 0;        // FILETIME ticks (100 ns since 1601)
};

struct RegValue {
  std::uint32_t type = kRegNone;
  std::vector<std::uint8_t> data;
};

// Value data as the registry stores it: a REG_SZ text with its terminating
// NUL, and a REG_DWORD little-endian.
inline std::vector<std::uint8_t> SzData(TextView text) {
  std::vector<std::uint8_t> b = ToUtf16leBytes(text);
  b.push_back(0);
  b.push_back(0);
  return b;
}
inline std::vector<std::uint8_t> DwordData(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 24)};
}

class Registry {
 public:
  virtual ~Registry() = default;

  // RegOpenKeyExW. An empty subkey opens a new handle to `parent` itself.
  [[nodiscard]] virtual WinError Open(RegKey parent, TextView subkey, std::uint32_t sam, RegKey* out) = 0;
  // RegCreateKeyExW (non-volatile). `created` may be null.
  [[nodiscard]] virtual WinError Create(RegKey parent, TextView subkey, std::uint32_t sam, RegKey* out,
                                        bool* created) = 0;
  virtual void Close(RegKey key) = 0;

  // RegQueryInfoKeyW.
  [[nodiscard]] virtual WinError QueryInfo(RegKey key, RegKeyInfo* info) = 0;
  // RegEnumKeyExW: 234 when the name needs `name_capacity` or more characters
  // (room for the terminator is part of the capacity), 259 past the end.
  [[nodiscard]] virtual WinError EnumKey(RegKey key, std::uint32_t index, std::uint32_t name_capacity,
                                         Text* name) = 0;
  // RegEnumValueW: 234 when the name or the data does not fit. `value` may be
  // null (name and existence only).
  [[nodiscard]] virtual WinError EnumValue(RegKey key, std::uint32_t index, std::uint32_t name_capacity,
                                           std::uint32_t data_capacity, Text* name, RegValue* value) = 0;
  // RegQueryValueExW with a buffer large enough for the whole value. `value`
  // may be null (existence test).
  [[nodiscard]] virtual WinError QueryValue(RegKey key, TextView name, RegValue* value) = 0;
  // RegSetValueExW.
  [[nodiscard]] virtual WinError SetValue(RegKey key, TextView name, std::uint32_t type,
                                          const std::vector<std::uint8_t>& data) = 0;
  // RegDeleteValueW.
  [[nodiscard]] virtual WinError DeleteValue(RegKey key, TextView name) = 0;
  // RegDeleteKeyExW: deletes a key without subkeys (5 when it has some).
  // `view_sam` carries the view bit, as the API's samDesired.
  [[nodiscard]] virtual WinError DeleteKey(RegKey parent, TextView subkey, std::uint32_t view_sam) = 0;
  // SHDeleteKeyW: deletes a key and all its descendants. With a view bit in
  // `view_sam` every key of the tree is opened and deleted in that view.
  [[nodiscard]] virtual WinError DeleteTree(RegKey parent, TextView subkey, std::uint32_t view_sam) = 0;
  // RegFlushKey.
  [[nodiscard]] virtual WinError Flush(RegKey key) = 0;
  // RegSaveKeyW: writes the key's subtree to a new file (a path of the
  // platform's file system). The file format is the adapter's own.
  [[nodiscard]] virtual WinError SaveKey(RegKey key, TextView file) = 0;
};

}  // namespace hs
