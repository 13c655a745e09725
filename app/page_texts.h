// The HTML pages of the main window (app/pages/) and the texts each one is
// given when it has loaded: setlanguage, then LoadStrings (the results page:
// LoadStringsDiv) with the texts of its keys in the order listed here.
//
// Each page names the same keys in the same order in its body's data-keys
// attribute; a key is also the id of the element that shows its text (a
// page may keep a text for its script instead, e.g. status lines). The
// language file defines every key (app/page_texts_test.cpp checks both).
#pragma once

#include <span>

#include "platform/text.h"

namespace hs {

// The browser's detailed problem list; no screen of the window.
inline constexpr int kPageProblemDetails = 460;

struct PageTexts {
  int page;                         // page number as CHVXDlg::OnPageLoaded names it
  const char* file;                 // file name in app/pages/
  const char16_t* load_function;    // LoadStrings or LoadStringsDiv
  std::span<const char16_t* const> keys;
};

// Every page, home first; null for an unknown page number.
std::span<const PageTexts> AllPageTexts();
const PageTexts* FindPageTexts(int page);
// The page shown for a child screen (105-111) or the list-loading page
// (455); null when the screen is not an HTML page.
const PageTexts* PageOfScreen(int screen);

}  // namespace hs
