#!/usr/bin/env bash
# HiveSweep.exe's native screens under Wine on a virtual display (Xvfb, a
# Wine virtual desktop), installed into the test prefix with its language
# file. Commands 214 and 256 show the backup and settings screens; every
# visible caption must be a text of the language file (not empty, not a
# key). A full backup runs through the progress dialog (whose system-menu
# Close does nothing meanwhile) and appears in the list; an exclusion is
# added through the add dialog; the general page's Apply saves; the schedule
# page stores its values and schedules the scan in Wine's task scheduler; the
# elevated restarts hvxvistaschedule and hvxvistafullbackup reach the
# screens. A screenshot of each screen, page and dialog lands in
# BUILD_DIR/screens-e2e.
#   screens-e2e.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/wine-checks.sh"
hs_in_xvfb "$0" "$build"
hs_window_check screens-e2e
probe_out="$WINEPREFIX/drive_c/hs-screens-probe.txt"
desktop=/desktop=HiveSweep,1000x700
settings_key='HKCU\Software\Corvanta\HiveSweep'

app=
fail() {
  echo "FAILED: $*"
  [ -f "$probe_out" ] && iconv -f utf-8 -t utf-8 "$probe_out" 2>/dev/null
  wineserver -k 2>/dev/null || true
  exit 1
}
probe() { hs_desktop_probe "$@"; }
shot() { sleep 0.5; import -window root "$out/$1.png"; }
# Visible captions of buttons and static texts: present, and not a key.
check_captions() {
  local bad
  bad=$(grep -E '^ctl (Button|Static) -?[0-9]+ visible=1 ' "$out/$1.txt" |
        grep -E ' text=$| text=(IDS_|IDC_|AFX_|string[0-9])' || true)
  [ -z "$bad" ] || fail "$1: empty or key-named captions: $bad"
}
has() { grep -qF -- "$2" "$out/$1.txt" || fail "$1: no \"$2\""; }
ctl() { grep -E "^ctl [A-Za-z0-9_]+ $2 visible=1" "$out/$1.txt" | head -n 1; }
# applied NAME ID TEXT: click Apply (ID); its message box holds TEXT; closed.
applied() {
  probe "$1" click "$2"
  shot "settings-$1"
  has "$1" "$3"
  probe "$1-ok" sysclose
}

wine reg delete 'HKCU\Software\Corvanta' /f >/dev/null 2>&1 || true
rm -rf "$data"
wine explorer "$desktop" "$exe" &
app=$!
probe started list || fail "the main window did not show"

# Backup screen: texts, the empty list, disabled Restore and Delete.
probe backup command 214
shot backup
check_captions backup
for t in 'text=Back up your registry before' 'text=Back Up the Registry' 'text=Back Up the Whole Registry' \
         'text=Restore the Registry' 'text=Full Backups' 'text=Repair Backups' 'text=Restore' 'text=Delete'; do
  has backup "$t"
done
ctl backup 1105 | grep -q 'items=1 ' || fail "backup: the empty list does not show its one row"
ctl backup 1103 | grep -q 'enabled=0' || fail "backup: Restore is enabled without backups"
echo "ok (${SECONDS} s): backup screen"

# A full backup through the progress dialog; Close does nothing meanwhile.
probe progress clickclose 1100
shot backup-progress
has progress 'survived close'
grep -q '^dialog ' "$out/progress.txt" && has progress 'text=Backing up the registry.'
for i in $(seq 60); do
  probe backup-wait list
  grep -q '^dialog ' "$out/backup-wait.txt" || break
  sleep 1
