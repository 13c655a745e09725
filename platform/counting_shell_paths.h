// A ShellPaths that counts the calls that would reach the file system
// (attributes, existence, listings, searches, protection checks), times
// them and the text-only calls, and passes everything to the wrapped
// adapter. For benchmarks and tests.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "platform/shell_paths.h"

namespace hs {

class CountingShellPaths final : public ShellPaths {
 public:
  // A `listing_cost` other than 0 stands in for the wrapped adapter's.
  explicit CountingShellPaths(ShellPaths& inner, std::uint32_t listing_cost = 0)
      : inner_(inner), listing_cost_(listing_cost) {}

  std::atomic<std::uint64_t> attributes{0}, exists{0}, listings{0}, searches{0}, protection{0};
  // Nanoseconds spent in the wrapped adapter, by the kinds above and then
  // the calls that only work on text (expansion, drives, path forms).
  enum Kind { kAttributes, kExists, kListings, kSearches, kProtection, kExpand, kNetwork, kDrives, kText, kKinds };
  std::atomic<std::uint64_t> nanos[kKinds] = {};
  std::atomic<std::uint64_t> listed_entries{0};  // entries the listings returned
  std::atomic<std::uint64_t> drive_queries{0};   // DriveType and PathIsNetworkPath (not in total())

 private:
  template <typename F>
  auto Timed(Kind kind, F&& call) {
    const auto t0 = std::chrono::steady_clock::now();
    auto result = call();
    nanos[kind] += static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - t0).count());
    return result;
  }

 public:
  std::uint64_t total() const {
    return attributes.load() + exists.load() + listings.load() + searches.load() + protection.load();
  }

  FileKind FileAttributes(TextView path) override {
    ++attributes;
    return Timed(kAttributes, [&] { return inner_.FileAttributes(path); });
  }
  bool PathFileExists(TextView path) override {
    ++exists;
    return Timed(kExists, [&] { return inner_.PathFileExists(path); });
  }
  std::vector<Text> LogicalDriveStrings() override { return Timed(kDrives, [&] { return inner_.LogicalDriveStrings(); }); }
  std::uint32_t DriveType(TextView root) override {
    ++drive_queries;
    return Timed(kDrives, [&] { return inner_.DriveType(root); }); }
  [[nodiscard]] ExpandResult ExpandEnvironmentStrings(TextView text, std::uint32_t capacity, Text* out) override {
    return Timed(kExpand, [&] { return inner_.ExpandEnvironmentStrings(text, capacity, out); });
  }
  [[nodiscard]] bool PathFindOnPath(Text* name) override {
    ++searches;
    return Timed(kSearches, [&] { return inner_.PathFindOnPath(name); });
  }
  [[nodiscard]] bool SearchPath(TextView name, Text* found) override {
    ++searches;
    return Timed(kSearches, [&] { return inner_.SearchPath(name, found); });
  }
  [[nodiscard]] bool PathSearchAndQualify(TextView path, Text* out) override {
    ++searches;
    return Timed(kSearches, [&] { return inner_.PathSearchAndQualify(path, out); });
  }
  Text PathGetArgs(TextView text) override { return Timed(kText, [&] { return inner_.PathGetArgs(text); }); }
  bool PathIsNetworkPath(TextView path) override {
    ++drive_queries;
    return Timed(kNetwork, [&] { return inner_.PathIsNetworkPath(path); }); }
  bool PathIsFileSpec(TextView path) override { return Timed(kText, [&] { return inner_.PathIsFileSpec(path); }); }
  bool IsFileProtected(TextView path) override {
    ++protection;
    return Timed(kProtection, [&] { return inner_.IsFileProtected(path); });
  }
  [[nodiscard]] bool ListFolder(TextView folder, std::vector<FolderEntry>* out) override {
    ++listings;
    const bool listed = Timed(kListings, [&] { return inner_.ListFolder(folder, out); });
    if (listed) listed_entries += out->size();
    return listed;
  }
  std::uint32_t ListingCost() const override { return listing_cost_ ? listing_cost_ : inner_.ListingCost(); }

 private:
  ShellPaths& inner_;
  const std::uint32_t listing_cost_;
};

}  // namespace hs
