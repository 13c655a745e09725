#include "ui/native_screens.h"

#include <oleauto.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "app/main_dialog.h"
#include "engine/area_table.h"
#include "platform/win32/win32_prompts.h"
#include "ui/screen_font.h"
#include "ui/ui_resources.h"

namespace hs::ui {

namespace {

constexpr COLORREF kPageBack = RGB(0xf4, 0xf7, 0xf7);
constexpr COLORREF kHeading = RGB(0x1d, 0x2b, 0x33);
constexpr wchar_t kScreenClass[] = L"HiveSweepNativeScreen";
constexpr UINT kMsgWorkDone = WM_APP + 41;

// Layout, in pixels of the page area.
constexpr int kLeft = 32;
constexpr int kRightMargin = 24;
constexpr int kTop = 76;
constexpr int kButtonHeight = 30;
constexpr int kBottomButtons = 510;

// Control ids.
enum : int {
  kIdTakeFull = 1100,
  kIdShowFull,
  kIdShowPartial,
  kIdRestore,
  kIdDelete,
  kIdList,
  kIdTab0 = 1200,
  kIdLanguage = 1210,
  kIdCloseAction,
  kIdStartAtLogon,
  kIdGeneralApply,
  kIdGroup0 = 1220,
  kIdArea0 = 1230,
  kIdAreasDefaults = 1250,
  kIdAreasApply,
  kIdExclusionList = 1260,
  kIdAddEntry,
  kIdDeleteEntry,
  kIdSkipMedia,
  kIdSkipEmpty,
  kIdKind0 = 1270,
  kIdDate = 1280,
  kIdTime,
  kIdRepeat,
  kIdDay0 = 1290,
  kIdScheduleApply = 1300,
};

// The full restore an hvxvistafullbackuprestore restart names.
constexpr int kActionRestartRestore = 1;

HFONT MakeFont(HWND parent, int weight) { return CreateScreenFont(WindowLanguage(parent), 13, weight); }

RECT Rect(int left, int top, int right, int bottom) { return RECT{left, top, right, bottom}; }

// The width of `text` on one line in `font`.
int TextWidth(HWND hwnd, HFONT font, TextView text) {
  HDC dc = ::GetDC(hwnd);
  if (!dc) return 0;
  HGDIOBJ old = ::SelectObject(dc, font);
  const std::wstring w = Wide(text);
  RECT r{0, 0, 0, 0};
  ::DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  ::SelectObject(dc, old);
  ::ReleaseDC(hwnd, dc);
  return r.right;
}

DateTime FromSystemTime(const SYSTEMTIME& t) {
  return DateTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, 0, t.wDayOfWeek};
}

// The locale's short date, or its time of day.
Text LocaleText(bool date, const SYSTEMTIME& t) {
  wchar_t buffer[128] = {};
  const int n = date ? ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &t, nullptr, buffer, 128)
                     : ::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &t, nullptr, buffer, 128);
  return n > 1 ? FromWide(buffer) : Text();
}

// Date and Time as the settings hold them, read back; false when they do
// not parse in the user's locale.
bool ParseStoredStart(TextView date, TextView time, SYSTEMTIME* out) {
  if (date.empty()) return false;
  std::wstring text = Wide(date) + L" " + Wide(time);
  DATE value = 0;
  if (FAILED(::VarDateFromStr(text.data(), LOCALE_USER_DEFAULT, 0, &value))) return false;
  return ::VariantTimeToSystemTime(value, out) != FALSE;
}

struct ProgressState {
  std::wstring title, info;
  const std::function<void()>* work;
  std::thread worker;
  std::atomic<bool> done{false};
};

// The state a dialog was opened with (its WM_INITDIALOG parameter).
template <typename T>
T* DialogState(HWND dlg, UINT msg, LPARAM lp) {
  if (msg == WM_INITDIALOG) ::SetWindowLongPtrW(dlg, DWLP_USER, lp);
  return reinterpret_cast<T*>(::GetWindowLongPtrW(dlg, DWLP_USER));
}

