#include "app/web/details_session.h"

#include <charconv>

#include "app/page_texts.h"
#include "app/settings.h"
#include "engine/area_table.h"
#include "engine/scan_log.h"

namespace hs {

namespace {

// The number after `prefix` in an element id ("row12"); none for another id.
std::optional<std::size_t> IndexAfter(TextView id, TextView prefix) {
  if (id.size() <= prefix.size() || id.substr(0, prefix.size()) != prefix) return std::nullopt;
  const std::string digits = ToUtf8(id.substr(prefix.size()));
  std::size_t n = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return n;
}

Text Flag(bool on) { return on ? u"1" : u"0"; }

}  // namespace

DetailsSession::DetailsSession(ScanPorts& ports, PageHost& page, Prompts& prompts)
    : ports_(ports), page_(page), prompts_(prompts) {}

bool DetailsSession::Open() {
  view_.reset();
  results_ = std::make_unique<MachineResults>(ports_);
  if (!results_->Load()) {
    results_.reset();
    return false;
  }
  MachineResults& r = *results_;
  ProblemsViewEnv env{r.manager(), r.exclusions(), RegEnv{ports_.registry, ports_.wow64.IsWow64Process()},
                      ports_.system, prompts_, clipboard_, no_viewer_, no_editor_, r.log(), r.strings()};
  env.row_changed = [this](std::size_t row) {
    Call(u"SetTicked", {ToText(static_cast<std::int64_t>(row)), Flag(view_->Ticked(row))});
  };
  env.row_removed = [this](std::size_t row) { Call(u"RemoveRow", {ToText(static_cast<std::int64_t>(row))}); };
  env.export_log = [this] {
    MachineResults& res = *results_;
    SettingsStore store(ports_.registry, res.log());
    AppSettings settings;
    (void)store.LoadSettings(&settings);
    const ScanLogResult written =
        ExportScanLog(res.manager(), {Text(kProgramVersion), settings.StrLastScan, settings.StrLastScanResults},
                      res.strings(), res.data_folder(), ports_.xml, no_viewer_,
                      [&res](std::string_view line) { res.log().LogLine(FromUtf8(line)); });
    res.log().LogLine(written.failed_steps == 0 ? u"Scan log exported from the detailed list"
                                                : u"The scan log could not be exported completely");
  };
  view_ = std::make_unique<CProblemsView>(std::move(env));
  view_->Open();
  return true;
}

void DetailsSession::Call(TextView function, const std::vector<Text>& args) {
  (void)page_.CallScript(function, args);  // the bridge's calls do not fail
}

void DetailsSession::SendRow(std::size_t row) {
  const CProblem* p = view_->Problem(row);
  const AreaInfo* area = FindArea(view_->AreaBit(row));
  Call(u"AddRow", {ToText(static_cast<std::int64_t>(row)), Flag(view_->Ticked(row)),
                   area ? results_->strings()(area->name_key) : Text(), ProblemRowEntry(*p),
                   ProblemDescription(*p, results_->strings()), view_->RowTip(row), Flag(ProblemTargetCommand(*p) == pv::kGoToKey)});
}

void DetailsSession::SendSelectAll() {
  const SelectAllState s = view_->select_all();
  Call(u"SetSelectAll", {s == SelectAllState::kChecked ? u"1" : s == SelectAllState::kUnchecked ? u"0" : u"2"});
}

void DetailsSession::OnPageLoaded() {
  if (!view_) return;
  const PageTexts* texts = FindPageTexts(kPageProblemDetails);
  Call(u"setlanguage", {Text(LanguageRecord(ports_.language).code)});
  std::vector<Text> args;
  for (const char16_t* key : texts->keys) args.push_back(results_->strings()(key));
  Call(texts->load_function, args);
  Call(u"ClearRows", {});
  for (std::size_t i = 0; i < view_->size(); ++i) SendRow(i);
  SendSelectAll();
}

std::optional<int> DetailsSession::OnClick(TextView id) {
  if (!view_) return std::nullopt;
  if (const auto row = IndexAfter(id, u"row")) {
    if (*row >= view_->size()) return std::nullopt;
    view_->OnRowChecked(*row, !view_->Ticked(*row));
    Call(u"SetTicked", {ToText(static_cast<std::int64_t>(*row)), Flag(view_->Ticked(*row))});
  } else if (const auto excluded = IndexAfter(id, u"exclude")) {
    view_->OnMenuCommand(*excluded, pv::kExclude);
    if (view_->close_requested()) return CloseList();
  } else if (id == u"selectAll") {
    view_->OnSelectAllClicked();
  } else if (id == u"btnExportLog") {
    view_->OnExportLog();
    return std::nullopt;
  } else if (id == u"btnClose") {
    return CloseList();
  } else {
    return std::nullopt;
  }
  SendSelectAll();
  return std::nullopt;
}

std::optional<int> DetailsSession::CloseList() {
  const std::optional<int> next = view_->Close(false);
  if (!results_->Save()) {
    (void)prompts_.Ask(results_->strings()(u"IDS_RESULTS_NOT_SAVED"), PromptButtons::kOk, PromptIcon::kError);
  }
  view_.reset();
  results_.reset();
  return next;
}

}  // namespace hs
