// One HTML page of the main window: the system's WebBrowser control hosted
// in a child window through a minimal OLE container, showing a page of the
// program's HTML resources. Script calls go through the document's script
// object; clicks on the document report the id of the clicked element (or of
// its nearest ancestor that has one).
//
// User-interface thread only. No method throws; callbacks that throw are
// caught at the COM boundary.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <functional>
#include <vector>

#include "app/screen_ports.h"
#include "ui/controls.h"

struct IWebBrowser2;
struct IOleObject;

namespace hs::ui {

class BrowserPage final : public PageHost {
 public:
  struct Events {
    // The top-level document finished loading (ok) or failed to (not ok).
    std::function<void(int page, bool ok)> loaded;
    std::function<void(int page, TextView element_id)> clicked;
  };

  BrowserPage(int page, Events events);
  ~BrowserPage() override;
  BrowserPage(const BrowserPage&) = delete;
  BrowserPage& operator=(const BrowserPage&) = delete;

  // Creates the page's child window and the browser in it, and navigates to
  // `url`. False when the browser could not be made or the navigation not
  // started (`loaded` is then reported as failed); the window still paints
  // `heading` on a plain background.
  bool Create(HWND parent, const RECT& r, TextView url, TextView heading);
  void Show(bool shown) const { window_.Show(shown); }
  bool Visible() const { return window_.Visible(); }
  HWND hwnd() const { return window_.hwnd(); }
  int page() const { return page_; }
  bool loaded() const { return loaded_; }

  // The window procedure of the pages' windows.
  static LRESULT CALLBACK PageWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  [[nodiscard]] bool CallScript(TextView function, const std::vector<Text>& args) override;
  Text LastError() const override { return error_; }

 private:
  class Site;
  class ClickSink;
  friend class Site;
  friend class ClickSink;

  void OnDocumentComplete(IDispatch* frame);
  void OnNavigateError(IDispatch* frame);
  void OnDocumentClick();
  void ReleaseBrowser();

  int page_;
  Events events_;
  Control window_;
  Site* site_ = nullptr;
  ClickSink* click_ = nullptr;
  IOleObject* ole_ = nullptr;
  IWebBrowser2* browser_ = nullptr;
  DWORD advise_cookie_ = 0;
  bool loaded_ = false;
  Text error_;
};

inline constexpr wchar_t kPageWindowClass[] = L"HiveSweepPage";
// Registers the plain window class the pages live in (once per process).
void RegisterPageWindowClass(HINSTANCE instance);

}  // namespace hs::ui