INT_PTR CALLBACK ProgressProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  try {
    auto* state = DialogState<ProgressState>(dlg, msg, lp);
    switch (msg) {
      case WM_INITDIALOG: {
        ApplyDialogFont(dlg);
        ::SetWindowTextW(dlg, state->title.c_str());
        ::SetDlgItemTextW(dlg, IDC_PROGRESS_TEXT, state->info.c_str());
        ::SendDlgItemMessageW(dlg, IDC_PROGRESS_BAR, PBM_SETMARQUEE, TRUE, 40);
        // The work cannot be interrupted: no Close while it runs.
        if (HMENU menu = ::GetSystemMenu(dlg, FALSE)) ::EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
        const std::function<void()>* work = state->work;
        state->worker = std::thread([dlg, work, state] {
          try {
            (*work)();
          } catch (...) {
            // The action reports its own failure from the result it kept.
          }
          state->done = true;
          ::PostMessageW(dlg, kMsgWorkDone, 0, 0);
        });
        return TRUE;
      }
      case kMsgWorkDone:
        if (state && state->worker.joinable()) state->worker.join();
        ::EndDialog(dlg, IDOK);
        return TRUE;
      case WM_SETCURSOR:
        ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
        ::SetWindowLongPtrW(dlg, DWLP_MSGRESULT, TRUE);
        return TRUE;
      case WM_SYSCOMMAND:
        if ((wp & 0xFFF0) == SC_CLOSE) return TRUE;
        return FALSE;
      case WM_COMMAND:
      case WM_CLOSE: return TRUE;  // Escape and Close wait for the work
      default: return FALSE;
    }
  } catch (...) {
    return FALSE;
  }
}

struct AddDialogState {
  ExclusionPageModel* model;
  OwnedPrompts* prompts;
  std::function<Text(TextView)> str;
};

INT_PTR CALLBACK AddExclusionProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  try {
    auto* state = DialogState<AddDialogState>(dlg, msg, lp);
    switch (msg) {
      case WM_INITDIALOG: {
        ApplyDialogFont(dlg);
        state->prompts->set_owner(dlg);
        ::SetWindowTextW(dlg, Wide(state->str(u"IDS_ST_EXCLUDE_ADD_TITLE")).c_str());
        ::SetDlgItemTextW(dlg, IDC_ADD_ROOT_LABEL, Wide(state->str(u"IDS_ST_SEL_SECTION")).c_str());
        ::SetDlgItemTextW(dlg, IDC_ADD_KEY_LABEL, Wide(state->str(u"IDS_ST_SPECIFY_ENTRY")).c_str());
        ::SetDlgItemTextW(dlg, IDC_ADD_EXAMPLE, Wide(state->str(u"IDS_ST_EXAMPLE")).c_str());
        ::SetDlgItemTextW(dlg, IDOK, Wide(state->str(u"IDS_BTN_OK")).c_str());
        ::SetDlgItemTextW(dlg, IDCANCEL, Wide(state->str(u"IDS_BTN_CANCEL")).c_str());
        ComboBox roots;
        roots.Attach(::GetDlgItem(dlg, IDC_ADD_ROOT));
        roots.SetItems(ExclusionPageModel::RootNames());
        roots.Select(0);
        ::SetFocus(::GetDlgItem(dlg, IDC_ADD_KEY));
        return FALSE;  // the focus is set
      }
      case WM_COMMAND:
        if (LOWORD(wp) == IDCANCEL) {
          ::EndDialog(dlg, IDCANCEL);
        } else if (LOWORD(wp) == IDOK && state) {
          Edit key;
          key.Attach(::GetDlgItem(dlg, IDC_ADD_KEY));
          const int root = static_cast<int>(::SendDlgItemMessageW(dlg, IDC_ADD_ROOT, CB_GETCURSEL, 0, 0));
          if (state->model->Add(root, key.GetText()) == AddEntryResult::kAdded) ::EndDialog(dlg, IDOK);
          else ::SetFocus(key.hwnd());
        }
        return TRUE;
      default: return FALSE;
    }
  } catch (...) {
    return FALSE;
  }
}

}  // namespace

PromptAnswer OwnedPrompts::Ask(TextView text, PromptButtons buttons, PromptIcon icon) {
  return Win32Prompts(owner_, caption_).Ask(text, buttons, icon);
}

void RunWithProgressDialog(HINSTANCE instance, HWND owner, TextView title, TextView info,
                           const std::function<void()>& work) {
  ProgressState state;
  state.title = Wide(title);
  state.info = Wide(info);
  state.work = &work;
  const INT_PTR r = ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_BACKUP_PROGRESS), owner, &ProgressProc,
                                      reinterpret_cast<LPARAM>(&state));
  if (state.worker.joinable()) state.worker.join();
  if (r == -1 && !state.done) work();  // no dialog: the work runs here
}

// NativeScreen.

NativeScreen::~NativeScreen() {
  Destroy();
  if (font_) ::DeleteObject(font_);
  if (bold_) ::DeleteObject(bold_);
  if (back_) ::DeleteObject(back_);
}

bool NativeScreen::Create(HWND parent, const RECT& area, TextView heading) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = &NativeScreen::Proc;
  wc.hInstance = ctx_.instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kScreenClass;
  ::RegisterClassW(&wc);  // a second registration fails harmlessly
  font_ = MakeFont(parent, FW_NORMAL);
  bold_ = MakeFont(parent, FW_SEMIBOLD);
  back_ = ::CreateSolidBrush(kPageBack);
  // Not clipping its children: group boxes leave their inside to the parent.
  hwnd_ = ::CreateWindowExW(WS_EX_CONTROLPARENT, kScreenClass, Wide(heading).c_str(), WS_CHILD,
                            area.left, area.top, area.right - area.left, area.bottom - area.top, parent, nullptr,
                            ctx_.instance, this);
  if (!hwnd_) return false;
  Build();
  return true;
}

