#include "engine/area_table.h"

namespace hs {

int AreaIndex(std::uint32_t bit) {
  for (int i = 0; i < kAreaCount; ++i)
    if (kAreas[i].bit == bit) return i;
  return -1;
}

std::array<std::uint32_t, kAreaCount> RunOrder() {
  std::array<std::uint32_t, kAreaCount> order{};
  for (const auto& a : kAreas) order[a.run_order - 1] = a.bit;
  return order;
}

const AreaInfo* FindArea(std::uint32_t bit) {
  int i = AreaIndex(bit);
  return i < 0 ? nullptr : &kAreas[i];
}

}  // namespace hs
