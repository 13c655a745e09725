#include "app/elevation.h"

namespace hs {

TextView ElevationSwitch(ElevatedAction action) {
  switch (action) {
    case ElevatedAction::kFullBackup: return u"hvxvistafullbackup";
    case ElevatedAction::kFullRestore: return u"hvxvistafullbackuprestore";
    case ElevatedAction::kPartialRestore: return u"hvxvistapartialbackuprestore";
  }
  return u"";
}

Elevation ApplyElevationRule(SystemInfo& system, SelfLauncher& launcher, Log& log, ElevatedAction action,
                             TextView target) {
  if (system.MajorVersion() < 6 || system.IsAdministrator()) return Elevation::kRunHere;
  Text argument(ElevationSwitch(action));
  // A path holding a double quote cannot be passed whole; the restart then
  // only opens the screen.
  if (!target.empty() && target.find(u'"') == TextView::npos) argument += u" \"" + Text(target) + u"\"";
  if (launcher.StartSelf(LaunchVerb::kRunAs, argument) != err::kSuccess) return Elevation::kRefused;
  log.LogLine(u"ExitProcess : Elevated now restarting");
  return Elevation::kRestarting;
}

}  // namespace hs