LRESULT CALLBACK NativeScreen::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  try {
    if (msg == WM_NCCREATE) {
      auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
      reinterpret_cast<NativeScreen*>(cs->lpCreateParams)->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<NativeScreen*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && self->hwnd_ == hwnd) return self->Handle(msg, wp, lp);
  } catch (...) {
    return 0;  // nothing leaves the window procedure
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT NativeScreen::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND: {
      RECT r = ClientRect();
      ::FillRect(reinterpret_cast<HDC>(wp), &r, back_);
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(hwnd_, &ps);
      RECT r = ClientRect();
      DrawWindowTitle(hwnd_, dc, RECT{kLeft, 28, r.right - kLeft, 72}, 24, kHeading, 0);
      ::EndPaint(hwnd_, &ps);
      return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      HDC dc = reinterpret_cast<HDC>(wp);
      ::SetBkColor(dc, kPageBack);
      ::SetTextColor(dc, kHeading);
      return reinterpret_cast<LRESULT>(back_);
    }
    case WM_COMMAND: OnCommand(LOWORD(wp), HIWORD(wp)); return 0;
    case WM_NOTIFY: OnNotify(*reinterpret_cast<const NMHDR*>(lp)); return 0;
    case kMsgScreenAction: OnMessage(msg, wp); return 0;
    default: return ::DefWindowProcW(hwnd_, msg, wp, lp);
  }
}

// BackupScreen.

void BackupScreen::Build() {
  const int right = Width() - kRightMargin;
  header_.Create(hwnd_, Str(u"IDS_REG_BKUP_HEADER_TXT"), Rect(kLeft, kTop, right, kTop + 36), font_);
  backup_group_.Create(hwnd_, Str(u"IDS_HEADING_BACKUP_REGISTRY"), Rect(kLeft, 120, right, 186), font_);
  take_full_.Create(hwnd_, kIdTakeFull, Str(u"IDS_BTN_TAKE_FULL_REG_BKUP"), Rect(kLeft + 16, 144, kLeft + 296, 174),
                    font_);
  restore_group_.Create(hwnd_, Str(u"IDS_HEADING_RESTORE_REGISTRY"), Rect(kLeft, 196, right, 262), font_);
  const DWORD toggle = BS_AUTORADIOBUTTON | BS_PUSHLIKE;
  show_full_.Create(hwnd_, kIdShowFull, Str(u"IDS_BTN_FULL_BACKUPS"), Rect(kLeft + 16, 220, kLeft + 216, 250), font_,
                    toggle | WS_GROUP);
  show_partial_.Create(hwnd_, kIdShowPartial, Str(u"IDS_BTN_PARTIAL_BACKUPS"),
                       Rect(kLeft + 224, 220, kLeft + 424, 250), font_, toggle);
  list_heading_.Create(hwnd_, Str(u"IDS_BTN_FULL_BACKUPS"), Rect(kLeft, 274, right, 294), bold_);
  list_.Create(hwnd_, kIdList, Rect(kLeft, 296, right, kBottomButtons - 10), font_);
  restore_.Create(hwnd_, kIdRestore, Str(u"IDS_BTN_RESTORE"),
                  Rect(right - 236, kBottomButtons, right - 124, kBottomButtons + kButtonHeight), font_);
  delete_.Create(hwnd_, kIdDelete, Str(u"IDS_BTN_DELETE"),
                 Rect(right - 112, kBottomButtons, right, kBottomButtons + kButtonHeight), font_);
  // Column 0 as wide as the list allows (617 at most), column 1 the hidden path.
  const int fit = list_.ClientRect().right - ::GetSystemMetrics(SM_CXVSCROLL);
  list_.AddColumn(0, u" ", std::min(kBackupListTextWidth, fit));
  list_.AddColumn(1, u" ", 0);
  show_full_.SetCheck(true);
}

bool BackupScreen::EnsureSession() {
  if (session_) return true;
  session_ = ctx_.app->OpenCatalogue();
  if (!session_) {
    ctx_.app->log().LogLine(u"The backup screen has no catalogue: a port it needs is missing");
    for (const Button* b : {&take_full_, &restore_, &delete_}) b->Enable(false);
    return false;
  }
  CatalogueEnv& env = session_->env;
  env.run_with_progress = [this](TextView info, const std::function<void()>& work) {
    RunWithProgressDialog(ctx_.instance, ctx_.main, ctx_.app->AppTitle(), info, work);
  };
  env.main_window_enabled = [this](bool enabled) { ::EnableWindow(ctx_.main, enabled ? TRUE : FALSE); };
  full_ = std::make_unique<FullBackupsModel>(env);
  partial_ = std::make_unique<PartialBackupsModel>(env);
  return true;
}

