#!/usr/bin/env bash
# The native front end on the sample machine: scan, repair everything, list
# the undo set, undo it, scan again: the last scan finds what the first did.
# (A scan right after the repair may find what the repair left behind, such
# as a key whose only value was removed.)
#   cli-repair.sh HIVESWEEP MACHINE_DIR WORK_DIR
set -euo pipefail
hs=$1
machine=$2
data=$3
rm -rf "$data"
fail() { echo "FAILED: $*"; exit 1; }
total() { awk '$1 == "Total" {print $2}'; }
first=$("$hs" scan --machine "$machine" --data "$data" | total)
[ "$first" -gt 0 ] || fail "the sample machine shows no problems"
"$hs" repair --machine "$machine" --data "$data" --all | tee "$data.repair.txt" || true
# Shortcut files stay: the sample's drives are read-only to the program.
grep -q '^Repaired [1-9]' "$data.repair.txt" || fail "nothing was repaired"
after=$("$hs" scan --machine "$machine" --data "$data" | total)
[ "$after" -lt "$first" ] || fail "$after of $first problems remain after the repair"
"$hs" backups --machine "$machine" --data "$data" | grep -q '^  1 ' || fail "no undo set listed"
"$hs" undo 1 --machine "$machine" --data "$data"
# What the repair could not fix went to the temporary ignore list, which
# hides such history entries from later scans: start that list afresh.
rm -f "$data/TempHLList.hsw"
again=$("$hs" scan --machine "$machine" --data "$data" | total)
[ "$again" = "$first" ] || fail "the undo brought back $again of $first problems"
"$hs" undo 7 --machine "$machine" --data "$data" && fail "undo of a set that does not exist succeeded"
echo "ok: $first problems repaired and restored"
