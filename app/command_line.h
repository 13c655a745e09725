// The command line: only the first argument counts. It is normalised
// (backslashes, slashes and hyphens removed, trimmed, lower-cased), so
// "/SCAN", "-scan" and "scan" are one option.
#pragma once

#include <vector>

#include "platform/text.h"

namespace hs {

struct StartupFlags {
  bool already_running = false;
  bool show_main_window = false;
  bool unattended = false;        // scan, updatecheck: the main window stays hidden
  bool scan_now = false;          // scan
  bool update_check = false;      // updatecheck
  bool reminder = false;          // rem
  bool default_task = false;      // default
  bool after_compaction = false;  // startedafteroptimization
  bool silent_results = false;    // silentresults: end at once
  bool ppi_build = false;         // ppibuild: wait 30 minutes first
  // Elevated restarts; honoured only for an administrator.
  bool vista_scan = false;
  bool vista_defrag = false;
  bool vista_oneclick = false;
  bool vista_full_backup = false;
  bool vista_full_backup_restore = false;
  bool vista_partial_backup_restore = false;
  bool vista_schedule = false;
  // The second argument of a full or partial restore restart: the backup
  // file or undo record the user chose (empty: none given).
  Text backup_target;
};

// Waits of the options, in milliseconds.
inline constexpr std::uint32_t kPpiBuildWaitMs = 1800000;
inline constexpr std::uint32_t kReminderWaitMs = 124361;

Text NormalizeOption(TextView argument);

// Flags from the first argument (none: an interactive start; the second
// only names a restore's backup). Applies the
// administrator rule to the elevated-restart flags and the scan /
// silentresults / updatecheck rules.
StartupFlags ParseCommandLine(const std::vector<Text>& arguments, bool is_administrator);

}  // namespace hs