BackupListModel* BackupScreen::Current() {
  if (!full_) return nullptr;
  return showing_partial_ ? static_cast<BackupListModel*>(partial_.get()) : full_.get();
}

void BackupScreen::Showing() {
  if (!EnsureSession()) return;
  full_->Refresh();
  (void)partial_->LoadBackups();
  Refresh();
  if (restart_done_) return;
  restart_done_ = true;
  const StartupFlags& f = ctx_.app->flags();
  if (f.vista_full_backup_restore && !f.backup_target.empty())
    ::PostMessageW(hwnd_, kMsgScreenAction, kActionRestartRestore, 0);
}

void BackupScreen::ShowList(bool partial) {
  showing_partial_ = partial;
  show_full_.SetCheck(!partial);
  show_partial_.SetCheck(partial);
  Refresh();
}

void BackupScreen::Refresh() {
  BackupListModel* model = Current();
  if (!model) return;
  list_heading_.SetText(Str(showing_partial_ ? u"IDS_BTN_PARTIAL_BACKUPS" : u"IDS_BTN_FULL_BACKUPS"));
  list_.SetColumnHeader(0, model->columns()[0].header);
  list_.SetColumnHeader(1, model->columns()[1].header);
  std::vector<std::vector<Text>> rows;
  for (const ListRow& r : model->rows()) rows.push_back({r.text, r.path});
  const int selected = model->selected();
  list_.SetRows(rows);
  model->Select(selected);
  list_.Select(model->selected());
  restore_.Enable(model->buttons_enabled());
  delete_.Enable(model->buttons_enabled());
}

void BackupScreen::Act(ActionResult r) {
  if (r == ActionResult::kEndProcess && ctx_.end_process) ctx_.end_process();
  Refresh();
}

void BackupScreen::OnCommand(int id, int code) {
  if (code != BN_CLICKED || !EnsureSession()) return;
  switch (id) {
    case kIdTakeFull:
      ShowList(false);
      Act(full_->TakeFullBackup());
      break;
    case kIdShowFull:
      full_->Refresh();
      ShowList(false);
      break;
    case kIdShowPartial:
      (void)partial_->LoadBackups();
      ShowList(true);
      break;
    case kIdRestore:
      if (showing_partial_) Act(partial_->Restore());
      else Act(full_->Restore());
      list_.Select(Current()->selected());
      break;
    case kIdDelete:
      if (showing_partial_) Act(partial_->Delete());
      else Act(full_->Delete());
      break;
    default: break;
  }
}

void BackupScreen::OnNotify(const NMHDR& n) {
  if (n.idFrom != static_cast<UINT_PTR>(kIdList) || n.code != LVN_ITEMCHANGED) return;
  const auto& change = reinterpret_cast<const NMLISTVIEW&>(n);
  if ((change.uChanged & LVIF_STATE) == 0) return;
  if (BackupListModel* model = Current()) model->Select(list_.Selected());
}

void BackupScreen::OnMessage(UINT, WPARAM wp) {
  if (wp != kActionRestartRestore || !EnsureSession()) return;
  const Text target = ctx_.app->flags().backup_target;
  ShowList(false);
  Act(full_->RestoreFile(target));
}

void BackupScreen::OnScreenMessage(int id) {
  if (!EnsureSession()) return;
  if (id == dlg::kBackupTakeFull) {
    ShowList(false);
    Act(full_->TakeFullBackup());
  } else if (id == dlg::kBackupRestorePartial) {
    (void)partial_->LoadBackups();
    ShowList(true);
    Act(partial_->RestoreRecord(ctx_.app->flags().backup_target));
  }
}

// SettingsScreen.

