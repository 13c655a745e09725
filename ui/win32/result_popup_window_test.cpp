// The pop-up window on its own thread: what its owner hears of a click on
// the link area and of the close, and one save per pop-up. Without a
// display the window cannot be made; the owner still hears of the close.
#include "ui/result_popup_window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "testing/memory_log.h"

namespace hs::ui {
namespace {

using Posted = std::vector<std::pair<UINT, WPARAM>>;

// A message-only window that collects what the pop-up posts to it.
class Owner {
 public:
  Owner() : hwnd_(::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr)) {}
  ~Owner() { ::DestroyWindow(hwnd_); }
  HWND hwnd() const { return hwnd_; }
  // Until the close arrives (or 10 s pass): the pop-up's messages in order.
  Posted UntilClosed() {
    Posted seen;
    for (int i = 0; i < 1000; ++i) {
      MSG m;
      while (::PeekMessageW(&m, hwnd_, kMsgPopupClick, kMsgPopupClosed, PM_REMOVE)) {
        seen.emplace_back(m.message, m.wParam);
        if (m.message == kMsgPopupClosed) return seen;
      }
      ::Sleep(10);
    }
    return seen;
  }

 private:
  HWND hwnd_;
};

// test_ui_display runs these on a virtual display and sets
// HS_REQUIRE_DISPLAY: there a missing window fails instead of skipping.
bool DisplayRequired() { return std::getenv("HS_REQUIRE_DISPLAY") != nullptr; }

HWND VisiblePopup() {
  for (int i = 0; i < 300; ++i, ::Sleep(10)) {
    HWND w = ::FindWindowW(kPopupWindowClass, nullptr);
    if (w && ::IsWindowVisible(w)) return w;
  }
  return nullptr;
}

PopupContent Found(int problems) {
  return ScanResultPopup(problems, false, [](TextView key) { return Text(key); });
}

TEST(ResultPopupWindow, ALinkClickIsPostedBeforeTheCloseAndSavesOnce) {
  Owner owner;
  ASSERT_TRUE(owner.hwnd());
  MemoryLog log;
  int saves = 0;
  ResultPopupWindow popup;
  ASSERT_TRUE(popup.Open(nullptr, owner.hwnd(), u"HiveSweep", Found(3), log, [&saves] { ++saves; }));
  HWND w = VisiblePopup();
  if (!w) {
    EXPECT_EQ((Posted{{kMsgPopupClosed, 0}}), owner.UntilClosed()) << "no window: the close is still posted";
    popup.Join();
    EXPECT_EQ(1, saves);
    if (DisplayRequired()) FAIL() << "the pop-up window did not show";
    GTEST_SKIP() << "no display for the pop-up window";
  }
  EXPECT_FALSE(popup.Open(nullptr, owner.hwnd(), u"HiveSweep", Found(1), log, nullptr)) << "one pop-up at a time";
  const LONG ex = ::GetWindowLongW(w, GWL_EXSTYLE);
  EXPECT_EQ(static_cast<LONG>(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST),
            ex & (WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST));
  wchar_t text[512] = {};
  ::GetWindowTextW(w, text, 512);
  EXPECT_STREQ(L"IDS_HVX_FOUND_NUM 3 IDS_ERRORS IDS_DURING_SCH_SCAN IDS_CLICK_TOVIEW_RESULTS", text);
  RECT r{};
  ::GetClientRect(w, &r);
  ::PostMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(30, r.bottom - 10));
  EXPECT_EQ((Posted{{kMsgPopupClick, static_cast<WPARAM>(PopupAction::kShowResults)}, {kMsgPopupClosed, 0}}),
            owner.UntilClosed());
  popup.Join();
  EXPECT_FALSE(popup.open());
  EXPECT_EQ(1, saves);
  EXPECT_EQ((std::vector<Text>{u"PostQuitMessage :CDLGPopupControl::Close()"}), log.Lines());
}

TEST(ResultPopupWindow, TheCloseBoxAndTheOwnersCloseEndItWithoutAClick) {
  Owner owner;
  MemoryLog log;
  int saves = 0;
  ResultPopupWindow popup;
  ASSERT_TRUE(popup.Open(nullptr, owner.hwnd(), u"HiveSweep", Found(0), log, [&saves] { ++saves; }));
  HWND w = VisiblePopup();
  if (!w && DisplayRequired()) FAIL() << "the pop-up window did not show";
  if (!w) GTEST_SKIP() << "no display for the pop-up window";
  RECT r{};
  ::GetClientRect(w, &r);
  ::PostMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(r.right - 14, 14));  // the close box
  EXPECT_EQ((Posted{{kMsgPopupClosed, 0}}), owner.UntilClosed());
  popup.Join();
  EXPECT_EQ(1, saves);

  // The owner's own Close (its window goes): the pop-up ends, saved once.
  ASSERT_TRUE(popup.Open(nullptr, owner.hwnd(), u"HiveSweep", Found(2), log, [&saves] { ++saves; }));
  popup.Close();
  EXPECT_FALSE(popup.open());
  EXPECT_EQ(2, saves);
  EXPECT_EQ((Posted{{kMsgPopupClosed, 0}}), owner.UntilClosed());
}

}  // namespace
}  // namespace hs::ui
