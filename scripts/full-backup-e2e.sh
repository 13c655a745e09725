#!/usr/bin/env bash
# Full registry backup and restore of the win32 front end on Wine's real
# registry:
#  1. scratch keys and values seeded in both views (32-bit and 64-bit reg.exe,
#     under HKCU\Software and HKLM\Software) are backed up with
#     "hivesweep backup", then deleted and changed in both views;
#     "hivesweep restore" of the backup brings them back: whole-registry
#     exports (32-bit and 64-bit regedit) taken before the backup and after
#     the restore hold the same keys, values, types and data;
#  2. restoring a truncated copy of the backup (cut at a line end or inside
#     a line), a malformed .reg file or random bytes fails (non-zero exit)
#     and changes nothing.
#   full-backup-e2e.sh BUILD_DIR NATIVE_HIVESWEEP
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
out="$build/full-backup-e2e"
rm -rf "$out" && mkdir -p "$out"
data_win='C:\hs-full-e2e'
data="$WINEPREFIX/drive_c/hs-full-e2e"
rm -rf "$data"
fail() { echo "FAILED: $*"; exit 1; }
hs() { wine "$cli" "$@" --data "$data_win"; }

utf16() { { printf '\xff\xfe'; iconv -f utf-8 -t utf-16le; } }
export_all() {  # export_all NAME: both views of the whole registry into $out
  wine regedit /e 'C:\hs-export32.reg'
  "$wine64" regedit /e 'C:\hs-export64.reg'
  mv "$WINEPREFIX/drive_c/hs-export32.reg" "$out/$1-32.reg"
  mv "$WINEPREFIX/drive_c/hs-export64.reg" "$out/$1-64.reg"
}
# Keys left out of the comparisons: our own settings. (Wine 8 itself changed
# no key between the exports of a run; add any that it does, each with why.)
ignored=(
  'HKEY_CURRENT_USER\Software\Corvanta'
  'HKEY_USERS\*\Software\Corvanta'
)
compare() {  # compare A B: the two exports agree, ignored keys aside
  local args=() k view
  for k in "${ignored[@]}"; do args+=(--ignore "$k"); done
  for view in 32 64; do
    "$native" regcompare "${args[@]}" "$out/$1-$view.reg" "$out/$2-$view.reg" \
      || fail "$view-bit registry differs between $1 and $2"
  done
}

cleanup() {
  local r
  for r in wine "$wine64"; do
    $r reg delete 'HKLM\Software\HsFullE2E' /f >/dev/null 2>&1 || true
  done
  wine reg delete 'HKCU\Software\HsFullE2E' /f >/dev/null 2>&1 || true
}
cleanup
trap cleanup EXIT

# --- seed both views ----------------------------------------------------------
# reg32/reg64 KEY ARGS...: reg add with the 32-bit or the 64-bit reg.exe.
reg32() { wine reg add "$@" /f >/dev/null || fail "reg add $*"; }
reg64() { "$wine64" reg add "$@" /f >/dev/null || fail "reg add $*"; }
for view in 32 64; do
  r=reg$view
  k='HKLM\Software\HsFullE2E'
  $r "$k" /v view /t REG_SZ /d "view $view"
  $r "$k" /v blob /t REG_BINARY /d "00ff10$view"
  $r "$k" /v list /t REG_MULTI_SZ /d "one\\0two $view\\0three"
  $r "$k" /v path /t REG_EXPAND_SZ /d "%SystemRoot%\\hs$view.dll"
  $r "$k" /v count /t REG_DWORD /d "$view"
  $r "$k\\Gone" /v kept /t REG_SZ /d "gone $view"
  $r "$k\\Gone\\Deeper" /ve /t REG_SZ /d "deeper $view"
  # HKCU\Software is one key for both views: each view seeds its own subkey.
  k="HKCU\\Software\\HsFullE2E\\From$view"
  $r "$k" /v blob /t REG_BINARY /d "0a0b0c$view"
  $r "$k" /v list /t REG_MULTI_SZ /d "a\\0b"
  $r "$k" /v path /t REG_EXPAND_SZ /d "%TEMP%\\hs$view"
  $r "$k\\Gone" /v kept /t REG_DWORD /d 1
