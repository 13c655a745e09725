// The boot-time step for systems whose hive files can be reached while no
// hive is loaded (machine folders): reads the parameter file in its written
// form, compacts every listed hive file, and writes the file back in its
// read-back form with status 8, or kCompactionFailed when any hive failed
// (that hive is left as it was).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/hives.h"

namespace hs {

struct BootCompactionOutcome {
  bool ran = false;  // a pending parameter file was found and processed
  std::uint32_t status = 0;
  std::vector<Text> lines;  // one per hive, and the faults
};

BootCompactionOutcome RunBootCompaction(Hives& hives, HiveFileCompactor& compactor);

}  // namespace hs
