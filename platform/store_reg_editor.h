// The portable registry editor: reads a ".reg" file through a FileSystem,
// parses it strictly and applies it to a Registry (on 64-bit Windows in the
// 64-bit view when is64, else the 32-bit view). Exit status 0 when the whole
// file was applied; 1 when it could not be read or parsed (nothing applied)
// or an entry was refused (entries before it stay applied, as with the
// system editor). Each failure is logged with its file and line.
//
// As a WholeRegistryEditor it exports the roots that hold data (HKLM, HKCU,
// HKU: the classes root and the current-configuration root are views of
// them, and importing a view writes through to where its keys lie), in the
// lossless form, and imports like Import in the 64-bit view.
#pragma once

#include "platform/file_system.h"
#include "platform/log.h"
#include "platform/reg_editor.h"
#include "platform/whole_registry_editor.h"
#include "platform/registry.h"

namespace hs {

class StoreRegEditor final : public RegEditor, public WholeRegistryEditor {
 public:
  StoreRegEditor(Registry& registry, FileSystem& fs, bool windows64, Log& log)
      : registry_(registry), fs_(fs), windows64_(windows64), log_(log) {}
  RegImportOutcome Import(TextView path, bool is64) override;
  RegImportOutcome ExportAll(TextView path, std::uint32_t wait_ms) override;
  RegImportOutcome ImportAll(TextView path, std::uint32_t wait_ms) override;

 private:
  Registry& registry_;
  FileSystem& fs_;
  bool windows64_;
  Log& log_;
};

}  // namespace hs
