// CDLGPopupControl without Win32: the small pop-up of the unattended runs.
// It tells the result of a scheduled scan, that a newer version exists, or
// (the default task's reminder) that problems wait or no scan was made for
// a week. A click on its link area says what the main window does next;
// closing it saves the results and ends only the pop-up.
//
// A ResultPopup lives on the pop-up's own thread; it touches nothing else
// but the save callback and the log, which must allow that.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "engine/problem.h"
#include "platform/log.h"

namespace hs {

enum class PopupKind {
  kProblemsFound,       // a scheduled scan found problems
  kNoneFound,           // a scheduled scan found none
  kNoScanArea,          // a scheduled scan could not run: no area ticked
  kUpdateAvailable,     // the unattended update check found a newer version
  kReminderProblems,    // default task: the last scan's problems wait
  kReminderNotScanned,  // default task: no scan for a week or more
};

// What a click on the link area asks of the main window.
enum class PopupAction {
  kShowResults,  // show the window on the results screen
  kShowHome,     // show the window on the home screen
  kStartUpdate,  // run the update check again, installation confirmed
  kStartScan,    // show the window and start a scan
};

struct PopupContent {
  PopupKind kind = PopupKind::kNoneFound;
  std::vector<Text> lines;  // the message, one entry a line
  Text link;                // the link line; empty: the message is the link
};

// The scheduled scan's pop-up: the no-area kind when `no_area`, else by
// the number of problems.
PopupContent ScanResultPopup(int problems, bool no_area, const StringLookup& strings);
PopupContent UpdatePopup(const StringLookup& strings);
// The default task's reminder: problems waiting, or a scan `days_since_scan`
// (DaysSinceLastScan) days ago when that is a week or more; none otherwise.
std::optional<PopupContent> ReminderPopup(int problems, int days_since_scan, const StringLookup& strings);
inline constexpr int kReminderDays = 7;

PopupAction ClickAction(PopupKind kind);

class ResultPopup {
 public:
  // `save_results` writes the results file; it runs on the pop-up's thread.
  ResultPopup(PopupContent content, Log& log, std::function<void()> save_results)
      : content_(std::move(content)), log_(log), save_results_(std::move(save_results)) {}

  const PopupContent& content() const { return content_; }
  // A click on the link area: the action for the main window, once; none
  // after the pop-up closed or was clicked already.
  std::optional<PopupAction> OnClick();
  // The close box, or the end after a click: saves the results and logs the
  // close, once. True when this call closed it (the window ends its loop).
  bool Close();
  bool closed() const { return closed_; }

 private:
  PopupContent content_;
  Log& log_;
  std::function<void()> save_results_;
  bool clicked_ = false;
  bool closed_ = false;
};

}  // namespace hs