done

# --- 1. back up, change both views, restore -----------------------------------
export_all before
hs backup > "$out/backup.txt" || { cat "$out/backup.txt"; fail "backup failed"; }
cat "$out/backup.txt"
# The front end names the file as the program sees its data folder: take
# the name and find it in the folder given by --data.
name=$(sed -n 's/^Full backup: .*\\\([^\\]*\)$/\1/p' "$out/backup.txt" | tr -d '\r' | head -1)
[ -n "$name" ] || fail "the backup named no file"
backup_win="$data_win\\$name"
backup="$data/$name"
[ -s "$backup" ] || fail "the backup file $backup_win is missing or empty"
hs backups > "$out/backups.txt" || fail "listing the backups failed"
grep -q '^Full backups' "$out/backups.txt" || fail "no full backups section"
grep -qF "$(basename "$backup")" "$out/backups.txt" || { cat "$out/backups.txt"; fail "the backup is not listed"; }

for view in 32 64; do
  r=reg$view
  if [ $view = 32 ]; then del=(wine reg delete); else del=("$wine64" reg delete); fi
  "${del[@]}" 'HKLM\Software\HsFullE2E\Gone' /f >/dev/null || fail "delete in the $view-bit view"
  "${del[@]}" "HKCU\\Software\\HsFullE2E\\From$view\\Gone" /f >/dev/null || fail "delete under HKCU"
  $r 'HKLM\Software\HsFullE2E' /v view /t REG_SZ /d changed
  $r 'HKLM\Software\HsFullE2E' /v blob /t REG_DWORD /d 5
  $r "HKCU\\Software\\HsFullE2E\\From$view" /v list /t REG_MULTI_SZ /d changed
done
hs restore "$backup_win" > "$out/restore.txt" || { cat "$out/restore.txt"; fail "restore failed"; }
cat "$out/restore.txt"
export_all after
compare before after
echo "ok: a full backup restores both views"

# --- 2. damaged files change nothing ------------------------------------------
# Change a value the backup holds, so that any part of it applied shows.
reg64 'HKLM\Software\HsFullE2E' /v view /t REG_SZ /d 'after the restore'
reg32 'HKLM\Software\HsFullE2E' /v view /t REG_SZ /d 'after the restore'
export_all damaged-before

# The backup up to and with the seeded 64-bit key, cut at a line end (it
# parses) and cut inside the next key's name: what precedes the cut is
# well-formed and would change the registry.
iconv -f utf-16le -t utf-8 "$backup" > "$out/backup-utf8.reg"
start=$(grep -n -i -m1 '^\[HKEY_LOCAL_MACHINE\\SOFTWARE\\HsFullE2E\]' "$out/backup-utf8.reg" | cut -d: -f1)
[ -n "$start" ] || fail "the backup lacks the seeded key"
next=$(awk -v s="$start" 'NR > s && /^\[/ { print NR; exit }' "$out/backup-utf8.reg")
[ -n "$next" ] || fail "nothing follows the seeded key in the backup"
head -n $((next - 1)) "$out/backup-utf8.reg" | iconv -f utf-8 -t utf-16le > "$data/cut.reg"
{ head -n $((next - 1)) "$out/backup-utf8.reg"; sed -n "${next}p" "$out/backup-utf8.reg" | head -c 12; } \
  | iconv -f utf-8 -t utf-16le > "$data/truncated.reg"
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\HsFullE2E]\r\n"view"="from a malformed file"\r\n'
  printf 'this line is no registry text\r\n"count"=dword:zz\r\n'
} | utf16 > "$data/malformed.reg"
head -c 65536 /dev/urandom > "$data/random.reg"
for f in cut truncated malformed random; do
  if hs restore "$data_win\\$f.reg" > "$out/restore-$f.txt" 2>&1; then
    cat "$out/restore-$f.txt"; fail "restoring the $f file succeeded"
  fi
  cat "$out/restore-$f.txt"
done
export_all damaged-after
compare damaged-before damaged-after
echo "ok: damaged backups are refused and change nothing"
rm -rf "$data"
