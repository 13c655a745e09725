#!/usr/bin/env bash
# End-to-end checks of HiveSweep.exe under Wine, installed into the test
# prefix's C:\Program Files\HiveSweep with its language file:
#  - a fresh account: "/SCAN", "-scan" and "scan" each run the unattended scan
#    without a window, write the day's debug log and results.hsw, and exit 0
#    once their result pop-up is closed (the window probe closes it; all
#    runs share one virtual display); the settings key then holds the
#    defaults and the start count;
#  - a second instance, started while the first holds the single-instance
#    lock, ends without loading settings or counting a start.
#   app-e2e.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/wine-checks.sh"
hs_in_xvfb "$0" "$build"
hs_window_check app-e2e

run() { wine "$exe" "$@"; }
fail() { echo "FAILED: $*"; exit 1; }
reg_value() {  # reg_value NAME: the data of a settings value, or nothing
  wine reg query 'HKCU\Software\Corvanta\HiveSweep' /v "$1" 2>/dev/null | tr -d '\r' | awk -v n="$1" '$1==n {print $3}'
}

wine reg delete 'HKCU\Software\Corvanta' /f >/dev/null 2>&1 || true
rm -rf "$data"

n=0
for arg in /SCAN -scan scan; do
  n=$((n + 1))
  rm -f "$data/results.hsw"
  code=0
  hs_unattended "$arg" || code=$?
  [ "$code" -eq 0 ] || fail "HiveSweep.exe $arg exited with $code"
  [ -f "$data/results.hsw" ] || fail "HiveSweep.exe $arg wrote no results.hsw"
  [ "$(log_text | grep -c 'Scheduled scan finished')" -eq "$n" ] || fail "HiveSweep.exe $arg: no finished scan in the log"
  if [ "$n" -eq 1 ]; then
    [ "$(reg_value NumTimesHSWRunned)" = "0x1" ] || fail "NumTimesHSWRunned is $(reg_value NumTimesHSWRunned) after the first start"
    [ "$(reg_value StartWhenWinBoots)" = "0x1" ] || fail "StartWhenWinBoots default missing"
    [ "$(reg_value SetChkSkipEmptyKeys)" = "0x1" ] || fail "SetChkSkipEmptyKeys default missing"
    [ "$(reg_value GoToSystemTrayOnClose)" = "0x0" ] || fail "GoToSystemTrayOnClose default missing"
  fi
  echo "ok: HiveSweep.exe $arg"
done
[ "$(reg_value NumTimesHSWRunned)" = "0x3" ] || fail "NumTimesHSWRunned is $(reg_value NumTimesHSWRunned) after three starts"

# The first instance in reminder mode holds the lock for about two minutes.
run rem &
first=$!
sleep 9
before=$(stat -c %Y "$data/results.hsw")
start=$(date +%s)
code=0
run scan || code=$?
[ "$code" -eq 0 ] || fail "the second instance exited with $code"
[ "$(reg_value NumTimesHSWRunned)" = "0x3" ] || fail "the second instance counted a start"
[ "$(stat -c %Y "$data/results.hsw")" = "$before" ] || fail "the second instance wrote results"
[ "$(log_text | grep -c 'Scheduled scan finished')" -eq 3 ] || fail "the second instance scanned"
echo "ok: a second instance ends after $(( $(date +%s) - start )) s without scanning or counting"
kill "$first" 2>/dev/null || true
wineserver -k 2>/dev/null || true
wait "$first" 2>/dev/null || true
echo "app end-to-end checks passed"
