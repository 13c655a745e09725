// Whole-subtree walk through the registry port, iterative (a hostile,
// thousands-deep registry cannot exhaust the stack).
#pragma once

#include <cstdint>
#include <functional>

#include "platform/registry.h"

namespace hs {

struct WalkCounts {
  std::uint64_t keys = 0;
  std::uint64_t values = 0;
  std::uint64_t value_bytes = 0;
  std::uint64_t open_failures = 0;
};

// Visits root\path and every key below it (in the view of `view_sam`),
// reading every value. Keys that fail to open are counted and skipped.
// `max_depth` bounds the depth below the start key.
WalkCounts WalkRegistry(Registry& reg, RegKey root, TextView path, std::uint32_t view_sam,
                        std::size_t max_depth = 512);

}  // namespace hs