SettingsScreen::SettingsScreen(ScreenContext ctx)
    : NativeScreen(std::move(ctx)), prompts_(ctx_.main, ctx_.app->AppTitle()) {
  CHVXApp& app = *ctx_.app;
  AppEnvironment& e = app.environment();
  env_ = std::make_unique<SettingsPagesEnv>(SettingsPagesEnv{
      app.settings_store(), app.settings(), prompts_, app.log(),
      [&app](TextView key) { return app.strings().LookupString(key); }});
  std::wstring program(32768, L'\0');
  program.resize(::GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size())));
  scheduling_ = MakeAppScheduling(app, prompts_, FromWide(program.c_str()));
  if (scheduling_) logon_tasks_ = std::make_unique<SchedulerLogonTasks>(*scheduling_);
  StartEntryContext start{e.system.MajorVersion(), FromWide(program.c_str()), app.AppTitle(), logon_tasks_.get()};
  general_ = std::make_unique<GeneralPageModel>(*env_, start, app.language_index(), [this](int index) {
    AppEnvironment& env = ctx_.app->environment();
    if (!env.launcher) return LanguageChangeResult::kInvalidIndex;
    LanguageChangeUi ui{
        [this](TextView text) { (void)prompts_.Ask(text, PromptButtons::kOk, PromptIcon::kInformation); },
        [this](TextView text) {
          return prompts_.Ask(text, PromptButtons::kYesNo, PromptIcon::kQuestion) == PromptAnswer::kYes;
        }};
    return ChangeLanguage(index, LanguageChangeSource::kSettingsPage, env.registry, ctx_.app->strings(),
                          *env.launcher, ctx_.app->log(), ui);
  });
  areas_ = std::make_unique<ScanAreasPageModel>(*env_);
  exclusions_ = std::make_unique<ExclusionPageModel>(*env_, app.exclusions(), e.fs, app.data_folder());
  schedule_ = std::make_unique<SchedulePageModel>(*env_, scheduling_.get());
}

SettingsScreen::~SettingsScreen() = default;

void SettingsScreen::Build() {
  const int right = Width() - kRightMargin;
  const TextView titles[kPageCount] = {u"IDS_ST_PAGE_GENERAL", u"IDS_ST_PAGE_SCAN_AREAS", u"IDS_ST_PAGE_EXCLUSIONS",
                                       u"IDS_ST_PAGE_SCHEDULE"};
  const int tab_width = (right - kLeft) / kPageCount;
  for (int i = 0; i < kPageCount; ++i) {
    const int left = kLeft + i * tab_width;
    tabs_[i].Create(hwnd_, kIdTab0 + i, Str(titles[i]), Rect(left, kTop, left + tab_width - 4, kTop + kButtonHeight),
                    font_, BS_AUTORADIOBUTTON | BS_PUSHLIKE | (i == 0 ? WS_GROUP : 0));
  }
  const int top = kTop + kButtonHeight + 16;
  BuildGeneral(top);
  BuildScanAreas(top);
  BuildExclusions(top);
  BuildSchedule(top);
  ShowPage(kGeneral);
}

void SettingsScreen::AddLabel(Page page, TextView key, const RECT& r, HFONT font) {
  Label l;
  l.Create(hwnd_, Str(key), r, font ? font : font_);
  Track(page, l.hwnd());
}

void SettingsScreen::AddButton(Page page, Button& b, int id, TextView key, const RECT& r, DWORD style, HFONT font) {
  b.Create(hwnd_, id, Str(key), r, font ? font : font_, style);
  Track(page, b.hwnd());
}

RECT SettingsScreen::BottomRight(int from_right, int width) const {
  const int right = Width() - kRightMargin - from_right;
  return Rect(right - width, kBottomButtons, right, kBottomButtons + kButtonHeight);
}

void SettingsScreen::BuildGeneral(int top) {
  const int right = Width() - kRightMargin;
  AddLabel(kGeneral, u"IDS_SEL_LANG", Rect(kLeft, top, right, top + 18));
  language_.Create(hwnd_, kIdLanguage, Rect(kLeft, top + 20, kLeft + 340, top + 320), font_);
  language_.SetItems(GeneralPageModel::LanguageNames());
  Track(kGeneral, language_.hwnd());
  AddLabel(kGeneral, u"IDS_ST_CLOSE_ACTION", Rect(kLeft, top + 64, right, top + 82));
  close_action_.Create(hwnd_, kIdCloseAction, Rect(kLeft, top + 84, kLeft + 400, top + 200), font_);
  close_action_.SetItems(general_->CloseActionItems());
  Track(kGeneral, close_action_.hwnd());
  AddButton(kGeneral, start_at_logon_, kIdStartAtLogon, u"IDS_CHK_START_AT_LOGON",
            Rect(kLeft, top + 132, right, top + 156), BS_AUTOCHECKBOX);
  AddButton(kGeneral, general_apply_, kIdGeneralApply, u"IDS_BTN_APPLY", BottomRight(0, 112));
}

