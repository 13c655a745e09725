#!/usr/bin/env bash
# The scheduled tasks of HiveSweep.exe under Wine's real task scheduler,
# installed into the test prefix's C:\Program Files\HiveSweep:
#  - the first start of a window with StartAutoTutorial = 1 writes FirstRun
#    and leaves the weekly update check ("-updatecheck") and the daily
#    reminder ("-default" at 15:01) as work items (.job files);
#  - the command-line front end reads them back (`schedule list`).
#   schedule-e2e.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/wine-checks.sh"
hs_in_xvfb "$0" "$build"
hs_prefix "$build" "$build/HiveSweep.exe" "$build/cli/hivesweep.exe" "$build/eng_hsw.ini"

key='HKCU\Software\Corvanta\HiveSweep'
jobs=$(hs_tasks_folder)
fail() { echo "FAILED: $*"; wineserver -k 2>/dev/null || true; exit 1; }
reg_value() {  # reg_value NAME: the data of a settings value, or nothing
  wine reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | awk -v n="$1" '$1==n {print $3}'
}

wine reg delete 'HKCU\Software\Corvanta' /f >/dev/null 2>&1 || true
rm -f "$jobs"/HiveSweep*.job
wine reg add "$key" /v StartAutoTutorial /t REG_DWORD /d 1 /f >/dev/null

wine "$exe" &
app=$!
for _ in $(seq 60); do
  [ "$(reg_value FirstRun)" = "0x1" ] && break
  sleep 1
done
[ "$(reg_value FirstRun)" = "0x1" ] || fail "no FirstRun after the first start"
sleep 2
kill "$app" 2>/dev/null || true
wineserver -k 2>/dev/null || true
wait "$app" 2>/dev/null || true

list=$(wine 'C:\Program Files\HiveSweep\hivesweep.exe' schedule list | tr -d '\r')
echo "$list"
exe_re='C:\\Program Files\\HiveSweep\\HiveSweep.exe'
echo "$list" | grep -q "^HiveSweep_UPDATES: \"$exe_re\" -updatecheck$" || fail "no update-check work item"
echo "$list" | grep -q "^HiveSweep_DEFAULT: \"$exe_re\" -default$" || fail "no reminder work item"
echo "$list" | grep -Eq "^    daily from [0-9-]+ 15:01, every 1 day$" || fail "the reminder is not daily at 15:01"
echo "$list" | grep -Eq "^    weekly from [0-9-]+ [0-9:]+, every 1 week on (Mon|Tue|Wed|Thu|Fri|Sat|Sun)$" ||
  fail "the update check is not weekly on one day"

# No work items are left behind for the other checks.
rm -f "$jobs"/HiveSweep*.job
wineserver -k 2>/dev/null || true
echo "schedule end-to-end checks passed"
