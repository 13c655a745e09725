#!/usr/bin/env bash
# Full backups of the native front end on the sample machine: a backup, a
# repair (which keeps a restore point first, at most one a day), then a
# restore of the backup: the machine's registry is again the one before,
# key by key and value by value (the program's own settings aside). A cut
# or garbage file given to restore changes nothing and says why.
#   cli-backup.sh HIVESWEEP MACHINE_DIR WORK_DIR
set -euo pipefail
hs=$1
machine=$2
data=$3
rm -rf "$data" "$data".*
fail() { echo "FAILED: $*"; exit 1; }
run() { "$hs" "$@" --machine "$machine" --data "$data"; }

run backup | tee "$data.backup.txt"
line=$(grep '^Full backup: ' "$data.backup.txt")
file=${line##*/}
[ -n "$file" ] && [ -f "$data/$file" ] || fail "no backup file named"
ls "$data" | grep -q '\.tmp$' && fail "a temporary export was left behind"
cp "$data/machine-registry.reg" "$data.before.reg"

run scan >/dev/null
run repair --all | tee "$data.repair.txt" || true
grep -q '^Restore point made$' "$data.repair.txt" || fail "the repair made no restore point"
run scan >/dev/null
run repair --all | tee "$data.repair2.txt" || true
grep -q '^Restore point: the last one is less than a day old$' "$data.repair2.txt" ||
  fail "a second repair on the same day made another restore point"
"$hs" regcompare "$data.before.reg" "$data/machine-registry.reg" >/dev/null && fail "the repair changed nothing"
run backups | tee "$data.backups.txt"
grep -q "^Full backups:$" "$data.backups.txt" || fail "no full backups section"
grep -q "^  [A-Z][a-z][a-z]\. .*  $file$" "$data.backups.txt" || fail "the backup is not listed with its date"
grep -q "^Undo sets:$" "$data.backups.txt" || fail "no undo sets section"
[ "$(grep -c '^  [A-Z].*Restore Points' "$data.backups.txt")" -eq 1 ] || fail "not exactly one restore point listed"

# Refused files change nothing.
cp "$data/machine-registry.reg" "$data.repaired.reg"
printf 'garbage' > "$data/garbage.reg"
head -c $(( $(stat -c %s "$data/$file") * 3 / 4 )) "$data/$file" > "$data/cut.reg"
for bad in garbage.reg cut.reg missing.reg; do
  if run restore "$bad" 2> "$data.refused.txt"; then fail "restore of $bad succeeded"; fi
  grep -q 'nothing was restored' "$data.refused.txt" || fail "restore of $bad does not say why: $(cat "$data.refused.txt")"
  cmp -s "$data/machine-registry.reg" "$data.repaired.reg" || fail "restore of $bad changed the registry"
done

run restore "$file" | tee "$data.restore.txt"
grep -q '^Restored [0-9]* keys' "$data.restore.txt" || fail "the restore says nothing of what it did"
"$hs" regcompare --ignore 'HKEY_CURRENT_USER\Software\Corvanta' "$data.before.reg" "$data/machine-registry.reg" ||
  fail "the registry after the restore differs from the one before the repair"

# Deleting: the backup file, and an undo set with its archive.
run delete-backup "$file" >/dev/null
run backups | grep -q "  $file$" && fail "a deleted backup is still listed"
record=$(run backups | sed -n 's/^  1  .*  \(C:.*\.rmx\)$/\1/p')
[ -n "$record" ] || fail "no undo set listed"
name=${record##*\\}
run delete-backup --undo 1 >/dev/null
[ -e "$data/Partial Backups/$name" ] && fail "the deleted undo set's record file is still there"
[ -e "$data/Partial Backups/${name%.rmx}.rxb" ] && fail "the deleted undo set's archive is still there"
echo "full backup, restore and delete: ok"
