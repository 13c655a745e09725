#!/usr/bin/env bash
# The scheduled runs of HiveSweep.exe under Wine on a virtual display
# (Xvfb), installed into the test prefix with the window probe:
#  - with a first instance open, `HiveSweep.exe scan` only signals it and
#    ends at once; the first asks IDS_SCHEDULE_RUNNING, the probe answers
#    Yes, and the first scans;
#  - `HiveSweep.exe scan` alone scans with its window hidden, then shows the
#    result pop-up (a screenshot lands in BUILD_DIR/unattended-e2e); a click
#    on its close box ends the process with 0;
#  - a click on the pop-up's link shows the window instead;
#  - `HiveSweep.exe default` then reminds of the problems found (when the
#    scan found any) and ends when its pop-up is closed.
#   unattended-e2e.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/wine-checks.sh"
hs_in_xvfb "$0" "$build"
hs_window_check unattended-e2e
probe_out="$WINEPREFIX/drive_c/hs-unattended-probe.txt"
question=$(hs_english IDS_SCHEDULE_RUNNING)

fail() { echo "FAILED: $*"; [ -f "$probe_out" ] && probe_text; log_text | tail -n 30; wineserver -k 2>/dev/null || true; exit 1; }
log_count() { log_text | grep -c "$1" || true; }

wine reg delete 'HKCU\Software\Corvanta' /f >/dev/null 2>&1 || true
rm -rf "$data"

# 1. A first instance; the scheduled task's second process only signals it.
rm -f "$probe_out"
wine "$exe" &
first=$!
wine "$probe_exe" 'C:\hs-unattended-probe.txt' HiveSweep shown > /dev/null 2>&1 || fail "the first instance showed no window"
rm -f "$probe_out"
wine "$probe_exe" 'C:\hs-unattended-probe.txt' HiveSweep answer 6 90 &
answerer=$!
started=$(date +%s)
timeout 60 wine "$exe" scan || fail "the second process did not end by itself with 0"
took=$(( $(date +%s) - started ))
[ "$took" -le 30 ] || fail "the second process took ${took}s to end"
wait "$answerer" || fail "no question appeared in the first instance"
probe_text > "$out/question.txt"
grep -qF "$question" "$out/question.txt" || fail "the first instance asked something else"
for i in $(seq 60); do
  [ "$(log_count 'Scan of the selected areas ended')" -gt 0 ] && break
  sleep 1
done
log_text > "$out/first-instance.log"
grep -q 'A second instance asked for a scheduled scan' "$out/first-instance.log" || fail "the offer was not logged"
grep -q 'Scan of the selected areas ended' "$out/first-instance.log" || fail "the first instance did not scan"
grep -q 'Scheduled scan started' "$out/first-instance.log" && fail "the second process scanned"
echo "ok: a second process ends at once (${took}s); the first asks and scans on Yes"
wineserver -k 2>/dev/null || true
wait "$first" 2>/dev/null || true

# 2. Alone, mode scan scans hidden and shows the result pop-up until it is
# closed.
rm -f "$probe_out" "$data/results.hsw"
wine "$exe" scan &
scan=$!
wine "$probe_exe" 'C:\hs-unattended-probe.txt' HiveSweep popup 100 > /dev/null 2>&1 || fail "no result pop-up"
sleep 1
import -window root "$out/scan-popup.png"
probe_text > "$out/popup.txt"
grep -q 'text=HiveSweep found' "$out/popup.txt" || fail "the pop-up does not tell the scan's result"
grep -q ' ex=80088 ' "$out/popup.txt" || fail "the pop-up is not a layered topmost tool window"
[ -f "$data/results.hsw" ] || fail "the scan wrote no results.hsw before its pop-up"
kill -0 "$scan" 2>/dev/null || fail "the process ended before its pop-up closed"
rm -f "$probe_out"
wine "$probe_exe" 'C:\hs-unattended-probe.txt' HiveSweep popup 10 close > /dev/null 2>&1 || fail "the close box did not close the pop-up"
code=0
timeout 30 tail --pid="$scan" -f /dev/null || fail "the process did not end with its pop-up"
wait "$scan" || code=$?
[ "$code" -eq 0 ] || fail "HiveSweep.exe scan exited with $code"
log_text > "$out/scan-mode.log"
grep -q 'PostQuitMessage :CDLGPopupControl::Close()' "$out/scan-mode.log" || fail "the pop-up's close was not logged"
grep -q 'ExitInstance Done!' "$out/scan-mode.log" || fail "the process did not shut down in order"
echo "ok: mode scan shows its result pop-up and ends when it closes"

# 3. A click on the pop-up's link shows the window (the results screen).
rm -f "$probe_out"
wine "$exe" scan &
scan=$!
wine "$probe_exe" 'C:\hs-unattended-probe.txt' HiveSweep popup 100 click > /dev/null 2>&1 || fail "the link did not close the pop-up"
rm -f "$probe_out"
wine "$probe_exe" 'C:\hs-unattended-probe.txt' HiveSweep shown > /dev/null 2>&1 || fail "the click did not show the window"
kill -0 "$scan" 2>/dev/null || fail "the process ended after the click"
echo "ok: a click on the pop-up shows the window"
wineserver -k 2>/dev/null || true
wait "$scan" 2>/dev/null || true

# 4. The default task reminds of the problems that scan left, then ends
# with its pop-up.
if grep -q 'text=HiveSweep found [1-9]' "$out/popup.txt"; then
  reminder=$(hs_english IDS_ERR_FOUND | sed 's/.*%d//' | cut -c1-24)
  rm -f "$probe_out"
  wine "$exe" default &
  rem=$!
  wine "$probe_exe" 'C:\hs-unattended-probe.txt' HiveSweep popup 60 close > /dev/null 2>&1 || fail "no reminder pop-up"
  probe_text > "$out/reminder.txt"
  grep -qF -- "$reminder" "$out/reminder.txt" || fail "the reminder does not name the waiting problems"
  timeout 30 tail --pid="$rem" -f /dev/null || fail "the reminder run did not end with its pop-up"
  echo "ok: the default task reminds of the waiting problems"
else
  echo "skipped: the scan found no problems to remind of"
fi
wineserver -k 2>/dev/null || true
echo "unattended checks passed; screenshot in $out"
