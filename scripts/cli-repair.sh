#!/usr/bin/env bash
# The native front end on the sample machine: scan, repair everything, list
# the undo set, undo it: the machine's registry is then the one before the
# repair, key by key and value by value (the program's own settings aside);
# a scan finds what the first one did.
#   cli-repair.sh HIVESWEEP MACHINE_DIR WORK_DIR
set -euo pipefail
hs=$1
machine=$2
data=$3
rm -rf "$data" "$data".*
fail() { echo "FAILED: $*"; exit 1; }
total() { awk '$1 == "Total" {print $2}'; }
first=$("$hs" scan --machine "$machine" --data "$data" | total)
[ "$first" -gt 0 ] || fail "the sample machine shows no problems"
# An undo of a set that does not exist fails, changes nothing, and leaves the
# machine's registry in the data folder: the state before the repair.
"$hs" undo 7 --machine "$machine" --data "$data" && fail "undo of a set that does not exist succeeded"
cp "$data/machine-registry.reg" "$data.before.reg"
"$hs" repair --machine "$machine" --data "$data" --all | tee "$data.repair.txt" || true
# Shortcut files stay: the sample's drives are read-only to the program.
grep -q '^Repaired [1-9]' "$data.repair.txt" || fail "nothing was repaired"
grep -q '^Undo set: .* (hivesweep undo 1)$' "$data.repair.txt" || fail "the repair names no undo set"
cp "$data/machine-registry.reg" "$data.repaired.reg"
"$hs" regcompare "$data.before.reg" "$data.repaired.reg" >/dev/null && fail "the repair changed nothing"
after=$("$hs" scan --machine "$machine" --data "$data" | total)
[ "$after" -lt "$first" ] || fail "$after of $first problems remain after the repair"
"$hs" backups --machine "$machine" --data "$data" | grep -q '^  1 ' || fail "no undo set listed"
"$hs" undo 1 --machine "$machine" --data "$data" || fail "the undo failed"
"$hs" regcompare --ignore 'HKEY_CURRENT_USER\Software\Corvanta' "$data.before.reg" "$data/machine-registry.reg" ||
  fail "the registry after the undo differs from the one before the repair"
# What the repair could not fix went to the temporary ignore list, which
# hides such history entries from later scans: start that list afresh.
rm -f "$data/TempHLList.hsw"
again=$("$hs" scan --machine "$machine" --data "$data" | total)
[ "$again" = "$first" ] || fail "the undo brought back $again of $first problems"
echo "ok: $first problems; the repair changed the registry and the undo put back every key and value"
