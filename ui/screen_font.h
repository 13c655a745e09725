// The screens' fonts follow the language record of the process: its face
// and character set, and its height scaled from each element's design size
// (ScreenFontHeight). The top-level windows carry their record in a window
// property; child windows and paint code find it through their root.
#pragma once

#include <windows.h>

#include "app/strings.h"

namespace hs::ui {

// Marks `top` (a top-level window) as drawn in `language` (kept, not owned).
void SetWindowLanguage(HWND top, const Language& language);
// The record of `hwnd`'s root window; English when none was set.
const Language& WindowLanguage(HWND hwnd);

// A font of the record: `design_height` pixels in English. The caller
// deletes it.
HFONT CreateScreenFont(const Language& language, int design_height, int weight, bool underline = false);

// Gives a dialog made from a template, and each of its children, the font of
// its window's record at `design_height` (the templates' 9 points);
// the font is deleted with the dialog. Call from WM_INITDIALOG.
void ApplyDialogFont(HWND dialog, int design_height = 12);

}  // namespace hs::ui