done
grep -q '^dialog ' "$out/backup-wait.txt" && fail "the full backup did not end"
probe backup-done click 1101
shot backup-full-list
ctl backup-done 1103 | grep -q 'enabled=1' || fail "backup: no full backup listed (Restore disabled)"
ls "$data"/*.reg >/dev/null 2>&1 || fail "no .reg file in the data folder"
wine reg query "$settings_key" /v StrLatestRestorePoint | grep -q 'Full registry backup' ||
  fail "StrLatestRestorePoint does not name the full backup"
probe backup-partial click 1102
shot backup-partial-list
check_captions backup-partial
echo "ok (${SECONDS} s): full backup through the progress dialog"

# Settings screen: four pages.
probe settings command 256
shot settings-general
check_captions settings
for t in 'text=General' 'text=Scan Areas' 'text=Exclusion List' 'text=Schedule' 'text=Language' \
         'text=When I close the HiveSweep window:' 'text=Start HiveSweep when I log on to Windows' 'text=Apply'; do
  has settings "$t"
done
ctl settings 1210 | grep -q 'items=20 ' || fail "settings: the language list does not hold 20 languages"
ctl settings 1211 | grep -q 'items=2 ' || fail "settings: the close action does not offer 2 items"
# Apply with the same language: saved, IDS_SETTINGS_SAVED, no restart.
probe general-logon click 1212
applied general-apply 1213 'text=Your settings have been saved.'
wine reg query "$settings_key" /v StartWhenWinBoots | grep -q '0x0' || fail "StartWhenWinBoots is not stored as 0"
wine reg query "$settings_key" /v GoToSystemTrayOnClose | grep -q '0x0' || fail "GoToSystemTrayOnClose is not 0"

probe areas click 1201
shot settings-scan-areas
check_captions areas
for t in 'text=System and programs' 'text=Components and file types' 'text=Your user account' \
         'text=Software and start-up' 'text=Deep Scan (Current User)' 'text=Restore Defaults'; do
  has areas "$t"
done
[ "$(grep -cE '^ctl Button 12[34][0-9] visible=1' "$out/areas.txt")" -eq 14 ] || fail "settings: not 14 area boxes"

probe exclusions click 1202
shot settings-exclusions
check_captions exclusions
for t in 'text=Registry keys excluded from scans' 'text=Add...' 'text=Remove' \
         'text=Ignore missing files on removable media' 'text=Ignore empty registry keys'; do
  has exclusions "$t"
done
# A check box click is stored at once.
probe skip-empty click 1264
wine reg query "$settings_key" /v SetChkSkipEmptyKeys | grep -q '0x0' || fail "SetChkSkipEmptyKeys is not stored as 0"
probe add click 1261
shot settings-exclusion-add
has add 'dialog Exclude a Registry Key'
check_captions add
probe add-text settext 1033 'Software\HiveSweepScreensTest'
probe add-ok click 1
shot settings-exclusion-added
grep -q '^dialog ' "$out/add-ok.txt" && fail "the add dialog stayed open"
ctl add-ok 1260 | grep -q 'items=1 ' || fail "exclusions: the added key is not listed"
[ -f "$data/ExcludeList.hsw" ] || fail "exclusions: ExcludeList.hsw not written"
echo "ok (${SECONDS} s): settings pages and the exclusion add dialog"

probe schedule click 1203
shot settings-schedule
check_captions schedule
for t in 'text=Every week' 'text=Thursday' 'text=Scheduled scan:' 'text=No scan is scheduled.'; do
  has schedule "$t"
done
probe schedule-kind click 1272
probe schedule-day click 1290
rm -f "$(hs_tasks_folder)/HiveSweepsch.job"
applied schedule-apply 1300 'The scan has been scheduled.'
wine reg query "$settings_key" /v m_rBtnEvery | grep -q '0x2' || fail "m_rBtnEvery is not 2 (weekly)"
wine reg query "$settings_key" /v Monday | grep -q '0x1' || fail "Monday is not stored as checked"
wine reg query "$settings_key" /v Thrusday | grep -q '0x0' || fail "Thrusday is not stored"
wine reg query "$settings_key" /v Date | grep -q 'REG_SZ' || fail "Date is not stored"
wine reg query "$settings_key" /v ScheduledTime | grep -q 'Every week at .*; Monday' ||
  fail "ScheduledTime does not describe the weekly schedule"
log_text | grep -q 'Scheduled task created: HiveSweepsch scan' || fail "the log names no created task"
[ -f "$(hs_tasks_folder)/HiveSweepsch.job" ] || fail "no work item in the scheduler"
echo "ok (${SECONDS} s): schedule page stores its values and schedules the scan"

wineserver -k 2>/dev/null || true
wait "$app" 2>/dev/null || true

# The elevated restarts: hvxvistaschedule applies the stored schedule page
# (command 256, then 254), which meets the work item made above and asks to
# replace it; hvxvistafullbackup takes a full backup (214, 260).
wine explorer "$desktop" "$exe" hvxvistaschedule &
app=$!
for i in $(seq 30); do
  probe restart-schedule list
  grep -q 'already exists' "$out/restart-schedule.txt" && break
  sleep 1
done
shot restart-schedule
has restart-schedule 'A scheduled scan already exists. Do you want to replace it?'
grep -q '^ctl Button 1272 .*text=Every week' "$out/restart-schedule.txt" || fail "the restart made no schedule page"
wineserver -k 2>/dev/null || true
wait "$app" 2>/dev/null || true
rm -f "$(hs_tasks_folder)/HiveSweepsch.job"
backups=$(ls "$data"/*.reg | wc -l)
wine explorer "$desktop" "$exe" hvxvistafullbackup &
app=$!
for i in $(seq 60); do
  [ "$(ls "$data"/*.reg | wc -l)" -gt "$backups" ] && break
  sleep 1
done
[ "$(ls "$data"/*.reg | wc -l)" -gt "$backups" ] || fail "hvxvistafullbackup took no full backup"
# The home page comes to the front once it has loaded; the screen stays made.
probe restart-backup list
shot restart-backup
grep -q '^ctl Button 1103 visible=[01] enabled=1' "$out/restart-backup.txt" ||
  fail "the restart's backup screen lists no backup"
echo "ok (${SECONDS} s): the elevated restarts reach the schedule page and the full backup"
wineserver -k 2>/dev/null || true
wait "$app" 2>/dev/null || true
echo "native screen checks passed; screenshots in $out"
