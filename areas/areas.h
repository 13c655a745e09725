// The fourteen scan areas, one pair of files each.
#pragma once

#include <cstdint>
#include <memory>

#include "areas/activex.h"
#include "areas/app_paths.h"
#include "areas/deep_scan.h"
#include "areas/file_types.h"
#include "areas/fonts.h"
#include "areas/help_files.h"
#include "areas/history_lists.h"
#include "areas/shared_files.h"
#include "areas/shortcuts.h"
#include "areas/software.h"
#include "areas/sounds.h"
#include "areas/start_menu.h"
#include "areas/startup.h"
#include "engine/category.h"

namespace hs {

// Creates the area object of one area bit; none for anything else.
std::unique_ptr<CCategory> CreateArea(std::uint32_t bit, ScanManager& manager);

}  // namespace hs
