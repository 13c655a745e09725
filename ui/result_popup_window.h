// The pop-up of the unattended runs (app/result_popup.h) as a window: a
// small layered, topmost tool window above the notification area, with a
// close box in its top-right corner and a link area below its title strip.
// It runs its own message loop on a thread of its own; its owner learns of
// a click and of the close through posted messages. Closing saves the
// results on the pop-up's thread: the owner must not change them meanwhile
// (it is hidden and idle while the pop-up shows).
//
// Open, Close and the destructor on the owner's thread. Nothing leaves the
// thread or the window procedure.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>

#include "app/result_popup.h"

namespace hs::ui {

// Posted to the owner: wParam the PopupAction of a click on the link area.
inline constexpr UINT kMsgPopupClick = WM_APP + 6;
// Posted to the owner once the pop-up has closed (after the click's).
inline constexpr UINT kMsgPopupClosed = WM_APP + 7;
inline constexpr wchar_t kPopupWindowClass[] = L"HiveSweepPopup";

class ResultPopupWindow {
 public:
  ResultPopupWindow() = default;
  ~ResultPopupWindow() { Close(); }
  ResultPopupWindow(const ResultPopupWindow&) = delete;
  ResultPopupWindow& operator=(const ResultPopupWindow&) = delete;

  // Shows `content` under `title`; false when a pop-up is open or the
  // thread could not start. `log` and `save_results` must outlive it.
  bool Open(HINSTANCE instance, HWND owner, TextView title, PopupContent content, Log& log,
            std::function<void()> save_results);
  // Closes an open pop-up (as its close box does) and waits for its thread.
  void Close();
  // After kMsgPopupClosed: waits for the thread's last steps.
  void Join();
  bool open() const { return open_.load(); }

 private:
  struct State;
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void Run(HINSTANCE instance, State* state);

  std::thread thread_;
  std::atomic<bool> open_{false};
  std::atomic<HWND> hwnd_{nullptr};
};

}  // namespace hs::ui
