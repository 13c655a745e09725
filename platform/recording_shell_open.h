// A ShellOpen that opens nothing: it keeps the paths it was asked to open and
// answers `answer`. One thread at a time.
#pragma once

#include <vector>

#include "platform/shell_open.h"

namespace hs {

class RecordingShellOpen final : public ShellOpen {
 public:
  bool Open(TextView path) override {
    opened.emplace_back(path);
    return answer;
  }

  std::vector<Text> opened;
  bool answer = true;
};

}  // namespace hs
