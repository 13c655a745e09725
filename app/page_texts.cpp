#include "app/page_texts.h"

#include <array>

#include "app/main_dialog.h"

namespace hs {

namespace {

constexpr const char16_t* kHomeKeys[] = {
    u"string101", u"string102", u"string104", u"string105", u"string103",
    u"string106", u"string107", u"string108", u"string110", u"string132",
};
constexpr const char16_t* kScanSettingsKeys[] = {
    u"string16", u"string18", u"string17", u"string19", u"string24", u"string25", u"string26",
    u"string27", u"string28", u"string29", u"string30", u"string31", u"string32",
};
constexpr const char16_t* kProgressKeys[] = {
    u"string40", u"string41", u"string42", u"string24", u"string26", u"string28",
    u"string30", u"string43", u"string44", u"string45", u"string46", u"string47",
};
// The fourteen area names come in scan-area order, after the page's own texts.
constexpr const char16_t* kResultsKeys[] = {
    u"string150", u"string151", u"string152", u"string170", u"string109", u"string159",
    u"string153", u"string154", u"string155", u"string156",
    u"IDS_ACTIVEX_COM", u"IDS_APPLICATION", u"IDS_FILE_TYPE", u"IDS_FONTS", u"IDS_HELP_FILES",
    u"IDS_HISTORYLIST", u"IDS_SHAREDFILES", u"IDS_SHORTCUTS", u"IDS_SOFTWARE", u"IDS_SOUNDS",
    u"IDS_STARTMENU", u"IDS_STARTUP", u"IDS_DEEP_SCAN", u"IDS_CURRENTUSER",
};
constexpr const char16_t* kAfterRepairKeys[] = {
    u"STR_IDS_CONGS", u"STR_IDS_RECOMMN", u"STR_IDS_LIST", u"STR_IDS_KEEP_REG_CLN",
    u"STR_IDS_ACDLG_FAST_SPEED", u"STR_IDS_ACDLG_UNCLUT_REG", u"STR_IDS_ACDLG_FEWER_ERR", u"STR_IDS_ACDLG_SAFE",
    u"IDS_SEL_ERR_REMAINING", u"IDS_SCAN_AGAIN",
};
constexpr const char16_t* kOptimisationKeys[] = {u"string200", u"string201", u"string202", u"string203"};
// The browser's detailed problem list (the Windows program's is a dialog).
constexpr const char16_t* kDetailsKeys[] = {
    u"IDS_STR_REG_ERR_DETAILS", u"IDS_SELECT_ALL", u"IDS_BTN_CLOSE", u"IDS_BTN_EXPORT_LOG",
    u"IDS_SHOW_DETAILS", u"ID_PROBLEM_ADD_TO_IGNORE", u"IDS_SELECTED_OF",
};
// Its three texts arrive through settexts.
constexpr std::span<const char16_t* const> kLoadingKeys{};

constexpr std::array<PageTexts, 8> kPages = {{
    {dlg::kPageHome, "home.html", u"LoadStrings", kHomeKeys},
    {dlg::kPageScanSettings, "scan_settings.html", u"LoadStrings", kScanSettingsKeys},
    {dlg::kPageProgress, "scan_progress.html", u"LoadStrings", kProgressKeys},
    {dlg::kPageResults, "results.html", u"LoadStringsDiv", kResultsKeys},
    {dlg::kPageLoading, "list_loading.html", u"LoadStrings", kLoadingKeys},
    {dlg::kPageAfterRepair, "after_repair.html", u"LoadStrings", kAfterRepairKeys},
    {dlg::kPageOptimisation, "optimisation.html", u"LoadStrings", kOptimisationKeys},
    {kPageProblemDetails, "details.html", u"LoadStrings", kDetailsKeys},
}};

}  // namespace

std::span<const PageTexts> AllPageTexts() { return kPages; }

const PageTexts* FindPageTexts(int page) {
  for (const PageTexts& p : kPages)
    if (p.page == page) return &p;
  return nullptr;
}

const PageTexts* PageOfScreen(int screen) {
  switch (screen) {
    case dlg::kScreenHome: return FindPageTexts(dlg::kPageHome);
    case dlg::kScreenScanSettings: return FindPageTexts(dlg::kPageScanSettings);
    case dlg::kScreenProgress: return FindPageTexts(dlg::kPageProgress);
    case dlg::kScreenResults: return FindPageTexts(dlg::kPageResults);
    case dlg::kPageLoading: return FindPageTexts(dlg::kPageLoading);
    case dlg::kScreenAfterRepair: return FindPageTexts(dlg::kPageAfterRepair);
    case dlg::kScreenOptimisation: return FindPageTexts(dlg::kPageOptimisation);
    default: return nullptr;
  }
}

}  // namespace hs
