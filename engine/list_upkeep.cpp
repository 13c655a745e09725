#include "engine/list_upkeep.h"

#include <algorithm>

#include "engine/filter_lists.h"
#include "engine/scan_manager.h"

namespace hs {

namespace {

template <typename Pred>
std::size_t RemoveFromAllAreas(ScanManager& manager, Pred pred) {
  std::size_t removed = 0;
  for (const auto& info : kAreas) {
    ProblemList* list = manager.ProblemsOf(info.bit);
    if (!list) continue;
    auto end = std::remove_if(list->begin(), list->end(), [&](const std::unique_ptr<CProblem>& p) { return pred(*p); });
    removed += static_cast<std::size_t>(list->end() - end);
    list->erase(end, list->end());
  }
  manager.InvalidateDuplicateIndex();
  return removed;
}

}  // namespace

std::size_t RemoveExcludedProblems(ScanManager& manager, const KeyPathList& exclusions) {
  return RemoveFromAllAreas(manager, [&](const CProblem& p) { return exclusions.EqualsAnyEntryNoCase(p.key); });
}

std::size_t ManageTempIgnoreList(ScanManager& manager, KeyPathList& temp_ignore, Log& log) {
  std::size_t moved = RemoveFromAllAreas(manager, [&](const CProblem& p) {
    if (p.selected == 0) return false;
    temp_ignore.Add(p.key);
    return true;
  });
  log.LogLine(u"Manage temp ignore list done");
  return moved;
}

}  // namespace hs
