// A Prompts that shows nothing: it keeps each text and answers `answer` to a
// Yes/No question, OK to anything else.
#pragma once

#include <vector>

#include "platform/prompts.h"

namespace hs::testing {

class RecordingPrompts final : public Prompts {
 public:
  explicit RecordingPrompts(PromptAnswer answer_to_questions = PromptAnswer::kYes) : answer(answer_to_questions) {}
  PromptAnswer Ask(TextView text, PromptButtons buttons, PromptIcon icon) override {
    shown.emplace_back(text);
    icons.push_back(icon);
    return buttons == PromptButtons::kOk ? PromptAnswer::kOk : answer;
  }
  PromptAnswer answer;
  std::vector<Text> shown;
  std::vector<PromptIcon> icons;
};

}  // namespace hs::testing
