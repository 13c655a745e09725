#include "areas/areas.h"

#include "engine/area_table.h"

namespace hs {

std::unique_ptr<CCategory> CreateArea(std::uint32_t bit, ScanManager& manager) {
  switch (bit) {
    case 0x0001: return std::make_unique<CActiveX>(manager);
    case 0x0002: return std::make_unique<CAppPaths>(manager);
    case 0x0004: return std::make_unique<CFileTypes>(manager);
    case 0x0008: return std::make_unique<CFonts>(manager);
    case 0x0010: return std::make_unique<CHelpFiles>(manager);
    case 0x0020: return std::make_unique<CHistoryLists>(manager);
    case 0x0040: return std::make_unique<CSharedFiles>(manager);
    case 0x0080: return std::make_unique<CShortcuts>(manager);
    case 0x0100: return std::make_unique<CSoftware>(manager);
    case 0x0200: return std::make_unique<CSounds>(manager);
    case 0x0400: return std::make_unique<CStartMenu>(manager);
    case 0x0800: return std::make_unique<CStartup>(manager);
    case 0x1000: return std::make_unique<CDeepScanLM>(manager);
    case 0x2000: return std::make_unique<CDeepScanCU>(manager);
    default: return nullptr;
  }
}

}  // namespace hs
