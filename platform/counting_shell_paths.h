// A ShellPaths that counts the calls that would reach the file system
// (attributes, existence, listings, searches, protection checks) and passes
// everything to the wrapped adapter. For benchmarks and tests.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/shell_paths.h"

namespace hs {

class CountingShellPaths final : public ShellPaths {
 public:
  explicit CountingShellPaths(ShellPaths& inner) : inner_(inner) {}

  std::atomic<std::uint64_t> attributes{0}, exists{0}, listings{0}, searches{0}, protection{0};
  std::uint64_t total() const {
    return attributes.load() + exists.load() + listings.load() + searches.load() + protection.load();
  }

  FileKind FileAttributes(TextView path) override {
    ++attributes;
    return inner_.FileAttributes(path);
  }
  bool PathFileExists(TextView path) override {
    ++exists;
    return inner_.PathFileExists(path);
  }
  std::vector<Text> LogicalDriveStrings() override { return inner_.LogicalDriveStrings(); }
  std::uint32_t DriveType(TextView root) override { return inner_.DriveType(root); }
  [[nodiscard]] ExpandResult ExpandEnvironmentStrings(TextView text, std::uint32_t capacity, Text* out) override {
    return inner_.ExpandEnvironmentStrings(text, capacity, out);
  }
  [[nodiscard]] bool PathFindOnPath(Text* name) override {
    ++searches;
    return inner_.PathFindOnPath(name);
  }
  [[nodiscard]] bool SearchPath(TextView name, Text* found) override {
    ++searches;
    return inner_.SearchPath(name, found);
  }
  [[nodiscard]] bool PathSearchAndQualify(TextView path, Text* out) override {
    ++searches;
    return inner_.PathSearchAndQualify(path, out);
  }
  Text PathGetArgs(TextView text) override { return inner_.PathGetArgs(text); }
  bool PathIsNetworkPath(TextView path) override { return inner_.PathIsNetworkPath(path); }
  bool PathIsFileSpec(TextView path) override { return inner_.PathIsFileSpec(path); }
  bool IsFileProtected(TextView path) override {
    ++protection;
    return inner_.IsFileProtected(path);
  }
  [[nodiscard]] bool ListFolder(TextView folder, std::vector<FolderEntry>* out) override {
    ++listings;
    return inner_.ListFolder(folder, out);
  }

 private:
  ShellPaths& inner_;
};

}  // namespace hs
