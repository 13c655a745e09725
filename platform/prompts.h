// Prompts port: a message box over the program's window, with the
// application title as its caption. The Win32 adapter shows MessageBoxW; the
// front end prints and answers Yes; tests record and answer as told.
// Called on the user-interface thread.
#pragma once

#include "platform/text.h"

namespace hs {

// kYesNoDefaultNo: Yes and No with No as the default button.
enum class PromptButtons { kOk, kYesNo, kYesNoDefaultNo };
enum class PromptIcon { kNone, kInformation, kQuestion, kWarning, kError };
enum class PromptAnswer { kOk, kYes, kNo };

class Prompts {
 public:
  virtual ~Prompts() = default;
  virtual PromptAnswer Ask(TextView text, PromptButtons buttons, PromptIcon icon) = 0;
};

}  // namespace hs
