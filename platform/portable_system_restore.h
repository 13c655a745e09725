// A SystemRestore for machines without System Restore (the portable machine
// folder): a restore point is a whole-registry export kept in a folder of
// its own, "<seconds since 1970>.reg", with its description beside it in
// "<seconds>.txt" (UTF-8). Restoring one is a full restore of that file.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/system_restore.h"
#include "platform/whole_registry_editor.h"

namespace hs {

class PortableSystemRestore final : public SystemRestore {
 public:
  // `folder` (no trailing backslash) is created when missing. All must
  // outlive this object.
  PortableSystemRestore(WholeRegistryEditor& editor, FileSystem& fs, Clock& clock, Text folder)
      : editor_(editor), fs_(fs), clock_(clock), folder_(std::move(folder)) {}
  [[nodiscard]] bool CreatePoint(TextView description) override;

  struct Point {
    Text path;         // the export
    std::int64_t seconds = 0;
    Text description;  // empty when its file is missing
  };
  // The folder's points, oldest first.
  std::vector<Point> List();

 private:
  WholeRegistryEditor& editor_;
  FileSystem& fs_;
  Clock& clock_;
  Text folder_;
};

}  // namespace hs
