// Doubles for the defragmentation tests: a progress dialog that shows
// nothing (their prompts: testing/recording_prompts.h).
#pragma once

#include <vector>

#include "defrag/hive_analysis.h"
#include "platform/prompts.h"
#include "testing/recording_prompts.h"

namespace hs::testing {

class NoProgress final : public AnalysisProgress {
 public:
  void SetRange(std::uint32_t) override {}
  void SetPosition(std::uint32_t) override {}
  void SetText(TextView) override {}
};

}  // namespace hs::testing