void SettingsScreen::BuildScanAreas(int top) {
  const int right = Width() - kRightMargin;
  AddLabel(kScanAreas, u"IDS_ST_SCAN_AREAS_HEAD", Rect(kLeft, top, right, top + 36));
  const TextView group_keys[4] = {u"string24", u"string26", u"string28", u"string30"};
  const int column = (right - kLeft) / 2;
  const int row_top[2] = {top + 44, top + 44 + 30 + 5 * 22 + 12};
  area_boxes_.resize(kAreaCount);
  for (int g = 0; g < 4; ++g) {
    const int left = kLeft + (g % 2) * column;
    int y = row_top[g / 2];
    AddButton(kScanAreas, group_boxes_[g], kIdGroup0 + g, group_keys[g], Rect(left, y, left + column - 8, y + 24),
              BS_3STATE, bold_);
    y += 26;
    for (int i = 0; i < kAreaCount; ++i) {
      if ((kAreas[i].bit & kGroupMasks[g]) == 0) continue;
      AddButton(kScanAreas, area_boxes_[i], kIdArea0 + i, kAreas[i].name_key,
                Rect(left + 20, y, left + column - 8, y + 22), BS_CHECKBOX);
      y += 22;
    }
  }
  AddButton(kScanAreas, areas_defaults_, kIdAreasDefaults, u"IDS_BTN_RESTORE_DEFAULTS", BottomRight(124, 158));
  AddButton(kScanAreas, areas_apply_, kIdAreasApply, u"IDS_BTN_APPLY", BottomRight(0, 112));
}

void SettingsScreen::BuildExclusions(int top) {
  const int right = Width() - kRightMargin;
  AddLabel(kExclusions, u"IDS_ST_EXCLUDE_LST_HEAD", Rect(kLeft, top, right, top + 18));
  exclusion_list_.Create(hwnd_, kIdExclusionList, Rect(kLeft, top + 22, right, top + 250), font_, LVS_NOCOLUMNHEADER);
  exclusion_list_.AddColumn(0, u" ", exclusion_list_.ClientRect().right - ::GetSystemMetrics(SM_CXVSCROLL));
  Track(kExclusions, exclusion_list_.hwnd());
  AddButton(kExclusions, add_entry_, kIdAddEntry, u"IDS_BTN_ADDENTRY", Rect(kLeft, top + 258, kLeft + 130, top + 288));
  AddButton(kExclusions, delete_entry_, kIdDeleteEntry, u"IDS_BTN_DELETE_ENTRY",
            Rect(kLeft + 138, top + 258, kLeft + 268, top + 288));
  AddButton(kExclusions, skip_media_, kIdSkipMedia, u"IDS_CHK_SKIP_ERR_MEDIA", Rect(kLeft, top + 304, right, top + 328),
            BS_CHECKBOX);
  AddButton(kExclusions, skip_empty_, kIdSkipEmpty, u"IDS_CHK_SKIP_EMPTY_KEYS",
            Rect(kLeft, top + 330, right, top + 354), BS_CHECKBOX);
}

void SettingsScreen::BuildSchedule(int top) {
  const int right = Width() - kRightMargin;
  AddLabel(kSchedule, u"IDS_ST_SCHEDULE_HEAD", Rect(kLeft, top, right, top + 18));
  const TextView kinds[4] = {u"IDS_RAD_RUN_ONCE", u"IDS_RAD_EVERY_DAY", u"IDS_RAD_EVERY_WEEK",
                             u"IDS_RAD_DO_NO_SCHEDULE"};
  for (int k = 0; k < 4; ++k) {
    const int y = top + 26 + k * 26;
    AddButton(kSchedule, kinds_[k], kIdKind0 + k, kinds[k], Rect(kLeft + 8, y, kLeft + 290, y + 24),
              BS_AUTORADIOBUTTON | (k == 0 ? WS_GROUP : 0));
  }
  const int x = kLeft + 310;
  AddLabel(kSchedule, u"IDS_ST_START_DATE", Rect(x, top + 30, x + 96, top + 48));
  date_.Create(hwnd_, kIdDate, Rect(x + 100, top + 26, right, top + 52), font_, DTS_SHORTDATEFORMAT);
  Track(kSchedule, date_.hwnd());
  AddLabel(kSchedule, u"IDS_ST_START_TIME", Rect(x, top + 64, x + 96, top + 82));
  time_.Create(hwnd_, kIdTime, Rect(x + 100, top + 60, right, top + 86), font_, DTS_TIMEFORMAT | DTS_UPDOWN);
  Track(kSchedule, time_.hwnd());
  AddLabel(kSchedule, u"IDS_ST_REPEAT_EVERY", Rect(x, top + 98, right, top + 116));
  repeat_.Create(hwnd_, kIdRepeat, Rect(x, top + 118, x + 64, top + 142), font_, ES_NUMBER | ES_AUTOHSCROLL);
  ::SendMessageW(repeat_.hwnd(), EM_SETLIMITTEXT, 12, 0);
  Track(kSchedule, repeat_.hwnd());
  AddLabel(kSchedule, u"IDS_ST_SCHEDULE_DAYS", Rect(kLeft, top + 160, right, top + 178));
  const TextView days[7] = {u"IDS_CHK_MON", u"IDS_CHK_TUE", u"IDS_CHK_WED", u"IDS_CHK_THR",
                            u"IDS_CHK_FRI", u"IDS_CHK_SAT", u"IDS_CHK_SUN"};
  const int day_width = (right - kLeft) / 4;
  for (int d = 0; d < 7; ++d) {
    const int left = kLeft + 8 + (d % 4) * day_width, y = top + 182 + (d / 4) * 26;
    AddButton(kSchedule, days_[d], kIdDay0 + d, days[d], Rect(left, y, left + day_width - 8, y + 24),
              BS_AUTOCHECKBOX);
  }
  // The label is as wide as its text in this language, at least 130 px.
  const int label_right = kLeft + std::max(130, TextWidth(hwnd_, bold_, Str(u"IDS_ST_SCHEDULED_AT")) + 4);
  AddLabel(kSchedule, u"IDS_ST_SCHEDULED_AT", Rect(kLeft, top + 250, label_right, top + 268), bold_);
  scheduled_at_.Create(hwnd_, schedule_->ScheduledAtText(), Rect(label_right + 4, top + 250, right, top + 286), font_);
  schedule_->show_scheduled_at = [this](TextView text) { scheduled_at_.SetText(text); };
  Track(kSchedule, scheduled_at_.hwnd());
  AddButton(kSchedule, schedule_apply_, kIdScheduleApply, u"IDS_BTN_APPLY", BottomRight(0, 112));
}

