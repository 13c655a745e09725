#include "app/problems_view.h"

#include "app/main_dialog.h"
#include "engine/area_table.h"
#include "engine/category.h"
#include "engine/scan_manager.h"

namespace hs {
namespace {

bool IsKeyPath(TextView key) { return key.substr(0, 5) == u"HKEY_"; }

bool IsDrivePath(TextView path) { return path.size() >= 3 && path.substr(1, 2) == u":\\"; }

}  // namespace

int ProblemTargetCommand(const CProblem& p) {
  if (IsKeyPath(p.key)) return pv::kGoToKey;
  if (IsDrivePath(p.Detail(1))) return pv::kFileProperties;
  return 0;
}

Text PropertiesPath(TextView detail) {
  if (detail.empty() || detail[0] != u'"') return Text(detail);
  const std::size_t end = detail.find(u'"', 1);
  return Text(detail.substr(1, end == TextView::npos ? TextView::npos : end - 1));
}

CProblemsView::CProblemsView(ProblemsViewEnv env) : env_(std::move(env)) {}

void CProblemsView::Open() {
  FillScope fill(*this);
  rows_.clear();
  for (const AreaInfo& area : kAreas) {
    ProblemList* list = env_.manager.ProblemsOf(area.bit);
    if (!list) continue;
    for (auto& p : *list)
      if (p) rows_.push_back({area.bit, p.get()});
  }
  exclusions_added_ = false;
  close_requested_ = false;
}

const CProblem* CProblemsView::Problem(std::size_t row) const {
  return row < rows_.size() ? rows_[row].problem : nullptr;
}

std::uint32_t CProblemsView::AreaBit(std::size_t row) const { return row < rows_.size() ? rows_[row].bit : 0; }

bool CProblemsView::Ticked(std::size_t row) const {
  const CProblem* p = Problem(row);
  return p && p->selected != 0;
}

Text CProblemsView::RowText(std::size_t row) const {
  const CProblem* p = Problem(row);
  if (!p) return {};
  const AreaInfo* area = FindArea(rows_[row].bit);
  Text text = area ? S(area->name_key) : Text();
  const Text entry = ProblemRowEntry(*p);
  const Text reason = ProblemDescription(*p, env_.strings);
  for (const Text* part : {&entry, &reason}) {
    if (part->empty()) continue;
    if (!text.empty()) text += u" - ";
    text += *part;
  }
  return text;
}

Text CProblemsView::RowTip(std::size_t row) const {
  const CProblem* p = Problem(row);
  return p ? ProblemDetailsText(*p, env_.strings) : Text();
}

void CProblemsView::SetTicked(std::size_t row, bool ticked) {
  rows_[row].problem->selected = ticked ? 1 : 0;
  if (env_.row_changed) env_.row_changed(row);
}

void CProblemsView::OnRowChecked(std::size_t row, bool ticked) {
  if (filling_ || row >= rows_.size()) return;
  rows_[row].problem->selected = ticked ? 1 : 0;
}

SelectAllState CProblemsView::select_all() const {
  std::size_t ticked = 0;
  for (const Row& r : rows_) ticked += r.problem->selected != 0 ? 1 : 0;
  if (ticked == rows_.size()) return SelectAllState::kChecked;
  return ticked == 0 ? SelectAllState::kUnchecked : SelectAllState::kIndeterminate;
}

void CProblemsView::OnSelectAllClicked() { SetAll(select_all() != SelectAllState::kChecked, false); }

void CProblemsView::SetAll(bool ticked, bool pump) {
  FillScope fill(*this);
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    SetTicked(i, ticked);
    if (pump && env_.pump && (i + 1) % pv::kPumpEveryRows == 0) env_.pump();
  }
}

void CProblemsView::Invert() {
  FillScope fill(*this);
  for (std::size_t i = 0; i < rows_.size(); ++i) SetTicked(i, !Ticked(i));
}

