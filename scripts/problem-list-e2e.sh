#!/usr/bin/env bash
# The detailed problem list of HiveSweep.exe under Wine on a virtual display,
# on the sample machine loaded into a prefix of its own (its registry files
# through the 64-bit editor, its files under drive C:), so the shared test
# prefix stays clean:
#  - after an unattended scan, the list opens from the results' "detailed
#    view" with the window's texts, every problem of the sample that
#    `hivesweep scan` finds natively, each ticked, and the select-all box
#    checked; a screenshot lands in BUILD_DIR/problem-list-e2e;
#  - one row unticked, the list closed and the repair started: the list then
#    holds that problem alone, unticked.
#   problem-list-e2e.sh BUILD_DIR NATIVE_HIVESWEEP
set -euo pipefail
build=$(cd "$1" && pwd)
native=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/wine-checks.sh"
hs_in_xvfb "$0" "$build" "$native"
work="$build/problem-list"
# A fresh prefix each time: the repair below changes its registry.
HS_BUILD_DIR="$work" "$here/scripts/wine-run.sh" --stop 2>/dev/null || true
rm -rf "$work"
hs_prefix "$work" "$build/HiveSweep.exe" "$build/hs_list_probe.exe" "$build/hs_window_probe.exe" "$build/eng_hsw.ini"
trap '"$here/scripts/wine-run.sh" --stop' EXIT
cd "$WINEPREFIX/drive_c"

out="$build/problem-list-e2e"
rm -rf "$out" && mkdir -p "$out"
sample="$here/samples/demo-machine"
probe='C:\Program Files\HiveSweep\hs_list_probe.exe'
probe_out="$WINEPREFIX/drive_c/hs-list-probe.txt"
desktop=/desktop=HiveSweep,1000x700

fail() { echo "FAILED: $*"; [ -f "$probe_out" ] && cat "$probe_out"; exit 1; }
list_probe() { wine explorer "$desktop" "$probe" 'C:\hs-list-probe.txt' HiveSweep "$@" & }

# The sample machine.
for f in "$sample/registry.reg" "$sample"/registry.d/*.reg; do
  cp "$f" hs-sample.reg
  /usr/lib/wine/wine64 regedit /s 'C:\hs-sample.reg'
done
rm -f hs-sample.reg
"$here/scripts/copy-machine-files.sh" "$sample/drive_c" "$WINEPREFIX/drive_c"

# What the sample holds, as the native front end finds it: key paths.
"$native" scan --machine "$sample" --data "$out/native-data" > "$out/native-scan.txt"
sed -n 's/^  \(HKEY_.*\)$/\1/p' "$out/native-scan.txt" | sed 's/  \[32-bit\]$//' | sort -u > "$out/native-keys.txt"
[ -s "$out/native-keys.txt" ] || fail "the native scan printed no key paths"

hs_unattended scan || fail "the unattended scan failed"
[ -f "$data/results.hsw" ] || fail "the unattended scan wrote no results.hsw"

rm -f "$probe_out"
wine explorer "$desktop" "$exe" &
app=$!
list_probe open
wait_probe '^done ' 120 || fail "the list probe did not finish"
probe_text > "$out/list-before.txt"
sleep 1
import -window root "$out/problem-list.png"
grep -q '^done 0' "$out/list-before.txt" || fail "the detailed list did not open"
grep -q '^title Registry Problem Details$' "$out/list-before.txt" || fail "the list has another title"
grep -q '^selectall Select all check=1$' "$out/list-before.txt" || fail "the select-all box is not checked"
grep -q '^export Export Log ' "$out/list-before.txt" || fail "no Export Log button"
grep -q '^close Close ' "$out/list-before.txt" || fail "no Close button"
rows=$(sed -n 's/^rows //p' "$out/list-before.txt")
[ "${rows:-0}" -gt 0 ] || fail "the list is empty"
grep -q '^row [0-9]* ticked=0' "$out/list-before.txt" && fail "a row is not ticked"
missing=0
while read -r key; do
  grep -qiF -- "$key" "$out/list-before.txt" || { echo "not in the list: $key"; missing=$((missing + 1)); }
done < "$out/native-keys.txt"
[ "$missing" -eq 0 ] || fail "$missing of the sample's problem keys are not in the list"
echo "ok: the list shows $rows problems, the sample's $(wc -l < "$out/native-keys.txt") keys among them, all ticked"

before=$(log_text | grep -c 'Cleaning Finished' || true)
rm -f "$probe_out"
list_probe untick 'oldtool.exe'
wait_probe '^done ' 60 || fail "the untick probe did not finish"
probe_text > "$out/list-untick.txt"
grep -q '^done 0' "$out/list-untick.txt" || fail "the oldtool.exe row could not be unticked and repaired"
grep -q '^selectall Select all check=2$' "$out/list-untick.txt" || fail "the select-all box is not mixed"
for i in $(seq 180); do
  [ "$(log_text | grep -c 'Cleaning Finished')" -gt "$before" ] && break
  sleep 1
done
[ "$(log_text | grep -c 'Cleaning Finished')" -gt "$before" ] || fail "the repair did not finish"
sleep 2
rm -f "$probe_out"
list_probe open
wait_probe '^done ' 60 || fail "the list probe did not finish after the repair"
probe_text > "$out/list-after.txt"
import -window root "$out/problem-list-after-repair.png"
left=$(grep '^row ' "$out/list-after.txt" || true)
echo "$left" | grep -q 'ticked=0 .*oldtool\.exe' || fail "the unticked problem is not left unticked"
[ "$(echo "$left" | grep -c .)" -eq "$(echo "$left" | grep -c 'oldtool\.exe')" ] || fail "other problems were not repaired"
rm -f "$probe_out"
list_probe close
wait_probe '^done ' 30 || true
echo "ok: the unticked problem stays, the rest were repaired"
wineserver -k 2>/dev/null || true
wait "$app" 2>/dev/null || true
echo "problem list checks passed; screenshots in $out"
