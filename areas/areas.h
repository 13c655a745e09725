// The fourteen scan areas. Each area's own scan comes with its rules; an
// area whose rules are not built yet scans nothing and reports nothing.
#pragma once

#include <memory>

#include "areas/app_paths.h"
#include "areas/shared_files.h"
#include "areas/software.h"
#include "engine/category.h"

namespace hs {

#define HS_DECLARE_AREA(Name)                      \
  class Name final : public CCategory {            \
   public:                                         \
    explicit Name(ScanManager& manager);           \
    int Scan() override;                           \
    bool PrepareScan() override;                   \
  };

HS_DECLARE_AREA(CActiveX)
HS_DECLARE_AREA(CFileTypes)
HS_DECLARE_AREA(CFonts)
HS_DECLARE_AREA(CHelpFiles)
HS_DECLARE_AREA(CHistoryLists)
HS_DECLARE_AREA(CShortcuts)
HS_DECLARE_AREA(CSounds)
HS_DECLARE_AREA(CStartMenu)
HS_DECLARE_AREA(CStartup)
HS_DECLARE_AREA(CDeepScanLM)
HS_DECLARE_AREA(CDeepScanCU)

#undef HS_DECLARE_AREA

// Creates the area object of one area bit; none for anything else.
std::unique_ptr<CCategory> CreateArea(std::uint32_t bit, ScanManager& manager);

}  // namespace hs
