// RegistryStore: an in-memory Windows registry behind the Registry port.
//
// It is the registry of the native build and of every test that needs a
// registry it controls, so it keeps Windows' semantics rather than a mock's:
// - names compared case-insensitively (registry upper-casing), stored with
//   their case; subkeys enumerate in name order, values in creation order;
// - values are a type plus raw bytes (odd sizes, missing terminators and
//   unknown types survive untouched);
// - the five roots; HKEY_CLASSES_ROOT is the merged view of
//   HKEY_CURRENT_USER\Software\Classes over HKEY_LOCAL_MACHINE\Software\Classes;
// - with `windows64`, the 32-bit and 64-bit views of a 32-bit process on
//   64-bit Windows 7: HKLM\Software is redirected to Software\Wow6432Node
//   apart from its shared keys, and of the classes only CLSID, Interface and
//   the media keys are redirected (to Classes\Wow6432Node). A handle opened
//   without a view bit sees the 32-bit view, as a 32-bit process does;
// - keys can be marked to deny write access (MarkDenyWrite), so code that
//   falls back to read-only access can be exercised;
// - the Windows name limits (255 per key name, 16383 per value name).
// All calls are thread-safe (one lock per store).
#pragma once

#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/registry.h"

namespace hs {

class FileSystem;

class RegistryStore final : public Registry {
 public:
  struct Options {
    bool windows64 = false;
    // Where SaveKey writes; without one SaveKey answers 120 (not implemented).
    FileSystem* file_system = nullptr;
  };
  RegistryStore();
  explicit RegistryStore(Options options);
  ~RegistryStore() override;
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;

  bool windows64() const { return options_.windows64; }

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
  [[nodiscard]] WinError SaveKey(RegKey key, TextView file) override;

  // Marks (or unmarks) an existing key so that opening it with any write
  // right, or writing through a handle to it, answers 5 (access denied).
  [[nodiscard]] WinError MarkDenyWrite(RegKey root, TextView subkey, std::uint32_t view_sam, bool deny);

  // Number of open handles (for leak checks in tests).
  std::size_t OpenHandleCount() const;

  struct Node;
  struct Handle;

 private:
  struct Target;
  struct Resolved;

  std::uint32_t DefaultView() const;
  WinError Lookup(RegKey key, Handle** out);
  WinError ParsePath(TextView subkey, std::vector<Text>* comps) const;
  WinError LogicalFor(RegKey parent, TextView subkey, std::uint32_t sam, RegKey* root,
                      std::vector<Text>* comps, bool* view64);
  std::vector<Target> Map(RegKey root, const std::vector<Text>& comps, bool view64) const;
  WinError Resolve(RegKey root, const std::vector<Text>& comps, bool view64, bool create, std::uint32_t sam,
                   Resolved* out, bool* created);
  std::shared_ptr<Node> Walk(const Target& t, bool create, WinError* error, bool* created,
                             std::size_t* depth_found);
  void Children(Handle& h, std::vector<std::shared_ptr<Node>>** out);
  RegKey NewHandle(Handle h);

  Options options_;
  mutable std::mutex mu_;
  std::shared_ptr<Node> hklm_, hku_, hkcu_, hkcc_;
  std::unordered_map<RegKey, std::unique_ptr<Handle>> handles_;
  RegKey next_handle_ = 0x1000;
  std::uint64_t generation_ = 1;
};

}  // namespace hs
