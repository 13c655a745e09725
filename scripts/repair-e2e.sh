#!/usr/bin/env bash
# Repair and undo of the win32 front end on Wine's real registry:
#  1. seeded dangling entries in both views are scanned, all repaired, and the
#     undo set undone: whole-registry exports (32-bit and 64-bit regedit)
#     taken before the repair and after the undo hold the same keys, values,
#     types and data;
#  2. a repair is killed in the middle of its run: the next start completes
#     the interrupted undo set, and undoing it restores the registry.
#   repair-e2e.sh BUILD_DIR NATIVE_HIVESWEEP
set -euo pipefail
build=$1
native=$2
here=$(cd "$(dirname "$0")/.." && pwd)
export HS_BUILD_DIR="$build"
"$here/scripts/wine-run.sh" --prepare
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
export XDG_DATA_HOME="$build/wine-xdg"
wine64=/usr/lib/wine/wine64
cli="$build/cli/hivesweep.exe"
out="$build/repair-e2e"
rm -rf "$out" && mkdir -p "$out"
data_win='C:\hs-repair-e2e'
data="$WINEPREFIX/drive_c/hs-repair-e2e"
rm -rf "$data"
fail() { echo "FAILED: $*"; exit 1; }
hs() { wine "$cli" "$@" --data "$data_win"; }
app_paths='Software\Microsoft\Windows\CurrentVersion\App Paths'

utf16() { { printf '\xff\xfe'; iconv -f utf-8 -t utf-16le; } }
export_all() {  # export_all NAME: both views of the whole registry into $out
  wine regedit /e 'C:\hs-export32.reg'
  "$wine64" regedit /e 'C:\hs-export64.reg'
  mv "$WINEPREFIX/drive_c/hs-export32.reg" "$out/$1-32.reg"
  mv "$WINEPREFIX/drive_c/hs-export64.reg" "$out/$1-64.reg"
}
compare() {  # compare A B: the two exports agree, our own settings aside
  for view in 32 64; do
    "$native" regcompare --ignore 'HKEY_CURRENT_USER\Software\Corvanta' --ignore 'HKEY_USERS\*\Software\Corvanta' \
      "$out/$1-$view.reg" "$out/$2-$view.reg" || fail "$view-bit registry differs between $1 and $2"
  done
}

cleanup() {
  for view in wine "$wine64"; do
    $view reg delete "HKLM\\$app_paths\\hs_e2e_gone.exe" /f >/dev/null 2>&1 || true
  done
  wine reg delete 'HKCU\Software\HsE2E' /f >/dev/null 2>&1 || true
  wine reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\ComDlg32\OpenSaveMRU\hse2e' /f >/dev/null 2>&1 || true
  wine reg delete "HKCU\\$app_paths" /f >/dev/null 2>&1 || true
  wine reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\HsE2EGone' /f >/dev/null 2>&1 || true
}
cleanup

# --- 1. scan, repair all, undo ---------------------------------------------
seed="$out/seed.reg"
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  printf '[HKEY_LOCAL_MACHINE\\%s\\hs_e2e_gone.exe]\r\n@="C:\\\\hs-gone\\\\hs_e2e_gone.exe"\r\n"Path"="C:\\\\hs-gone"\r\n\r\n' "$app_paths"
  # Values the quoted form cannot carry: CR LF inside, an embedded NUL, no
  # terminator, an odd length, a value named "@", types above 0xF.
  printf '[HKEY_LOCAL_MACHINE\\%s\\hs_e2e_gone.exe]\r\n' "$app_paths"
  printf '"crlf"=hex(1):6f,00,6e,00,65,00,0d,00,0a,00,74,00,77,00,6f,00,00,00\r\n'
  printf '"embedded nul"=hex(1):61,00,00,00,62,00,00,00\r\n"no terminator"=hex(1):61,00,62,00\r\n'
  printf '"odd"=hex(1):61,00,62\r\n"@"="named at"\r\n"big type"=hex(100):01,02,03\r\n'
  printf '"device type"=hex(ffff0012):\r\n"quote \\" back \\\\ \xc3\xa9"="x"\r\n\r\n'
  # A recent list losing two entries rewrites its MRUList twice.
  printf '[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSaveMRU\\hse2e]\r\n'
  printf '"a"="C:\\\\hs-gone\\\\one.txt"\r\n"b"="C:\\\\hs-gone\\\\two.txt"\r\n"c"="C:\\\\windows\\\\win.ini"\r\n"MRUList"="cba"\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\%s\\hs_e2e_user.exe]\r\n@="C:\\\\hs-gone\\\\user.exe"\r\n\r\n' "$app_paths"
  printf '[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\HsE2EGone]\r\n'
  printf '"DisplayName"="HsE2E Gone"\r\n"UninstallString"="C:\\\\hs-gone\\\\unins000.exe"\r\n\r\n'
} | utf16 > "$seed"
cp "$seed" "$WINEPREFIX/drive_c/hs-seed.reg"
wine regedit /s 'C:\hs-seed.reg'          # the 32-bit view
"$wine64" regedit /s 'C:\hs-seed.reg'     # the 64-bit view
rm -f "$WINEPREFIX/drive_c/hs-seed.reg"