void SettingsScreen::ShowPage(Page page) {
  page_ = page;
  for (int p = 0; p < kPageCount; ++p) {
    tabs_[p].SetCheck(p == page);
    for (HWND w : pages_[p]) ::ShowWindow(w, p == page ? SW_SHOW : SW_HIDE);
  }
}

void SettingsScreen::Reset() {
  if (general_->Init() != err::kSuccess) ctx_.app->log().LogLine(u"Settings: the start-at-logon entry is unchanged");
  LoadGeneral();
  areas_->Load();
  ShowAreaBoxes();
  ShowExclusions();
  LoadSchedule(false);
}

void SettingsScreen::LoadGeneral() {
  const GeneralPageValues v = general_->Current();
  language_.Select(v.language);
  close_action_.Select(v.close_action);
  start_at_logon_.SetCheck(v.start_at_logon);
  general_apply_.Enable(false);
}

void SettingsScreen::ApplyGeneral() {
  general_apply_.Enable(false);
  const int language = language_.Selected();
  const GeneralPageValues v{language < 0 ? ctx_.app->language_index() : language,
                            close_action_.Selected() == 0 ? 0 : 1, start_at_logon_.Checked()};
  if (general_->Apply(v) == LanguageChangeResult::kRestarting && ctx_.end_process) ctx_.end_process();
  LoadGeneral();
}

void SettingsScreen::ShowAreaBoxes() {
  for (int i = 0; i < kAreaCount; ++i) area_boxes_[i].SetCheck(areas_->area(i));
  for (int g = 0; g < 4; ++g) {
    const GroupCheck c = areas_->group(g + 1);
    group_boxes_[g].SetCheckState(c == GroupCheck::kAll    ? BST_CHECKED
                                  : c == GroupCheck::kSome ? BST_INDETERMINATE
                                                           : BST_UNCHECKED);
  }
  areas_apply_.Enable(areas_->apply_enabled());
}

void SettingsScreen::ShowExclusions() {
  std::vector<std::vector<Text>> rows;
  for (const Text& r : exclusions_->rows()) rows.push_back({r});
  const int selected = exclusions_->selected();  // refilling the list clears it
  exclusion_list_.SetRows(rows);
  exclusions_->Select(selected);
  exclusion_list_.Select(exclusions_->selected());
  skip_media_.SetCheck(exclusions_->skip_removable_media());
  skip_empty_.SetCheck(exclusions_->skip_empty_keys());
}

void SettingsScreen::AddExclusion() {
  AddDialogState state{exclusions_.get(), &prompts_, [this](TextView key) { return Str(key); }};
  ::DialogBoxParamW(ctx_.instance, MAKEINTRESOURCEW(IDD_EXCLUDE_ADD), ctx_.main, &AddExclusionProc,
                    reinterpret_cast<LPARAM>(&state));
  prompts_.set_owner(ctx_.main);
  ShowExclusions();
}

int SettingsScreen::ScheduleKind() const {
  for (int k = 0; k < 4; ++k)
    if (kinds_[k].Checked()) return k;
  return static_cast<int>(hs::ScheduleKind::kNone);
}

void SettingsScreen::ScheduleKindChanged() {
  const int kind = ScheduleKind();
  date_.Enable(kind == 0);
  time_.Enable(kind <= 2);
  repeat_.Enable(kind == 1 || kind == 2);
  for (const Button& d : days_) d.Enable(kind == 2);
}

