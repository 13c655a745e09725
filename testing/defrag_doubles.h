// Doubles for the defragmentation tests: a progress dialog that shows
// nothing, and prompts that record what was asked and answer as told.
#pragma once

#include <vector>

#include "defrag/hive_analysis.h"
#include "platform/prompts.h"

namespace hs::testing {

class NoProgress final : public AnalysisProgress {
 public:
  void SetRange(std::uint32_t) override {}
  void SetPosition(std::uint32_t) override {}
  void SetText(TextView) override {}
};

// Yes/No questions get `answer`; OK boxes get OK.
class ScriptedPrompts final : public Prompts {
 public:
  PromptAnswer Ask(TextView text, PromptButtons buttons, PromptIcon icon) override {
    asked.emplace_back(text);
    icons.push_back(icon);
    return buttons == PromptButtons::kOk ? PromptAnswer::kOk : answer;
  }
  PromptAnswer answer = PromptAnswer::kNo;
  std::vector<Text> asked;
  std::vector<PromptIcon> icons;
};

}  // namespace hs::testing
