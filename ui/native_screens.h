// The main window's native screens: backup (command 214) and settings
// (command 256, four pages), the backup progress dialog and the exclusion
// add dialog. They draw the models of app/backup_catalogue.h and
// app/settings_pages.h and forward their controls' actions to them.
//
// User-interface thread only; no window procedure lets an exception out.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

#include "app/backup_catalogue.h"
#include "app/hvx_app.h"
#include "app/settings_pages.h"
#include "ui/screen_controls.h"

namespace hs::ui {

// What the screens share with the main window.
struct ScreenContext {
  HINSTANCE instance = nullptr;
  HWND main = nullptr;  // owner of their dialogs and message boxes
  CHVXApp* app = nullptr;
  // Ends the process at once with exit code 0 (an elevated copy or the
  // new language's copy takes over).
  std::function<void()> end_process;
};

// Prompts whose owner window can change while a dialog of a screen is
// open, so a message box never re-enables a window a modal dialog disabled.
class OwnedPrompts final : public Prompts {
 public:
  OwnedPrompts(HWND owner, Text caption) : owner_(owner), caption_(std::move(caption)) {}
  PromptAnswer Ask(TextView text, PromptButtons buttons, PromptIcon icon) override;
  HWND owner() const { return owner_; }
  void set_owner(HWND owner) { owner_ = owner; }

 private:
  HWND owner_;
  Text caption_;
};

// Runs `work` on a worker thread while a modal progress dialog (caption
// `title`, text `info`, a running bar, the system menu's Close disabled)
// shows over `owner`; returns when the work has ended. Without a dialog
// the work runs on this thread.
void RunWithProgressDialog(HINSTANCE instance, HWND owner, TextView title, TextView info,
                           const std::function<void()>& work);

// A child window of the main window's page area with a heading, the page
// colour behind its controls, and its controls' notifications routed to
// the subclass.
class NativeScreen : public Control {
 public:
  explicit NativeScreen(ScreenContext ctx) : ctx_(std::move(ctx)) {}
  virtual ~NativeScreen();
  NativeScreen(const NativeScreen&) = delete;
  NativeScreen& operator=(const NativeScreen&) = delete;
  bool Create(HWND parent, const RECT& area, TextView heading);

 protected:
  virtual void Build() = 0;
  virtual void OnCommand(int id, int code) = 0;
  virtual void OnNotify(const NMHDR&) {}
  virtual void OnMessage(UINT, WPARAM) {}
  Text Str(TextView key) const { return ctx_.app->strings().LookupString(key); }
  int Width() const { return ClientRect().right; }
  int Height() const { return ClientRect().bottom; }

  ScreenContext ctx_;
  HFONT font_ = nullptr;
  HFONT bold_ = nullptr;

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
  HBRUSH back_ = nullptr;
};

// Private messages a screen posts to itself.
inline constexpr UINT kMsgScreenAction = WM_APP + 40;

class BackupScreen final : public NativeScreen {
 public:
  using NativeScreen::NativeScreen;
  // On each showing: the lists are read again. The first showing after an
  // hvxvistafullbackuprestore restart restores the file it names.
  void Showing();
  // 260 takes a full backup; 245 restores the partial backup the restart
  // names.
  void OnScreenMessage(int id);

 private:
  void Build() override;
  void OnCommand(int id, int code) override;
  void OnNotify(const NMHDR& n) override;
  void OnMessage(UINT msg, WPARAM wp) override;
  bool EnsureSession();
  BackupListModel* Current();
  void ShowList(bool partial);
  void Refresh();
  void Act(ActionResult r);

  std::unique_ptr<CatalogueSession> session_;
  std::unique_ptr<FullBackupsModel> full_;
  std::unique_ptr<PartialBackupsModel> partial_;
  bool showing_partial_ = false;
  bool restart_done_ = false;
  Label header_, list_heading_;
  GroupBox backup_group_, restore_group_;
  Button take_full_, show_full_, show_partial_, restore_, delete_;
  ListView list_;
};

class SettingsScreen final : public NativeScreen {
 public:
  enum Page { kGeneral = 0, kScanAreas = 1, kExclusions = 2, kSchedule = 3, kPageCount = 4 };
  explicit SettingsScreen(ScreenContext ctx);
  ~SettingsScreen() override;
  // Command 256: every page reloads its values, the schedule's time is now,
  // the Apply buttons are disabled.
  void Reset();
  void ShowPage(Page page);
  // 254: the schedule page with its stored values, applied.
  void OnScreenMessage(int id);

 private:
  void Build() override;
  void OnCommand(int id, int code) override;
  void OnNotify(const NMHDR& n) override;
  void BuildGeneral(int top);
  void BuildScanAreas(int top);
  void BuildExclusions(int top);
  void BuildSchedule(int top);
  void Track(Page page, HWND control) { pages_[page].push_back(control); }
  void AddLabel(Page page, TextView key, const RECT& r, HFONT font = nullptr);
  void AddButton(Page page, Button& b, int id, TextView key, const RECT& r, DWORD style = BS_PUSHBUTTON,
                 HFONT font = nullptr);
  // A button of the bottom row, `from_right` pixels left of the right margin.
  RECT BottomRight(int from_right, int width) const;
  void LoadGeneral();
  void ApplyGeneral();
  void ShowAreaBoxes();
  void ShowExclusions();
  void AddExclusion();
  void LoadSchedule(bool stored_start);
  void ApplySchedule();
  void ScheduleKindChanged();
  int ScheduleKind() const;
  SettingsPagesEnv& Env() { return *env_; }

  OwnedPrompts prompts_;
  std::unique_ptr<SettingsPagesEnv> env_;
  std::unique_ptr<Scheduling> scheduling_;  // none: no task scheduler
  std::unique_ptr<SchedulerLogonTasks> logon_tasks_;
  std::unique_ptr<GeneralPageModel> general_;
  std::unique_ptr<ScanAreasPageModel> areas_;
  std::unique_ptr<ExclusionPageModel> exclusions_;
  std::unique_ptr<SchedulePageModel> schedule_;
  Page page_ = kGeneral;
  std::vector<HWND> pages_[kPageCount];
  Button tabs_[kPageCount];
  // General.
  ComboBox language_, close_action_;
  Button start_at_logon_, general_apply_;
  // Scan areas.
  Button group_boxes_[4];
  std::vector<Button> area_boxes_;
  Button areas_defaults_, areas_apply_;
  // Exclusions.
  ListView exclusion_list_;
  Button add_entry_, delete_entry_, skip_media_, skip_empty_;
  // Schedule.
  Button kinds_[4];
  DateTimePicker date_, time_;
  Edit repeat_;
  Button days_[7];
  Label scheduled_at_;
  Button schedule_apply_;
};

}  // namespace hs::ui
