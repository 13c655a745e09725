#!/usr/bin/env bash
# Registry defragmentation of the native front end on a machine with real,
# fragmented hive files: analyze measures a real saving and changes nothing;
# optimize schedules the compaction (other BootExecute entries kept);
# bootcompact compacts every listed hive; summary reads status 8 back and
# clears the markers. Every compacted hive is smaller and holds the same
# keys, values, types and data (compared through hivex); the hives not
# listed are untouched. A garbage parameter file changes nothing.
#   defrag-e2e.sh HIVESWEEP HS_HIVE_FIXTURE WORK_DIR
set -euo pipefail
hs=$1
fixture=$2
work=$3
fail() { echo "FAILED: $*"; exit 1; }
rm -rf "$work"
mkdir -p "$work"
"$(dirname "$0")/make-defrag-machine.sh" "$fixture" "$work/machine"
cp -R "$work/machine" "$work/original"
run() { "$hs" "$@" --machine "$work/machine" --data "$work/data"; }
config=drive_c/Windows/System32/config
profile=drive_c/Users/demo
listed="$config/SAM $config/SECURITY $config/SOFTWARE $config/SYSTEM $profile/NTUSER.DAT
        $profile/AppData/Local/Microsoft/Windows/UsrClass.dat"
unlisted="$config/COMPONENTS $config/DEFAULT"
registry() { iconv -f utf-16 -t utf-8 "$work/data/machine-registry.reg"; }

run defrag analyze | tee "$work/analyze.txt"
[ "$(grep -c '% fragmented$' "$work/analyze.txt")" -eq 4 ] || fail "not four hives analysed"
grep -q 'MACHINE\\SYSTEM\|MACHINE\\SOFTWARE\|COMPONENTS\|\.DEFAULT' "$work/analyze.txt" && fail "a system hive was analysed"
grep -q '^Optimisation is recommended\.$' "$work/analyze.txt" || fail "no recommendation"
for f in $listed $unlisted; do cmp -s "$work/machine/$f" "$work/original/$f" || fail "analyze changed $f"; done
[ -z "$(ls "$work/machine/$config/VTQBakup")" ] || fail "analysis copies were left behind"

run defrag optimize | tee "$work/optimize.txt"
grep -q '^The compaction is scheduled for the next restart\.$' "$work/optimize.txt" || fail "not scheduled"
grep -qF 'BootExecute: autocheck autochk * | KXBoot64 \??\C:\Windows\system32\QTMKXSet.bin | othercheck \??\C:\othercheck.log' \
  "$work/optimize.txt" || fail "BootExecute is not as expected"
grep -q '(answered No)' "$work/optimize.txt" || fail "the restart question was not answered No"
[ -s "$work/machine/drive_c/Windows/System32/QTMKXSet.bin" ] || fail "no parameter file"
registry | grep -q '^"OPTIMIZING"=dword:00000001' || fail "no OPTIMIZING marker"
registry | grep -q 'StartedAfterOptimization' || fail "no start entry after the restart"

"$hs" bootcompact --machine "$work/machine" --data "$work/data" | tee "$work/boot.txt"
grep -q '^Status 8 ' "$work/boot.txt" || fail "the boot step did not report status 8"
for f in $listed; do
  [ "$(stat -c %s "$work/machine/$f")" -lt "$(stat -c %s "$work/original/$f")" ] || fail "$f is not smaller"
  "$fixture" compare "$work/original/$f" "$work/machine/$f" || fail "$f lost keys or values"
  [ -e "$work/machine/$f.old" ] || [ -e "$work/machine/$f.compact" ] && fail "$f: leftovers of the swap"
done
for f in $unlisted; do cmp -s "$work/machine/$f" "$work/original/$f" || fail "$f was compacted though not listed"; done

run defrag summary | tee "$work/summary.txt"
grep -q '^The boot-time compaction succeeded\.$' "$work/summary.txt" || fail "status 8 not read back"
grep -q '^Hives: 6$' "$work/summary.txt" || fail "the summary does not count six hives"
registry | grep -q 'OPTIMIZING' && fail "the OPTIMIZING marker was not cleared"
registry | grep -q 'StartedAfterOptimization' && fail "the start entry was not cleared"
registry | grep -q '^"StrLastOptimizeTime"="[0-9]' || fail "the last optimisation time was not recorded"

# A garbage parameter file: the boot step refuses it and leaves it alone.
printf 'garbage' > "$work/machine/drive_c/Windows/System32/QTMKXSet.bin"
"$hs" bootcompact --machine "$work/machine" --data "$work/data" && fail "bootcompact took a garbage file"
[ "$(cat "$work/machine/drive_c/Windows/System32/QTMKXSet.bin")" = garbage ] || fail "the garbage file was changed"
run defrag summary | tee "$work/summary2.txt" && fail "summary took a garbage file"
grep -q 'unreadable' "$work/summary2.txt" || fail "no word about the unreadable file"
echo "defrag end to end: OK"
