#include "engine/registry_walk.h"

#include <vector>

namespace hs {

WalkCounts WalkRegistry(Registry& reg, RegKey root, TextView path, std::uint32_t view_sam, std::size_t max_depth) {
  WalkCounts c;
  // Each key is opened by its full path from the root, so no parent handle
  // stays open and the pending list is the only state (no recursion).
  struct Frame {
    Text path;
    std::size_t depth;
  };
  std::vector<Frame> frames{{Text(path), 0}};
  std::vector<Text> names;
  Text name;
  RegValue value;
  while (!frames.empty()) {
    Frame f = std::move(frames.back());
    frames.pop_back();
    RegKey k = 0;
    if (reg.Open(root, f.path, kKeyRead | view_sam, &k) != err::kSuccess) {
      ++c.open_failures;
      continue;
    }
    ++c.keys;
    RegKeyInfo info;
    if (reg.QueryInfo(k, &info) == err::kSuccess) {
      for (std::uint32_t i = 0;; ++i) {
        WinError e = reg.EnumValue(k, i, info.max_value_name + 1, info.max_value_data, &name, &value);
        if (e == err::kMoreData) continue;
        if (e != err::kSuccess) break;
        ++c.values;
        c.value_bytes += value.data.size();
      }
      names.clear();
      if (f.depth < max_depth) {
        for (std::uint32_t i = 0;; ++i) {
          WinError e = reg.EnumKey(k, i, 256, &name);
          if (e == err::kMoreData) continue;
          if (e != err::kSuccess) break;
          names.push_back(name);
        }
      }
      for (auto it = names.rbegin(); it != names.rend(); ++it)
        frames.push_back({f.path.empty() ? *it : f.path + u"\\" + *it, f.depth + 1});
    }
    reg.Close(k);
  }
  return c;
}

}  // namespace hs
