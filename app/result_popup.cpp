#include "app/result_popup.h"

namespace hs {

PopupContent ScanResultPopup(int problems, bool no_area, const StringLookup& strings) {
  if (no_area)
    return {PopupKind::kNoScanArea,
            {strings(u"IDS_CUD_NOT_COMP_SCHED_SCAN"), strings(u"IDS_AS_NOSCANAREA_SEL")},
            strings(u"IDS_CLICKTO_OPEN_HVX")};
  if (problems <= 0)
    return {PopupKind::kNoneFound,
            {strings(u"IDS_HVX_DIDNOT_FOUND_ERRORS"), strings(u"IDS_ON_UR_SYSTEM")},
            strings(u"IDS_CLICKTO_OPEN_HVX")};
  // Localised texts are trimmed: the blanks around the number are added here.
  const Text found = strings(u"IDS_HVX_FOUND_NUM") + u" " + ToText(problems) + u" " +
                     strings(problems == 1 ? u"IDS_ERROR" : u"IDS_ERRORS");
  return {PopupKind::kProblemsFound, {found, strings(u"IDS_DURING_SCH_SCAN")}, strings(u"IDS_CLICK_TOVIEW_RESULTS")};
}

PopupContent UpdatePopup(const StringLookup& strings) {
  return {PopupKind::kUpdateAvailable, {strings(u"IDS_NEW_UPDATE_AVAILABLE")}, strings(u"IDS_CLK_TO_UPDATE_NOW")};
}

std::optional<PopupContent> ReminderPopup(int problems, int days_since_scan, const StringLookup& strings) {
  if (problems > 0)
    return PopupContent{PopupKind::kReminderProblems, {FormatNumbers(strings(u"IDS_ERR_FOUND"), {problems})}, {}};
  if (days_since_scan >= kReminderDays)
    return PopupContent{
        PopupKind::kReminderNotScanned, {FormatNumbers(strings(u"IDS_NOT_SCANNED"), {days_since_scan})}, {}};
  return std::nullopt;
}

PopupAction ClickAction(PopupKind kind) {
  switch (kind) {
    case PopupKind::kProblemsFound:
    case PopupKind::kReminderProblems: return PopupAction::kShowResults;
    case PopupKind::kUpdateAvailable: return PopupAction::kStartUpdate;
    case PopupKind::kReminderNotScanned: return PopupAction::kStartScan;
    case PopupKind::kNoneFound:
    case PopupKind::kNoScanArea: break;
  }
  return PopupAction::kShowHome;
}

std::optional<PopupAction> ResultPopup::OnClick() {
  if (closed_ || clicked_) return std::nullopt;
  clicked_ = true;
  return ClickAction(content_.kind);
}

bool ResultPopup::Close() {
  if (closed_) return false;
  closed_ = true;
  if (save_results_) save_results_();
  log_.LogLine(u"PostQuitMessage :CDLGPopupControl::Close()");
  return true;
}

}  // namespace hs