void SettingsScreen::LoadSchedule(bool stored_start) {
  const ScheduleValues v = ReadScheduleValues(env_->store);
  const int kind = v.kind <= 3 ? static_cast<int>(v.kind) : 3;
  for (int k = 0; k < 4; ++k) kinds_[k].SetCheck(k == kind);
  for (int d = 0; d < 7; ++d) days_[d].SetCheck(v.days[static_cast<std::size_t>(d)]);
  SYSTEMTIME start{};
  if (!stored_start || !ParseStoredStart(v.date, v.time, &start)) ::GetLocalTime(&start);
  date_.Set(start);
  time_.Set(start);
  repeat_.SetText(u"1");
  scheduled_at_.SetText(schedule_->ScheduledAtText());
  ScheduleKindChanged();
  schedule_apply_.Enable(false);
}

void SettingsScreen::ApplySchedule() {
  schedule_apply_.Enable(false);
  SYSTEMTIME start = date_.Get();
  const SYSTEMTIME at = time_.Get();
  start.wHour = at.wHour;
  start.wMinute = at.wMinute;
  start.wSecond = 0;
  start.wMilliseconds = 0;
  ScheduleValues v;
  v.kind = static_cast<std::uint32_t>(ScheduleKind());
  for (int d = 0; d < 7; ++d) v.days[static_cast<std::size_t>(d)] = days_[d].Checked();
  v.date = LocaleText(true, start);
  v.time = LocaleText(false, start);
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  if (schedule_->Apply(v, FromSystemTime(start), FromSystemTime(now), repeat_.GetText()) ==
          ScheduleApplyResult::kRestarting &&
      ctx_.end_process) {
    ctx_.end_process();
    return;
  }
  scheduled_at_.SetText(schedule_->ScheduledAtText());
}

void SettingsScreen::OnCommand(int id, int code) {
  if (id >= kIdTab0 && id < kIdTab0 + static_cast<int>(kPageCount)) {
    if (code == BN_CLICKED) ShowPage(static_cast<Page>(id - kIdTab0));
    return;
  }
  if ((id == kIdLanguage || id == kIdCloseAction) && code == CBN_SELCHANGE) {
    general_apply_.Enable(true);
    return;
  }
  if (id == kIdRepeat) {
    if (code == EN_CHANGE) schedule_apply_.Enable(true);
    return;
  }
  if (code != BN_CLICKED) return;
  if (id >= kIdGroup0 && id < kIdGroup0 + 4) {
    areas_->ClickGroup(id - kIdGroup0 + 1);
    ShowAreaBoxes();
  } else if (id >= kIdArea0 && id < kIdArea0 + kAreaCount) {
    areas_->SetArea(id - kIdArea0, !areas_->area(id - kIdArea0));
    ShowAreaBoxes();
  } else if (id >= kIdKind0 && id < kIdKind0 + 4) {
    ScheduleKindChanged();
    schedule_apply_.Enable(true);
  } else if (id >= kIdDay0 && id < kIdDay0 + 7) {
    schedule_apply_.Enable(true);
  } else {
    switch (id) {
      case kIdStartAtLogon: general_apply_.Enable(true); break;
      case kIdGeneralApply: ApplyGeneral(); break;
      case kIdAreasApply:
        (void)areas_->Apply();
        ShowAreaBoxes();
        break;
      case kIdAreasDefaults:
        (void)areas_->RestoreDefaults();
        ShowAreaBoxes();
        break;
      case kIdAddEntry: AddExclusion(); break;
      case kIdDeleteEntry:
        (void)exclusions_->Delete();
        ShowExclusions();
        break;
      case kIdSkipMedia:
        (void)exclusions_->ToggleSkipRemovableMedia();
        ShowExclusions();
        break;
      case kIdSkipEmpty:
        (void)exclusions_->ToggleSkipEmptyKeys();
        ShowExclusions();
        break;
      case kIdScheduleApply: ApplySchedule(); break;
      default: break;
    }
  }
}

void SettingsScreen::OnNotify(const NMHDR& n) {
  if ((n.idFrom == static_cast<UINT_PTR>(kIdDate) || n.idFrom == static_cast<UINT_PTR>(kIdTime)) &&
      n.code == DTN_DATETIMECHANGE) {
    schedule_apply_.Enable(true);
  } else if (n.idFrom == static_cast<UINT_PTR>(kIdExclusionList) && n.code == LVN_ITEMCHANGED) {
    exclusions_->Select(exclusion_list_.Selected());
  }
}

void SettingsScreen::OnScreenMessage(int id) {
  if (id != dlg::kSettingsApplySchedule) return;
  ShowPage(kSchedule);
  LoadSchedule(true);
  ApplySchedule();
}

}  // namespace hs::ui
