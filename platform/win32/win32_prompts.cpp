#include "platform/win32/win32_prompts.h"

#include <windows.h>

#include <string>

namespace hs {

PromptAnswer Win32Prompts::Ask(TextView text, PromptButtons buttons, PromptIcon icon) {
  const bool yes_no = buttons != PromptButtons::kOk;
  try {
    UINT flags = yes_no ? MB_YESNO : MB_OK;
    if (buttons == PromptButtons::kYesNoDefaultNo) flags |= MB_DEFBUTTON2;
    switch (icon) {
      case PromptIcon::kNone: break;
      case PromptIcon::kInformation: flags |= MB_ICONINFORMATION; break;
      case PromptIcon::kQuestion: flags |= MB_ICONQUESTION; break;
      case PromptIcon::kWarning: flags |= MB_ICONWARNING; break;
      case PromptIcon::kError: flags |= MB_ICONERROR; break;
    }
    const std::wstring body(text.begin(), text.end());
    const std::wstring caption(caption_.begin(), caption_.end());
    const int answer = MessageBoxW(static_cast<HWND>(owner_), body.c_str(), caption.c_str(), flags);
    if (!yes_no) return PromptAnswer::kOk;
    return answer == IDYES ? PromptAnswer::kYes : PromptAnswer::kNo;
  } catch (...) {
    return yes_no ? PromptAnswer::kNo : PromptAnswer::kOk;
  }
}

}  // namespace hs
