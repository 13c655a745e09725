#include "engine/registry_walk.h"

#include <vector>

namespace hs {

WalkCounts WalkRegistry(Registry& reg, RegKey root, TextView path, std::uint32_t view_sam, std::size_t max_depth) {
  WalkCounts c;
  // Depth-first with an explicit stack (no recursion): one open handle per
  // level, children opened relative to their parent.
  struct Level {
    RegKey key;
    std::vector<Text> children;
    std::size_t next = 0;
  };
  std::vector<Level> stack;
  Text name;
  RegValue value;
  auto visit = [&](RegKey k) {
    ++c.keys;
    Level level{k, {}, 0};
    RegKeyInfo info;
    if (reg.QueryInfo(k, &info) == err::kSuccess) {
      for (std::uint32_t i = 0;; ++i) {
        WinError e = reg.EnumValue(k, i, info.max_value_name + 1, info.max_value_data, &name, &value);
        if (e == err::kMoreData) continue;
        if (e != err::kSuccess) break;
        ++c.values;
        c.value_bytes += value.data.size();
      }
      if (stack.size() < max_depth + 1) {
        level.children.reserve(info.subkeys);
        for (std::uint32_t i = 0;; ++i) {
          WinError e = reg.EnumKey(k, i, 256, &name);
          if (e == err::kMoreData) continue;
          if (e != err::kSuccess) break;
          level.children.push_back(name);
        }
      }
    }
    stack.push_back(std::move(level));
  };

  RegKey top = 0;
  if (reg.Open(root, path, kKeyRead | view_sam, &top) != err::kSuccess) {
    ++c.open_failures;
    return c;
  }
  visit(top);
  while (!stack.empty()) {
    Level& level = stack.back();
    if (level.next < level.children.size()) {
      const Text& child = level.children[level.next++];
      RegKey k = 0;
      if (reg.Open(level.key, child, kKeyRead | view_sam, &k) == err::kSuccess) {
        visit(k);
      } else {
        ++c.open_failures;
      }
      continue;
    }
    reg.Close(level.key);
    stack.pop_back();
  }
  return c;
}

}  // namespace hs
