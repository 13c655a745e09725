// A RegEditor for files that a RedirectedFileSystem shows elsewhere: the
// editor is another process, so it is handed the path where the file
// really lies.
#pragma once

#include "platform/redirected_file_system.h"
#include "platform/reg_editor.h"
#include "platform/whole_registry_editor.h"

namespace hs {

class RedirectedRegEditor final : public RegEditor, public WholeRegistryEditor {
 public:
  // All must outlive this object.
  RedirectedRegEditor(RegEditor& target, WholeRegistryEditor& whole, const RedirectedFileSystem& fs)
      : target_(target), whole_(whole), fs_(fs) {}
  RegImportOutcome Import(TextView path, bool is64) override {
    Text real;
    return Map(path, &real) ? target_.Import(real, is64) : RegImportOutcome{};
  }
  RegImportOutcome ExportAll(TextView path, std::uint32_t wait_ms) override {
    Text real;
    return Map(path, &real) ? whole_.ExportAll(real, wait_ms) : RegImportOutcome{};
  }
  RegImportOutcome ImportAll(TextView path, std::uint32_t wait_ms) override {
    Text real;
    return Map(path, &real) ? whole_.ImportAll(real, wait_ms) : RegImportOutcome{};
  }

 private:
  bool Map(TextView path, Text* real) const {
    bool redirected = false;
    return fs_.Map(path, real, &redirected) == err::kSuccess;
  }

  RegEditor& target_;
  WholeRegistryEditor& whole_;
  const RedirectedFileSystem& fs_;
};

}  // namespace hs
