// The elevation rule of the backup actions: on Windows with major version 6 or later
// a user who is not an administrator gets the program started again through
// the shell with the verb "runas" and the action's switch; this process then
// ends with exit code 0. The switch's restart performs the action at start
// (app/backup_screen.h, RunStartupBackupAction).
#pragma once

#include "platform/log.h"
#include "platform/self_launcher.h"
#include "platform/system_info.h"

namespace hs {

enum class ElevatedAction { kFullBackup, kFullRestore, kPartialRestore };
enum class Elevation {
  kRunHere,     // an administrator, or Windows before version 6: go on
  kRestarting,  // the elevated copy started: end this process with 0
  kRefused,     // it could not be started: show IDS_STR_LACK_OF_PERMISSION
};

// "hvxvistafullbackup", "hvxvistafullbackuprestore", "hvxvistapartialbackuprestore".
TextView ElevationSwitch(ElevatedAction action);

// `target` (the chosen backup file or undo record of a restore) follows the
// switch, in double quotes, so that the elevated copy restores what was
// chosen. Logs "ExitProcess : Elevated now restarting" for kRestarting.
[[nodiscard]] Elevation ApplyElevationRule(SystemInfo& system, SelfLauncher& launcher, Log& log,
                                           ElevatedAction action, TextView target = {});

}  // namespace hs
