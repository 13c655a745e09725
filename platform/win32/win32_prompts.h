// Prompts as MessageBoxW over an owner window. See platform/prompts.h.
#pragma once

#include <utility>

#include "platform/prompts.h"

namespace hs {

class Win32Prompts final : public Prompts {
 public:
  // owner_hwnd may be null (no owner).
  Win32Prompts(void* owner_hwnd, Text caption) : owner_(owner_hwnd), caption_(std::move(caption)) {}
  // A box that cannot be shown answers Ok, or No for a Yes/No question.
  PromptAnswer Ask(TextView text, PromptButtons buttons, PromptIcon icon) override;

 private:
  void* owner_;
  Text caption_;
};

}  // namespace hs
