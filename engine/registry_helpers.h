// Key paths, registry views and the small registry helpers every scan area,
// the repair and the settings use. A key path is ROOT\sub\key with one of the
// five long root names (case-sensitive); the subkey part is passed on as is.
//
// On 64-bit Windows every access names its view: a problem's 32-bit flag
// selects the 32-bit view (KEY_WOW64_32KEY), otherwise the 64-bit view.
// The helpers keep no state; they may be called from any thread.
#pragma once

#include <vector>

#include "platform/registry.h"
#include "platform/wow64.h"

namespace hs {

// The registry as the engine sees it: the port plus whether the process runs
// on 64-bit Windows (fixed at start).
struct RegEnv {
  Registry& registry;
  bool windows64 = false;
};

// Exact, case-sensitive match of the five long root names; 0 for any other text.
RegKey RootFromName(TextView name);
// Long name of a predefined root; empty for others.
Text RootName(RegKey root);

// Splits ROOT\sub\key at the first backslash. False (nothing named) when there
// is no backslash or the root is unknown.
[[nodiscard]] bool SplitKeyPath(TextView key_path, RegKey* root, Text* subkey);

enum class KeyAccess { kReadWrite, kRead };
// Read-and-change: 0x2001F / 0x2011F (64-bit view) / 0x2021F (32-bit view);
// read only: 0x20019 / 0x20119 / 0x20219. No view bit on 32-bit Windows.
std::uint32_t AccessMask(bool windows64, KeyAccess wanted, bool is64);

// Holds one open key; closes it when released, reused or destroyed.
class KeyHolder {
 public:
  explicit KeyHolder(Registry& registry) : registry_(&registry) {}
  ~KeyHolder() { Reset(); }
  KeyHolder(const KeyHolder&) = delete;
  KeyHolder& operator=(const KeyHolder&) = delete;

  // RegOpenKeyExW; when that fails, `create` is set and the mask is not the
  // plain read mask 0x20019, the key is created instead. Returns the last
  // failure code (0 on success).
  [[nodiscard]] WinError Open(RegKey root, TextView subkey, std::uint32_t mask, bool create = false);
  void Reset();
  RegKey get() const { return key_; }
  bool is_open() const { return key_ != 0; }

 private:
  Registry* registry_;
  RegKey key_ = 0;
};

enum class RegView { kDefault, k32, k64 };

// Reads a REG_SZ / REG_EXPAND_SZ value as trimmed text (cut at its first NUL).
// Answers whether the key could be opened (read-and-change first, read-only
// after an access-denied). The text is empty for a missing value, another
// type, an odd byte count or data without a terminating NUL. The default-view
// variant does nothing on 64-bit Windows and answers true (callers use the
// view variants there).
bool ReadStringValue(const RegEnv& env, RegKey root, TextView subkey, TextView value_name, RegView view,
                     Text* text);

// Subkey names of an open key in index order; indexes that fail are skipped,
// and on 64-bit Windows so are names beginning with "wow6432node". True when
// at least one name was listed.
bool EnumSubkeyNames(const RegEnv& env, RegKey key, std::vector<Text>* names);
// Value names of an open key (names longer than 1024 characters are skipped).
// Returns the number of names listed.
std::size_t EnumValueNames(const RegEnv& env, RegKey key, std::vector<Text>* names);
// True when the value can be queried.
bool ValueExists(const RegEnv& env, RegKey key, TextView value_name);

// Switches file-system redirection off for the calling thread on 64-bit
// Windows; the guard switches it back when destroyed unless Keep() was called.
class FsRedirectionOff {
 public:
  FsRedirectionOff(Wow64& wow64, bool windows64);
  ~FsRedirectionOff();
  FsRedirectionOff(const FsRedirectionOff&) = delete;
  FsRedirectionOff& operator=(const FsRedirectionOff&) = delete;
  bool active() const { return active_; }
  void Keep() { keep_ = true; }

 private:
  Wow64& wow64_;
  void* cookie_ = nullptr;
  bool active_ = false;
  bool keep_ = false;
};

}  // namespace hs
