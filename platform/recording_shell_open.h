// A ShellOpen that opens nothing: it keeps the paths it was asked to open or
// to show the properties of, and answers `answer`. One thread at a time.
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
  bool ShowProperties(TextView path) override {
    properties.emplace_back(path);
    return answer;
  }

  std::vector<Text> opened;
  std::vector<Text> properties;
  bool answer = true;
};

}  // namespace hs
