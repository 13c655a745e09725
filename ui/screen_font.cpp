#include "ui/screen_font.h"

#include <commctrl.h>

namespace hs::ui {
namespace {

constexpr wchar_t kLanguageProperty[] = L"HiveSweep.Language";

constexpr UINT_PTR kFontSubclass = 0x4653;

BOOL CALLBACK SetFontProc(HWND child, LPARAM font) {
  ::SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
  return TRUE;
}

// Deletes the dialog's font once the dialog and its children are gone.
LRESULT CALLBACK FontOwnerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR font) {
  if (msg == WM_NCDESTROY) {
    ::RemoveWindowSubclass(hwnd, &FontOwnerProc, id);
    const LRESULT r = ::DefSubclassProc(hwnd, msg, wp, lp);
    ::DeleteObject(reinterpret_cast<HFONT>(font));
    return r;
  }
  return ::DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace

void SetWindowLanguage(HWND top, const Language& language) {
  ::SetPropW(top, kLanguageProperty, const_cast<Language*>(&language));
}

const Language& WindowLanguage(HWND hwnd) {
  HWND root = hwnd ? ::GetAncestor(hwnd, GA_ROOT) : nullptr;
  if (root) {
    if (const auto* language = static_cast<const Language*>(::GetPropW(root, kLanguageProperty))) return *language;
    // A pop-up or dialog drawn for a window that knows its language.
    if (HWND owner = ::GetWindow(root, GW_OWNER)) {
      if (const auto* language = static_cast<const Language*>(::GetPropW(owner, kLanguageProperty))) return *language;
    }
  }
  return LanguageRecord(0);
}

HFONT CreateScreenFont(const Language& language, int design_height, int weight, bool underline) {
  LOGFONTW f{};
  f.lfHeight = -ScreenFontHeight(language, design_height);
  f.lfWeight = weight;
  f.lfUnderline = underline ? TRUE : FALSE;
  f.lfCharSet = static_cast<BYTE>(language.charset);
  f.lfQuality = CLEARTYPE_QUALITY;
  f.lfOutPrecision = OUT_TT_PRECIS;
  const wchar_t* face = reinterpret_cast<const wchar_t*>(language.font);
  wcsncpy(f.lfFaceName, face, LF_FACESIZE - 1);
  return ::CreateFontIndirectW(&f);
}

void ApplyDialogFont(HWND dialog, int design_height) {
  if (!dialog) return;
  HFONT font = CreateScreenFont(WindowLanguage(dialog), design_height, FW_NORMAL);
  if (!font) return;
  if (!::SetWindowSubclass(dialog, &FontOwnerProc, kFontSubclass, reinterpret_cast<DWORD_PTR>(font))) {
    ::DeleteObject(font);
    return;
  }
  ::SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  ::EnumChildWindows(dialog, &SetFontProc, reinterpret_cast<LPARAM>(font));
}

}  // namespace hs::ui
