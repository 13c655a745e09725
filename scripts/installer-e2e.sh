#!/usr/bin/env bash
# The installer HiveSweep-Setup-VERSION.exe under Wine, in a fresh prefix of
# its own (BUILD_DIR/installer-e2e-prefix) on a virtual display:
#  - "/verysilent" installs the program and every language file of app/lang
#    under the 32-bit Program Files folder, the Start menu shortcut, the App
#    Paths entry and the uninstall entry with its values;
#  - while the installed program runs, neither the installer nor the
#    uninstaller touches it: both end with a non-zero exit code;
#  - the installed program's unattended scan reports none of what the
#    installer registered, while it reports a broken App Paths entry, a
#    broken uninstall entry and a broken Start menu shortcut beside them;
#  - the registered quiet uninstall removes everything it installed, the
#    program's logon entries included, and keeps the user's data folder and
#    settings;
#  - "/S" installs again; the uninstaller with "/VERYSILENT /REMOVEDATA"
#    removes the data folder and the settings too.
#   installer-e2e.sh BUILD_DIR VERSION
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/wine-checks.sh"
hs_in_xvfb "$0" "$build" "$version"
setup="$build/HiveSweep-Setup-$version.exe"
[ -f "$setup" ] || { echo "FAILED: no $setup"; exit 1; }

work="$build/installer-e2e-prefix"
HS_BUILD_DIR="$work" "$here/scripts/wine-run.sh" --stop 2>/dev/null || true
rm -rf "$work"
# The window probe (for the scan's pop-up) and the shortcut writer lie in
# C:\Program Files\HiveSweep, apart from the installed program.
hs_prefix "$work" "$build/hs_window_probe.exe" "$build/hs_make_shortcut.exe"
trap '"$here/scripts/wine-run.sh" --stop' EXIT
cd "$WINEPREFIX/drive_c"
cp "$setup" hs-setup.exe

out="$build/installer-e2e"
rm -rf "$out" && mkdir -p "$out"
dir_win='C:\Program Files (x86)\HiveSweep'
dir="$WINEPREFIX/drive_c/Program Files (x86)/HiveSweep"
exe="$dir_win\\HiveSweep.exe"
programs="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
shortcut="$programs/HiveSweep/HiveSweep.lnk"
uninst_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\HiveSweep'
app_paths_key='HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\HiveSweep.exe'
settings_key='HKCU\Software\Corvanta\HiveSweep'
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'

