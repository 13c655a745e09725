// The fourteen scan areas: bits, class names, text keys, scan groups and run
// order. Area-bit order (0x0001 first) is the order of every loop over all
// areas; run order is the order in which scan and repair runs visit them.
#pragma once

#include <array>
#include <cstdint>

namespace hs {

inline constexpr int kAreaCount = 14;
inline constexpr std::uint32_t kAllAreasMask = 0x3FFF;

struct AreaInfo {
  std::uint32_t bit;
  const char* class_name;
  const char16_t* name_key;  // localised name; descriptions: IDS_DES_ / IDS_BDES_ + suffix
  int group;                 // 1..4
  int run_order;             // 1..14
};

// In area-bit order.
inline constexpr std::array<AreaInfo, kAreaCount> kAreas = {{
    {0x0001, "CActiveX", u"IDS_ACTIVEX_COM", 2, 6},
    {0x0002, "CAppPaths", u"IDS_APPLICATION", 1, 1},
    {0x0004, "CFileTypes", u"IDS_FILE_TYPE", 2, 7},
    {0x0008, "CFonts", u"IDS_FONTS", 1, 2},
    {0x0010, "CHelpFiles", u"IDS_HELP_FILES", 1, 3},
    {0x0020, "CHistoryLists", u"IDS_HISTORYLIST", 3, 8},
    {0x0040, "CSharedFiles", u"IDS_SHAREDFILES", 1, 4},
    {0x0080, "CShortcuts", u"IDS_SHORTCUTS", 3, 9},
    {0x0100, "CSoftware", u"IDS_SOFTWARE", 4, 14},
    {0x0200, "CSounds", u"IDS_SOUNDS", 3, 10},
    {0x0400, "CStartMenu", u"IDS_STARTMENU", 4, 12},
    {0x0800, "CStartup", u"IDS_STARTUP", 4, 13},
    {0x1000, "CDeepScanLM", u"IDS_DEEP_SCAN", 1, 5},
    {0x2000, "CDeepScanCU", u"IDS_CURRENTUSER", 3, 11},
}};

// Masks and area counts of the four scan groups.
inline constexpr std::array<std::uint32_t, 4> kGroupMasks = {0x105A, 0x0005, 0x22A0, 0x0D00};
inline constexpr std::array<int, 4> kGroupCounts = {5, 2, 4, 3};

// Index (0..13) of a single area bit in area-bit order; -1 for anything else.
int AreaIndex(std::uint32_t bit);
// The area bits in run order.
std::array<std::uint32_t, kAreaCount> RunOrder();
const AreaInfo* FindArea(std::uint32_t bit);

}  // namespace hs
