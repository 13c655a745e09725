// The two built-in safe lists: fragments of registry key paths (safe key
// list) and of file and folder paths (safe path list). A candidate is safe
// when, lower-cased, it contains any entry of the list as a substring; there
// is no boundary check ("\nti" matches "\ntix").
//
// Entries are lower-cased and trimmed (Trim) once, when a list is built;
// entries that trim to nothing are dropped. The safe path list is, in order:
// every system base name joined with each of the extensions .exe .com .dll
// .dat .sys .log .evt .ini; the whole system entries; the file-system paths
// of the shell's Network and NetHood folders (CSIDL 0x12 and 0x13) when the
// shell resolves them to a path below a drive or share root; the folder and
// vendor entries.
//
// Ownership and threads: the application owns one SafeLists and passes it to
// the engine. Each list is built on its first use (the path list asks the
// ShellFolders port then) and never changes afterwards; every member is safe
// to call from any thread at any time, also concurrently.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <unordered_map>
#include <vector>

#include "engine/filter_lists.h"
#include "platform/shell_folders.h"
#include "platform/text.h"

namespace hs {

// CSIDL numbers of the two special folders on the safe path list.
inline constexpr int kCsidlNetwork = 0x12;
inline constexpr int kCsidlNetHood = 0x13;

// The safe key list's entries as written, before normalisation (1657).
std::span<const TextView> SafeKeySourceEntries();

// Answers whether any of a fixed set of entries occurs in a text. Gives the
// same answers as searching each entry in turn, faster: entries are indexed
// by their first two units and only looked at where those occur.
class SubstringSet {
 public:
  SubstringSet() = default;
  // Empty entries are ignored (they would match everything).
  explicit SubstringSet(std::vector<Text> entries);

  bool FoundIn(TextView text) const;
  const std::vector<Text>& entries() const { return entries_; }

 private:
  std::vector<Text> entries_;
  std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> by_pair_;
  std::vector<std::uint32_t> single_units_;  // one-unit entries
};

class SafeLists final : public SafeListCheck {
 public:
  // `folders` must outlive this object.
  explicit SafeLists(ShellFolders& folders) : folders_(folders) {}
  SafeLists(const SafeLists&) = delete;
  SafeLists& operator=(const SafeLists&) = delete;

  bool IsSafeKey(TextView key_path) const override;
  bool IsSafePath(TextView path) const override;

  // The normalised entries, in build order (builds the list if needed).
  const std::vector<Text>& KeyEntries() const;
  const std::vector<Text>& PathEntries() const;

 private:
  const SubstringSet& Keys() const;
  const SubstringSet& Paths() const;

  ShellFolders& folders_;
  mutable std::once_flag keys_once_, paths_once_;
  mutable SubstringSet keys_, paths_;
};

}  // namespace hs
