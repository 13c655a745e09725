// CProblemsView: the detailed problem list, without Win32. One row per
// problem of the last scan, area by area in area-bit order; each row's box
// is its problem's selected field. The user ticks rows, copies details, opens
// a key in the registry editor or a file's properties, and excludes keys.
// The window (ui/problems_dialog.h) and the browser page draw this model and
// forward the user's actions; the model answers through its callbacks.
//
// User-interface thread only, while no scan or repair runs (the rows point
// into the scan manager's lists).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "areas/user_lists.h"
#include "engine/problem.h"
#include "engine/registry_helpers.h"
#include "platform/clipboard.h"
#include "platform/key_viewer.h"
#include "platform/log.h"
#include "platform/prompts.h"
#include "platform/shell_open.h"
#include "platform/system_info.h"

namespace hs {

class ScanManager;

namespace pv {
// The list control: check boxes, full-row selection, info tips.
inline constexpr std::uint32_t kListExStyle = 0x424;
inline constexpr int kColumnWidth = 665;
inline constexpr TextView kColumnHeader = u"Type and Description";
// Select all lets the window process its messages after this many rows.
inline constexpr std::size_t kPumpEveryRows = 1000;

// Context-menu commands.
inline constexpr int kToggleThis = 1;
inline constexpr int kSelectAll = 2;
inline constexpr int kDeselectAll = 3;
inline constexpr int kInvert = 4;
inline constexpr int kCopyDetails = 5;
inline constexpr int kExclude = 6;
inline constexpr int kGoToKey = 7;
inline constexpr int kFileProperties = 8;
}  // namespace pv

enum class SelectAllState { kUnchecked, kChecked, kIndeterminate };

struct MenuItem {
  int command = 0;
  Text text;
};

struct ProblemsViewEnv {
  ScanManager& manager;
  UserList& exclusions;
  RegEnv reg;  // for the go-to-key check that the key opens
  SystemInfo& system;
  Prompts& prompts;
  Clipboard& clipboard;
  ShellOpen& shell;
  KeyViewer& key_viewer;
  Log& log;
  StringLookup strings;
  // Row `row`'s box or text changed (a model action, not the user's click).
  std::function<void(std::size_t row)> row_changed{};
  // Row `row` left the list; the rows after it move up by one.
  std::function<void(std::size_t row)> row_removed{};
  // Lets the window process its messages (long selections).
  std::function<void()> pump{};
  // The exclusion list changed: save it, refresh the settings page.
  std::function<void()> exclusions_changed{};
  // The Export Log button: the scan log export.
  std::function<void()> export_log{};
};

class CProblemsView {
 public:
  explicit CProblemsView(ProblemsViewEnv env);
  CProblemsView(const CProblemsView&) = delete;
  CProblemsView& operator=(const CProblemsView&) = delete;

  // Fills the rows from the manager's areas.
  void Open();

  std::size_t size() const { return rows_.size(); }
  // Null for a row out of range.
  const CProblem* Problem(std::size_t row) const;
  std::uint32_t AreaBit(std::size_t row) const;
  bool Ticked(std::size_t row) const;
  // What the row shows: "<area> - <entry> - <description>".
  Text RowText(std::size_t row) const;
  // The row's tool tip: the problem details (detail 0, a rule, the description).
  Text RowTip(std::size_t row) const;

  // While set, the window's check-box notifications are its own changes.
  bool filling() const { return filling_; }
  // The view sets it around its own bulk changes of the boxes.
  class FillScope {
   public:
    explicit FillScope(CProblemsView& v) : v_(v), was_(v.filling_) { v_.filling_ = true; }
    ~FillScope() { v_.filling_ = was_; }
    FillScope(const FillScope&) = delete;
    FillScope& operator=(const FillScope&) = delete;

   private:
    CProblemsView& v_;
    bool was_;
  };

  // The user changed row `row`'s box; ignored while filling.
  void OnRowChecked(std::size_t row, bool ticked);
  SelectAllState select_all() const;
  // The select-all box: all ticked -> untick all; otherwise tick all.
  void OnSelectAllClicked();

  // The context menu of row `row`, in order; empty for no row.
  std::vector<MenuItem> ContextMenu(std::size_t row) const;
  // Carries out a menu command on row `row` (nothing for no row).
  void OnMenuCommand(std::size_t row, int command);
  void OnExportLog();

  bool exclusions_added() const { return exclusions_added_; }
  // Set when excluding took the last row: the window closes the list
  // (through Close).
  bool close_requested() const { return close_requested_; }
  // Close. With Escape down: nothing, none. Otherwise, after exclusions,
  // every problem whose key equals an exclusion (case aside) leaves its
  // area; then the main window's next command: 242 (home) when no problem
  // remains, else 1134 (results).
  std::optional<int> Close(bool escape_down);

 private:
  struct Row {
    std::uint32_t bit;
    CProblem* problem;
  };
  Text S(TextView key) const { return env_.strings(key); }
  void SetTicked(std::size_t row, bool ticked);
  void SetAll(bool ticked, bool pump);
  void Invert();
  void CopyDetails(const CProblem& p);
  void Exclude(std::size_t row);
  void GoToKey(const CProblem& p);
  void FileProperties(const CProblem& p);

  ProblemsViewEnv env_;
  std::vector<Row> rows_;
  bool filling_ = false;
  bool exclusions_added_ = false;
  bool close_requested_ = false;
};

// What the last item of a problem's menu offers: go to its key (a key path
// beginning "HKEY_"), its file's properties (detail 1 a drive path, ":\" at
// position 1), or nothing.
int ProblemTargetCommand(const CProblem& p);
// The file whose properties a problem's detail 1 names: the text inside its
// leading quotes when it starts with one, else the whole detail.
Text PropertiesPath(TextView detail);

}  // namespace hs
