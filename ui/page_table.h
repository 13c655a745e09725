// The main window's HTML screens and navigation buttons as data, and the
// addresses of pages kept as HTML resources of the program. Portable, so the
// mapping is tested natively; the Win32 page host and window use it.
#pragma once

#include <array>
#include <optional>

#include "app/main_dialog.h"
#include "platform/text.h"

namespace hs::ui {

// One HTML screen: the child screen number the window switches to, the page
// number the model names it by in OnPageClick, and its resource (a number
// for the numbered pages, else the upper-cased file name).
struct HtmlScreen {
  int screen;
  int page;
  TextView resource;
};

inline constexpr int kPageListLoading = dlg::kPageLoading;
// The list-loading page lies over the results; it has no screen timer.
inline constexpr int kScreenListLoading = 0;

inline constexpr std::array<HtmlScreen, 7> kHtmlScreens = {{
    {dlg::kScreenHome, dlg::kPageHome, u"444"},
    {dlg::kScreenScanSettings, dlg::kPageScanSettings, u"446"},
    {dlg::kScreenProgress, dlg::kPageProgress, u"447"},
    {dlg::kScreenResults, dlg::kPageResults, u"448"},
    {kScreenListLoading, kPageListLoading, u"455"},
    {dlg::kScreenAfterRepair, dlg::kPageAfterRepair, u"AFTER_REPAIR.HTML"},
    {dlg::kScreenOptimisation, dlg::kPageOptimisation, u"OPTIMISATION.HTML"},
}};

inline std::optional<HtmlScreen> HtmlScreenOf(int screen) {
  if (screen == kScreenListLoading) return std::nullopt;
  for (const HtmlScreen& s : kHtmlScreens)
    if (s.screen == screen) return s;
  return std::nullopt;
}

// One navigation button: its command and the key of its text. Help (241)
// opens the help menu.
struct NavButton {
  int command;
  TextView text_key;
};

inline constexpr int kCmdHelpMenu = 241;
inline constexpr std::array<NavButton, 6> kNavButtons = {{
    {dlg::kCmdHome, u"IDS_BTN_HOME"},
    {dlg::kCmdScanSettings, u"IDS_BTN_SCAN_REG"},
    {dlg::kCmdRegistryOptimisation, u"IDS_BTN_OPTIMIZE_REG"},
    {dlg::kCmdBackupScreen, u"IDS_BTN_BACKUP_REG"},
    {dlg::kCmdSettingsScreen, u"IDS_BTN_SETTINGS"},
    {kCmdHelpMenu, u"IDS_BTN_HELP"},
}};

// The navigation button that stands for a screen (shown as the current
// one); -1 for none.
inline int NavIndexOfScreen(int screen) {
  switch (screen) {
    case dlg::kScreenHome: return 0;
    case dlg::kScreenScanSettings:
    case dlg::kScreenProgress:
    case dlg::kScreenResults:
    case dlg::kScreenAfterRepair: return 1;
    case dlg::kScreenOptimisation: return 2;
    default: return -1;
  }
}

// The resource name of a page file: its file name, upper-cased (the system
// looks string resource names up upper-cased).
inline Text PageResourceName(TextView file_name) {
  Text out(file_name);
  for (char16_t& c : out)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return out;
}

// res://MODULE/RESOURCE: the HTML resource of a module. '%', '#' and '?'
// in the module path are escaped, so they cannot end the path early; the
// page's relative links then resolve to sibling resources.
inline Text ResourceUrl(TextView module_path, TextView resource) {
  Text out = u"res://";
  for (char16_t c : module_path) {
    if (c == u'%') out += u"%25";
    else if (c == u'#') out += u"%23";
    else if (c == u'?') out += u"%3F";
    else out += c;
  }
  out += u'/';
  out += resource;
  return out;
}

// The text a failed script call leaves as the page's last error.
inline Text ScriptCallError(TextView system_text) { return u"JSCall Error:\n" + Text(system_text); }

}  // namespace hs::ui
