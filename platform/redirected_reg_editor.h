// A RegEditor for files that a RedirectedFileSystem shows elsewhere: the
// editor is another process, so it is handed the path where the file
// really lies.
#pragma once

#include "platform/redirected_file_system.h"
#include "platform/reg_editor.h"

namespace hs {

class RedirectedRegEditor final : public RegEditor {
 public:
  // Both must outlive this object.
  RedirectedRegEditor(RegEditor& target, const RedirectedFileSystem& fs) : target_(target), fs_(fs) {}
  RegImportOutcome Import(TextView path, bool is64) override {
    Text real;
    bool redirected = false;
    if (fs_.Map(path, &real, &redirected) != err::kSuccess) return {};
    return target_.Import(real, is64);
  }

 private:
  RegEditor& target_;
  const RedirectedFileSystem& fs_;
};

}  // namespace hs