std::vector<MenuItem> CProblemsView::ContextMenu(std::size_t row) const {
  const CProblem* p = Problem(row);
  if (!p) return {};
  std::vector<MenuItem> menu = {
      {pv::kToggleThis, S(p->selected ? u"IDS_UNSELECT_THIS" : u"IDS_SELECT_THIS")},
      {pv::kSelectAll, S(u"ID_SELECTION_SELECT_ALL")},
      {pv::kDeselectAll, S(u"ID_SELECTION_DESELECT_ALL")},
      {pv::kInvert, S(u"ID_SELECTION_INVERT_SELECTION")},
      {pv::kCopyDetails, S(u"ID_PROBLEM_DETAILS_COPY")},
      {pv::kExclude, S(u"ID_PROBLEM_ADD_TO_IGNORE")},
  };
  switch (ProblemTargetCommand(*p)) {
    case pv::kGoToKey: menu.push_back({pv::kGoToKey, S(u"ID_PROBLEM_DETAILS_GO_TO_KEY")}); break;
    case pv::kFileProperties: menu.push_back({pv::kFileProperties, S(u"IDS_FILE_PROP")}); break;
    default: break;
  }
  return menu;
}

void CProblemsView::OnMenuCommand(std::size_t row, int command) {
  if (row >= rows_.size()) return;
  CProblem& p = *rows_[row].problem;
  switch (command) {
    case pv::kToggleThis: {
      FillScope fill(*this);
      SetTicked(row, p.selected == 0);
      break;
    }
    case pv::kSelectAll: SetAll(true, true); break;
    case pv::kDeselectAll: SetAll(false, false); break;
    case pv::kInvert: Invert(); break;
    case pv::kCopyDetails: CopyDetails(p); break;
    case pv::kExclude: Exclude(row); break;
    case pv::kGoToKey: GoToKey(p); break;
    case pv::kFileProperties: FileProperties(p); break;
    default: break;
  }
}

void CProblemsView::CopyDetails(const CProblem& p) {
  if (!env_.clipboard.SetText(ProblemDetailsText(p, env_.strings)))
    env_.log.LogLine(u"Problem details: the clipboard could not be written");
}

void CProblemsView::Exclude(std::size_t row) {
  CProblem& p = *rows_[row].problem;
  if (!IsKeyPath(p.key)) return;
  (void)AddExclusionFromResults(env_.exclusions, p.key);
  p.selected = 0;
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row));
  if (env_.row_removed) env_.row_removed(row);
  exclusions_added_ = true;
  if (env_.exclusions_changed) env_.exclusions_changed();
  if (rows_.empty()) close_requested_ = true;
}

void CProblemsView::GoToKey(const CProblem& p) {
  if (!IsKeyPath(p.key)) return;
  if (env_.system.MajorVersion() >= 6 && !env_.system.IsAdministrator()) {
    (void)env_.prompts.Ask(S(u"IDS_STR_LACK_OF_PERMISSION"), PromptButtons::kOk, PromptIcon::kWarning);
    return;
  }
  const bool is64 = p.entry32 == 0;
  RegKey root = 0;
  Text subkey;
  if (!SplitKeyPath(p.key, &root, &subkey)) return;
  KeyHolder key(env_.reg.registry);
  if (key.Open(root, subkey, AccessMask(env_.reg.windows64, KeyAccess::kRead, is64)) != err::kSuccess) return;
  key.Reset();
  (void)env_.key_viewer.ShowKey(p.key, p.value_name, is64);
}

void CProblemsView::FileProperties(const CProblem& p) {
  if (!p.key.empty()) return;
  const Text path = PropertiesPath(p.Detail(1));
  if (path.empty()) return;
  if (!env_.shell.ShowProperties(path)) env_.log.LogLine(u"Problem details: no properties dialog for " + path);
}

void CProblemsView::OnExportLog() {
  if (env_.export_log) env_.export_log();
}

std::optional<int> CProblemsView::Close(bool escape_down) {
  if (escape_down) return std::nullopt;
  if (exclusions_added_) {
    for (const AreaInfo& area : kAreas) {
      CCategory* category = env_.manager.AreaByBit(area.bit);
      if (!category) continue;
      for (std::size_t i = category->Count(); i-- > 0;) {
        const CProblem* p = category->problems()[i].get();
        if (p && env_.exclusions.EqualsAnyEntryNoCase(p->key)) category->Remove(i);
      }
    }
  }
  rows_.clear();
  return env_.manager.TotalProblems() == 0 ? dlg::kCmdHome : dlg::kCmdShowResults;
}

}  // namespace hs
