// The bridge between the main window's model and pages shown in a desktop
// browser: the page the browser is to show, and per page the script calls
// queued for it. The page-side shim (app/pages/hs.js) polls for both.
//
// Safe from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/screen_ports.h"

namespace hs {

struct ScriptCall {
  std::string function;           // UTF-8
  std::vector<std::string> args;  // UTF-8
  bool for_next = false;          // queued while its page was not shown
};

class PageBridge {
 public:
  // The list-loading page shows at least this long before the page it
  // covers comes back, so its texts can be read.
  static constexpr std::chrono::milliseconds kMinLoadingShow{1000};

  explicit PageBridge(std::string first_page);

  // Queues a call for `page` (a file name of app/pages).
  void Queue(const std::string& page, TextView function, const std::vector<Text>& args);
  // Switches the browser to `page`. A document of the page it leaves still
  // gets the calls queued before the switch (it may not have loaded yet);
  // calls queued after it wait for the page's next document.
  void ShowPage(const std::string& page);
  // Switches to `page` once the page now shown has shown kMinLoadingShow
  // and taken its calls.
  void ShowPageAfterMinimum(const std::string& page);
  std::string CurrentPage() const;
  // While set, calls for `page` answer the document that has just loaded
  // it, even when the browser has moved on, and go before the calls that
  // were waiting for a document of the page (empty: none).
  void SetAnswering(const std::string& page);

  struct Poll {
    std::string navigate;  // non-empty: the document should load this page
    std::vector<ScriptCall> calls;
    bool closed = false;
  };
  // What the document of `page` is to do: load another page, or run these
  // calls. Waits up to `wait` while there is nothing.
  Poll Take(const std::string& page, std::chrono::milliseconds wait);

  // Navigation buttons of the window (greyed while a scan runs).
  void SetNavigationEnabled(bool enabled);
  bool navigation_enabled() const;

  // Wakes every poll; later polls return at once, closed.
  void Close();

 private:
  using SteadyTime = std::chrono::steady_clock::time_point;
  void SwitchLocked(const std::string& page);

  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::string current_;
  SteadyTime shown_at_;
  std::string return_to_;  // ShowPageAfterMinimum's page
  std::string answering_;
  std::map<std::string, std::deque<ScriptCall>> queues_;
  bool nav_enabled_ = true;
  bool closed_ = false;
};

// A PageHost whose calls go into the bridge's queue of one page. Calls
// never fail: the page takes them when it polls.
class BridgePageHost final : public PageHost {
 public:
  BridgePageHost(PageBridge& bridge, std::string page) : bridge_(bridge), page_(std::move(page)) {}
  [[nodiscard]] bool CallScript(TextView function, const std::vector<Text>& args) override;
  Text LastError() const override { return Text(); }

 private:
  PageBridge& bridge_;
  std::string page_;
};

// The JSON answer to a poll: {"navigate":..., "calls":[[function, args...],...], "nav":bool, "closed":bool}.
// Strings are escaped so that the text can also stand inside HTML.
std::string PollJson(const PageBridge::Poll& poll, bool nav_enabled);
std::string JsonString(const std::string& utf8);

}  // namespace hs
