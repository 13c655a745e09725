// Everything a scan or repair run reaches the outside world through: the
// ports, the lists that filter problems, the localised strings and the
// settings that steer the run. Owned by the application; the scan manager
// and its areas hold references. Ports must outlive the manager.
#pragma once

#include <cstdint>

#include "engine/area_table.h"
#include "engine/filter_lists.h"
#include "engine/problem.h"
#include "engine/registry_helpers.h"
#include "platform/key_protection.h"
#include "platform/log.h"
#include "platform/notifier.h"
#include "platform/system_info.h"
#include "platform/wow64.h"

namespace hs {

class FileReferences;
class OperationOwner;
class FileSystem;
class ShellFolders;
class ShellLinks;
class ShellPaths;

struct ScanContext {
  Registry& registry;
  Wow64& wow64;
  SystemInfo& system;
  KeyProtection& protection;
  Notifier& notifier;
  Log& log;
  const SafeListCheck* safe_lists = nullptr;  // none: nothing is safe
  KeyPathList* exclusions = nullptr;          // none: nothing excluded
  KeyPathList* temp_ignore = nullptr;
  StringLookup strings = [](TextView) { return Text(); };
  // File reference resolution and the shell paths behind it; none: every
  // reference counts as valid.
  FileReferences* file_refs = nullptr;
  ShellPaths* shell = nullptr;
  // The user's special folders (also the fonts and Windows folders), the
  // files in them and shortcut files (the shortcut and Start menu areas);
  // any of them none: those areas find no folders and read no shortcuts.
  ShellFolders* folders = nullptr;
  FileSystem* fs = nullptr;
  ShellLinks* links = nullptr;
  // Settings: the ticked scan areas (SelectedCategories) and whether empty
  // keys are skipped (SetChkSkipEmptyKeys).
  std::uint32_t selected_categories = kAllAreasMask;
  bool skip_empty_keys = true;
  // The one worker that scans, repairs and undoes; none: the scan manager
  // keeps its own (then only its scans and repairs exclude each other).
  OperationOwner* owner = nullptr;
};

}  // namespace hs
