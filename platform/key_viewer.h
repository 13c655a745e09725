// Shows a registry key, and one of its values, in the system registry editor.
// Adapters: Win32KeyViewer (platform/win32), which drives regedit.exe's
// window; RecordingKeyViewer below for systems without one (and tests): it
// keeps the requests. The caller checks first that the key exists.
// User-interface thread only.
#pragma once

#include <vector>

#include "platform/text.h"

namespace hs {

class KeyViewer {
 public:
  virtual ~KeyViewer() = default;
  // `key_path` is "ROOT\sub\key"; `is64` names the 64-bit view on 64-bit
  // Windows. False after the message "Can't run Regedit." when the editor's
  // window did not appear.
  [[nodiscard]] virtual bool ShowKey(TextView key_path, TextView value_name, bool is64) = 0;
};

class RecordingKeyViewer final : public KeyViewer {
 public:
  struct Request {
    Text key_path;
    Text value_name;
    bool is64 = false;
  };
  [[nodiscard]] bool ShowKey(TextView key_path, TextView value_name, bool is64) override {
    shown.push_back({Text(key_path), Text(value_name), is64});
    return answer;
  }

  std::vector<Request> shown;
  bool answer = true;
};

}  // namespace hs