fail() { echo "FAILED: $*"; exit 1; }
reg_value() {  # reg_value KEY NAME [/reg:32]: the value's data, or nothing
  local name=$2 args=(/v "$2")
  [ "$name" = "" ] && args=(/ve)
  wine reg query "$1" "${args[@]}" ${3:-} 2>/dev/null | tr -d '\r' |
    sed -n 's/^    \(.*\)    REG_[A-Z_]*    \(.*\)$/\1\t\2/p' |
    awk -F'\t' -v n="${name:-(Default)}" '$1==n {print $2}'
}
key_exists() { wine reg query "$1" ${2:-} >/dev/null 2>&1; }
languages=$(cd "$here/app/lang" && ls ./*.ini | sed 's|^\./||')

# installed_files_present: every installed file and entry is there.
installed_files_present() {
  local f
  [ -f "$dir/HiveSweep.exe" ] && cmp -s "$dir/HiveSweep.exe" "$build/HiveSweep.exe" ||
    fail "HiveSweep.exe is not installed under $dir_win"
  for f in $languages; do
    [ -f "$dir/$f" ] || fail "the language file $f is not installed"
  done
  [ -f "$dir/uninstall.exe" ] || fail "no uninstaller"
  [ -f "$shortcut" ] || fail "no Start menu shortcut"
  [ "$(reg_value "$app_paths_key" '')" = "$exe" ] || fail "App Paths does not name $exe"
  [ "$(reg_value "$uninst_key" DisplayName /reg:32)" = HiveSweep ] || fail "no uninstall entry"
}
# nothing_installed_left: no installed file, folder or entry is left.
nothing_installed_left() {
  [ ! -e "$dir" ] || fail "the program folder is left: $(ls "$dir")"
  [ ! -e "$programs/HiveSweep" ] || fail "the Start menu folder is left"
  key_exists "$app_paths_key" && fail "the App Paths entry is left"
  key_exists "$uninst_key" /reg:32 && fail "the uninstall entry is left"
  key_exists "$uninst_key" /reg:64 && fail "an uninstall entry is left in the 64-bit view"
  return 0
}
# quiet_uninstall ARG...: the registered uninstaller with ARGs; it hands over
# to a copy of itself and returns, so wait until the prefix's processes end.
quiet_uninstall() {
  local uninstaller
  uninstaller=$(reg_value "$uninst_key" UninstallString /reg:32 | sed 's/^"\(.*\)"$/\1/')
  [ -n "$uninstaller" ] || fail "no UninstallString"
  wine "$uninstaller" "$@" || fail "the uninstaller $* failed to start"
  timeout 120 wineserver -w || fail "the uninstaller $* did not end within two minutes"
}

# 1. The very silent install and what it registers.
code=0
timeout 120 wine 'C:\hs-setup.exe' /verysilent || code=$?
[ "$code" -eq 0 ] || fail "the installer /verysilent exited with $code"
installed_files_present
[ "$(reg_value "$app_paths_key" Path)" = "$dir_win" ] || fail "App Paths' Path is not $dir_win"
declare -A want=(
  [DisplayVersion]="$version" [Publisher]=Corvanta [DisplayIcon]="$exe" [InstallLocation]="$dir_win"
  [UninstallString]="\"$dir_win\\uninstall.exe\"" [QuietUninstallString]="\"$dir_win\\uninstall.exe\" /S"
  [NoModify]=0x1 [NoRepair]=0x1)
for name in "${!want[@]}"; do
  got=$(reg_value "$uninst_key" "$name" /reg:32)
  [ "$got" = "${want[$name]}" ] || fail "uninstall entry $name is '$got', not '${want[$name]}'"
done
size=$(( $(reg_value "$uninst_key" EstimatedSize /reg:32) ))
actual=$(du -sk "$dir" | cut -f1)
[ "$size" -gt $((actual * 9 / 10)) ] && [ "$size" -lt $((actual * 11 / 10 + 8)) ] ||
  fail "EstimatedSize is $size KB, the folder holds $actual KB"
echo "ok: /verysilent installs $(echo "$languages" | wc -w) language files, the shortcut, App Paths and the uninstall entry"

# 2. A running program is neither replaced nor removed.
wine "$exe" rem &
running=$!
sleep 3
code=0
timeout 90 wine 'C:\hs-setup.exe' /S || code=$?
[ "$code" -ne 0 ] && [ "$code" -ne 124 ] || fail "the installer over a running program exited with $code"
# In place (_?=, which must stand unquoted at the end), so its exit code counts.
printf '@"%s\\uninstall.exe" /S _?=%s\r\n@exit /b %%errorlevel%%\r\n' "$dir_win" "$dir_win" > hs-uninstall.bat
code=0
timeout 60 wine cmd /c 'C:\hs-uninstall.bat' || code=$?
[ "$code" -ne 0 ] && [ "$code" -ne 124 ] || fail "the uninstaller of a running program exited with $code"
kill -0 "$running" 2>/dev/null || fail "the running program ended meanwhile"
installed_files_present
kill "$running" 2>/dev/null || true
wait "$running" 2>/dev/null || true
echo "ok: with the program running, the installer and the uninstaller end with an error, changing nothing"

# 3. The installed program's scan: broken entries beside the installed ones
# are reported, the installed ones are not.
wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\hs-e2e-gone.exe' /ve /d 'C:\hs-e2e-gone\gone.exe' /f >/dev/null
wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\HsE2eGone' /v DisplayName /d HsE2eGone /f /reg:32 >/dev/null
wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\HsE2eGone' /v UninstallString /d '"C:\hs-e2e-gone\remove.exe" /x' /f /reg:32 >/dev/null
wine 'C:\Program Files\HiveSweep\hs_make_shortcut.exe' 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\hs-e2e-gone.lnk' 'C:\hs-e2e-gone\gone.exe' \
  >/dev/null || fail "the broken shortcut could not be made"
hs_unattended scan || fail "the installed program's scan failed"
[ -f "$data/results.hsw" ] || fail "the scan wrote no results.hsw"
python3 -c 'import re, sys
for s in re.findall(rb"(?:[\x20-\x7e]\x00){3,}", open(sys.argv[1], "rb").read()): print(s.decode("utf-16-le"))' \
  "$data/results.hsw" > "$out/results.txt"
for broken in 'App Paths\hs-e2e-gone.exe' 'Uninstall\HsE2eGone' 'hs-e2e-gone.lnk'; do
  grep -qiF -- "$broken" "$out/results.txt" || fail "the scan did not report the broken $broken"
done
for entry in 'App Paths\HiveSweep.exe' 'Uninstall\HiveSweep' 'HiveSweep.lnk' "$dir_win"; do
  if grep -iF -- "$entry" "$out/results.txt"; then fail "the scan reports the installed $entry"; fi
done
wine reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\hs-e2e-gone.exe' /f >/dev/null
wine reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\HsE2eGone' /f /reg:32 >/dev/null
rm -f "$programs/hs-e2e-gone.lnk"
echo "ok: the installed program's scan reports the broken entries, none of the installed ones"

# 4. The registered quiet uninstall keeps the data folder and settings.
wine reg add "$settings_key" /v HsE2eKept /t REG_DWORD /d 1 /f >/dev/null
wine reg add "$run_key" /v HSWReminder /d "\"$exe\" -rem" /f >/dev/null
wine reg add "$run_key" /v HsE2eOther /d 'C:\windows\notepad.exe' /f >/dev/null
quiet_uninstall /S
nothing_installed_left
[ -f "$data/results.hsw" ] || fail "the uninstall removed the data folder"
[ "$(reg_value "$settings_key" HsE2eKept)" = 0x1 ] || fail "the uninstall removed the settings"
[ -z "$(reg_value "$run_key" HSWReminder)" ] || fail "the program's logon entry is left"
[ -n "$(reg_value "$run_key" HsE2eOther)" ] || fail "the uninstall removed another program's logon entry"
wine reg delete "$run_key" /v HsE2eOther /f >/dev/null
echo "ok: /S uninstalls everything and keeps the data folder and settings"

# 5. /S installs; /VERYSILENT /REMOVEDATA removes the data folder too.
code=0
timeout 120 wine 'C:\hs-setup.exe' /S || code=$?
[ "$code" -eq 0 ] || fail "the installer /S exited with $code"
installed_files_present
quiet_uninstall /VERYSILENT /REMOVEDATA
nothing_installed_left
[ ! -e "$data" ] || fail "/removedata left the data folder"
key_exists "$settings_key" && fail "/removedata left the settings"
echo "ok: /S installs; /removedata removes the data folder and settings"
echo "installer checks passed"
