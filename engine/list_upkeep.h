// Changes to the problem lists that the user lists cause.
#pragma once

#include <cstddef>

#include "platform/log.h"

namespace hs {

class ScanManager;
class KeyPathList;

// After an exclusion was added from the results view: removes every problem
// of all areas whose key equals an exclusion entry (whole text, without
// regard to case). Returns how many were removed.
std::size_t RemoveExcludedProblems(ScanManager& manager, const KeyPathList& exclusions);

// At the end of a repair run that was not cancelled: every problem still
// ticked has its key appended to the temporary ignore list and leaves the
// problem lists; then logs "Manage temp ignore list done". Returns how many
// were moved.
std::size_t ManageTempIgnoreList(ScanManager& manager, KeyPathList& temp_ignore, Log& log);

}  // namespace hs
