// A ShellPaths that remembers what exists, for one scan: the file system is
// taken to stay as it is while the object lives, so make one per scan.
//
// FileAttributes and PathFileExists of a path "X:\a\b\c" are answered from
// the path's folders, looked at once each from the drive root down: a
// folder found missing (or a file) answers every path below it; a folder
// the wrapped adapter can list (ShellPaths::ListFolder) answers its entries
// from one listing, made once ShellPaths::ListingCost of its entries were
// asked one by one. Folders below a listed folder are asked for as the
// listing spells them. Other paths are asked once and the answer kept.
// Every other member is passed through.
//
// Paths are matched without regard to case after "." and ".." are resolved
// (as GetFullPathNameW does, by text). Paths the cache does not take apart
// (relative, UNC or "\\?\" paths, '/' separators, doubled separators, names
// with trailing dots or spaces or units no name may hold, DOS device names)
// are asked as written, and their answers kept by their exact text.
//
// File-system redirection of 64-bit Windows is a per-thread state: answers
// are kept only for the thread that made the object (the scan worker, whose
// redirection stays as it is during the scan); other threads are passed
// through. The names System32, Sysnative and regedit.exe, which redirection
// moves, are never answered from their folder, nor is anything below
// System32 or Sysnative. Safe from several threads at once.
//
// Drive types and whether a drive letter is a network drive are asked once
// per drive (on Windows each asks the mount manager, a round trip to
// another process).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/shell_paths.h"

namespace hs {

class CachingShellPaths final : public ShellPaths {
 public:
  // `inner` must outlive the object.
  explicit CachingShellPaths(ShellPaths& inner);
  ~CachingShellPaths() override;

  FileKind FileAttributes(TextView path) override;
  bool PathFileExists(TextView path) override;
  std::vector<Text> LogicalDriveStrings() override { return inner_.LogicalDriveStrings(); }
  std::uint32_t DriveType(TextView root) override;
  [[nodiscard]] ExpandResult ExpandEnvironmentStrings(TextView text, std::uint32_t capacity, Text* out) override {
    return inner_.ExpandEnvironmentStrings(text, capacity, out);
  }
  [[nodiscard]] bool PathFindOnPath(Text* name) override { return inner_.PathFindOnPath(name); }
  [[nodiscard]] bool SearchPath(TextView name, Text* found) override { return inner_.SearchPath(name, found); }
  [[nodiscard]] bool PathSearchAndQualify(TextView path, Text* out) override {
    return inner_.PathSearchAndQualify(path, out);
  }
  Text PathGetArgs(TextView text) override { return inner_.PathGetArgs(text); }
  bool PathIsNetworkPath(TextView path) override;
  bool PathIsFileSpec(TextView path) override { return inner_.PathIsFileSpec(path); }
  std::uint32_t ListingCost() const override { return inner_.ListingCost(); }
  bool IsFileProtected(TextView path) override { return inner_.IsFileProtected(path); }
  [[nodiscard]] bool ListFolder(TextView folder, std::vector<FolderEntry>* out) override {
    return inner_.ListFolder(folder, out);
  }

  // Paths and folders remembered (for the benchmark).
  std::size_t remembered() const;

  struct Parsed;

 private:
  struct Folder {
    FileKind kind = FileKind::kMissing;
    bool listed = false;
    bool unlistable = false;  // the adapter would not list it
    std::uint32_t asked = 0;  // entries asked one by one before listing
    // Upper-case name -> the entries of that name (several only on a host
    // that tells case apart).
    std::unordered_map<Text, std::vector<FolderEntry>> entries;
    // The folder as it was asked for, spelt as its parent's listing spells
    // it where there was one.
    Text path;
  };
  FileKind Kind(TextView path);
  // With mu_ held: the path just parsed into parsed_.
  FileKind KindLocked();
  // The kind of the path of the first `n` names below `drive`.
  FileKind KindOf(const Text& drive, const std::vector<TextView>& names, std::size_t n);
  // Lists `folder` (asked as `path`) into its entries.
  void List(Folder* folder, TextView path);

  ShellPaths& inner_;
  const std::uint32_t listing_cost_;
  const std::thread::id owner_;
  mutable std::mutex mu_;
  // Upper-case "X:\A\B" of every folder looked at (the drive root "X:").
  std::unordered_map<Text, Folder> folders_;
  // Answers asked as written (upper-case text, or the exact text of paths
  // not taken apart, marked with a leading NUL).
  std::unordered_map<Text, FileKind> answers_;
  // Reused between calls (under mu_), so a lookup allocates next to nothing.
  std::unique_ptr<Parsed> parsed_;
  Text scratch_key_, scratch_upper_;
  // By drive letter A-Z: -1 not asked yet, else PathIsNetworkPath's answer.
  signed char network_drive_[26];
  // DriveType answers by upper-case root text.
  std::unordered_map<Text, std::uint32_t> drive_types_;
};

}  // namespace hs
