#!/usr/bin/env bash
# HiveSweep.exe's window under Wine on a virtual display (Xvfb, a Wine
# virtual desktop so the frame is drawn), installed into the test prefix's
# C:\Program Files\HiveSweep with its language file:
#  - an ordinary start shows the window with its six navigation buttons; the
#    system menu's About item opens the About box; screenshots of both land in
#    BUILD_DIR/window-e2e. Wine has no HTML engine here: the page host reports
#    "Cannot GetScript" in the log and the window stays usable;
#  - mode `scan` never shows the window (a screenshot while it scans shows
#    an empty screen), writes results.hsw and ends with 0 once its result
#    pop-up is closed.
#   window-e2e.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/wine-checks.sh"
hs_in_xvfb "$0" "$build"
hs_window_check window-e2e
probe_out="$WINEPREFIX/drive_c/hs-window-probe.txt"
desktop=/desktop=HiveSweep,1000x700

fail() { echo "FAILED: $*"; [ -f "$probe_out" ] && cat "$probe_out"; wineserver -k 2>/dev/null || true; exit 1; }

wine reg delete 'HKCU\Software\Corvanta' /f >/dev/null 2>&1 || true
rm -rf "$data"

# An ordinary start: the window, its navigation and the About box.
rm -f "$probe_out"
wine explorer "$desktop" "$exe" &
app=$!
wine explorer "$desktop" "$probe_exe" 'C:\hs-window-probe.txt' HiveSweep shown about &
wait_probe '^about ' 90 || fail "no window with an About box"
sleep 2
import -window root "$out/main-window-about.png"
probe_text > "$out/probe.txt"
for text in Home 'Scan Registry' 'Optimize Registry' 'Backup and Restore' Settings Help; do
  grep -q "^button [0-9]* $text enabled=1" "$out/probe.txt" || fail "navigation button \"$text\" missing"
done
for id in 242 253 244 214 256; do
  grep -q "^button $id " "$out/probe.txt" || fail "navigation command $id missing"
done
grep -q '^about About HiveSweep' "$out/probe.txt" || fail "the About box has another title"
log_text | grep -q 'Main window shown' || fail "the log does not say the window showed"
log_text | grep -q 'failed : Cannot GetScript' || fail "the page host did not report Cannot GetScript"
echo "ok: the window shows its navigation and the About box"
wineserver -k 2>/dev/null || true
wait "$app" 2>/dev/null || true

# Mode scan: hidden throughout, results written, exit code 0.
rm -f "$probe_out" "$data/results.hsw"
before=$(log_text | grep -c 'Scheduled scan finished' || true)
wine "$probe_exe" 'C:\hs-window-probe.txt' HiveSweep hidden 40 &
watcher=$!
wine "$exe" scan &
scan=$!
sleep 12  # start-up waits about 6 s with an argument; the scan runs now
import -window root "$out/scan-mode.png"
wine "$probe_exe" 'C:\hs-window-popup.txt' HiveSweep popup 120 close >/dev/null 2>&1 || fail "no result pop-up to close"
code=0
wait "$scan" || code=$?
[ "$code" -eq 0 ] || fail "HiveSweep.exe scan exited with $code"
[ -f "$data/results.hsw" ] || fail "HiveSweep.exe scan wrote no results.hsw"
[ "$(log_text | grep -c 'Scheduled scan finished')" -gt "$before" ] || fail "no finished scheduled scan in the log"
wait_probe 'window seen hidden\|no window\|visible' 60 || fail "the window watch did not end"
probe_text > "$out/probe-scan.txt"
grep -q '^visible' "$out/probe-scan.txt" && fail "mode scan showed its window"
grep -q 'window seen hidden' "$out/probe-scan.txt" || fail "mode scan made no (hidden) window"
wait "$watcher" 2>/dev/null || true
echo "ok: mode scan stays hidden and writes its results"
wineserver -k 2>/dev/null || true
echo "window checks passed; screenshots in $out"