export_all before
hs scan --areas 0x0162 > "$out/scan1.txt" || fail "scan failed"
grep -qi 'hs_e2e_gone.exe' "$out/scan1.txt" || fail "the seeded App Paths entry was not reported"
grep -q 'OpenSaveMRU.hse2e' "$out/scan1.txt" || fail "the seeded recent list entries were not reported"
hs repair --all > "$out/repair1.txt" || { cat "$out/repair1.txt"; fail "repair failed"; }
cat "$out/repair1.txt"
wine reg query "HKLM\\$app_paths\\hs_e2e_gone.exe" >/dev/null 2>&1 && fail "the repair left the seeded key"
hs backups > "$out/backups1.txt"
grep -q '^  1 ' "$out/backups1.txt" || fail "no undo set listed"
hs undo 1 || fail "undo failed"
export_all after
compare before after
echo "ok: scan, repair and undo leave the registry as it was (both views)"

# --- 2. a repair killed in the middle --------------------------------------
cleanup
rm -rf "$data"
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  for i in $(seq 1 600); do
    printf '[HKEY_CURRENT_USER\\%s\\hs_kill_%04d.exe]\r\n@="C:\\\\hs-gone\\\\kill_%04d.exe"\r\n"Path"="C:\\\\hs-gone"\r\n\r\n' "$app_paths" "$i" "$i"
  done
} | utf16 > "$WINEPREFIX/drive_c/hs-seed.reg"
wine regedit /s 'C:\hs-seed.reg'
rm -f "$WINEPREFIX/drive_c/hs-seed.reg"
export_all kill-before
hs scan --areas 0x0002 > "$out/scan2.txt" || fail "scan failed"

wine "$cli" repair --all --data "$data_win" > "$out/repair2.txt" 2>&1 &
pid=$!
journal=""
for _ in $(seq 1 600); do
  journal=$(ls "$data/Partial Backups/"*.rjn 2>/dev/null | head -1 || true)
  if [ -n "$journal" ] && [ "$(stat -c %s "$journal")" -gt 20000 ]; then break; fi
  sleep 0.1
done
[ -n "$journal" ] || fail "the repair wrote no journal"
kill -9 "$pid" 2>/dev/null || fail "the repair ended before it could be killed"
wait "$pid" 2>/dev/null || true
[ -f "$journal" ] || fail "the journal is gone after the kill"
ls "$data/Partial Backups/"*.rmx >/dev/null 2>&1 && fail "a record file exists although the run was killed"
left=$(wine reg query "HKCU\\$app_paths" 2>/dev/null | grep -ci 'hs_kill_' || true)
echo "killed with $left of 600 seeded keys left"
[ "$left" -gt 0 ] && [ "$left" -lt 600 ] || fail "the kill did not land in the middle of the run ($left keys left)"

hs backups > "$out/backups2.txt"
cat "$out/backups2.txt"
grep -q 'Completed 1 undo set' "$out/backups2.txt" || fail "the interrupted undo set was not completed at the next start"
[ -f "$journal" ] && fail "the journal stays after its set was completed"
hs undo 1 || fail "undoing the completed set failed"
export_all kill-after
compare kill-before kill-after
echo "ok: the killed repair's undo set was completed and restores the registry"
cleanup
