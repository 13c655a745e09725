#!/usr/bin/env bash
# HiveSweep.exe in German, Russian and Japanese under Wine on a virtual
# display, installed with every language file: LangID under HKEY_CURRENT_USER
# selects the language; the backup screen and the four settings pages show
# that language's texts (Apply, the page names), no caption is empty or a
# key, and no button or static text is cut off in the control's font (the
# window probe measures each). From German, the help menu's Russian entry
# (command 475 + 14) asks, and Yes restarts the program in Russian.
# Screenshots land in BUILD_DIR/languages-e2e.
#   languages-e2e.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/wine-checks.sh"
hs_in_xvfb "$0" "$build"
hs_prefix "$build" "$build/HiveSweep.exe" "$build/hs_window_probe.exe" "$here"/app/lang/*.ini
out="$build/languages-e2e"
rm -rf "$out" && mkdir -p "$out"
probe_exe='C:\Program Files\HiveSweep\hs_window_probe.exe'
probe_out="$WINEPREFIX/drive_c/hs-languages-probe.txt"
desktop=/desktop=HiveSweep,1000x700

# The language change writes LangID under HKEY_LOCAL_MACHINE too: the
# prefix is shared with the other checks, which expect English.
reset_language() {
  wine reg delete 'HKCU\Software\Corvanta' /f >/dev/null 2>&1 || true
  wine reg delete 'HKLM\Software\Corvanta\HiveSweep\LANG' /f >/dev/null 2>&1 || true
  wine reg delete 'HKLM\Software\Wow6432Node\Corvanta\HiveSweep\LANG' /f >/dev/null 2>&1 || true
}
fail() {
  echo "FAILED: $*"
  reset_language
  wineserver -k 2>/dev/null || true
  exit 1
}
probe() { hs_desktop_probe "$@"; }
shot() { sleep 0.5; import -window root "$out/$1.png"; }
# text FILE KEY: the stored text of KEY in a language file.
text() { iconv -f UTF-16LE -t UTF-8 "$here/app/lang/$1" | tr -d '\r' | sed -n "s/^$2=//p"; }
# checked NAME: visible captions present, not keys, none cut off.
checked() {
  local bad
  bad=$(grep -E '^ctl (Button|Static) -?[0-9]+ visible=1 ' "$out/$1.txt" |
        grep -E ' text=$| text=(IDS_|IDC_|AFX_|string[0-9])| fits=0 ' || true)
  [ -z "$bad" ] || fail "$1: empty, key-named or cut captions:"$'\n'"$bad"
}
has() { grep -qF -- "$2" "$out/$1.txt" || fail "$1: no \"$2\""; }

for entry in 5:German_hsw.ini:de 14:russian_hsw_ru.ini:ru 7:Japanese_hsw.ini:ja; do
  IFS=: read -r id file code <<<"$entry"
  reset_language
  wine reg add 'HKCU\Software\Corvanta\HiveSweep\LANG' /v LangID /t REG_DWORD /d "$id" /f >/dev/null
  rm -rf "$data"
  wine explorer "$desktop" "$exe" &
  probe "$code-started" list
  has "$code-started" "text=$(text "$file" IDS_BTN_SETTINGS)"

  probe "$code-backup" command 214
  shot "$code-backup"
  checked "$code-backup"
  has "$code-backup" "text=$(text "$file" IDS_BTN_TAKE_FULL_REG_BKUP)"

  probe "$code-settings" command 256
  shot "$code-settings-general"
  checked "$code-settings"
  for key in IDS_ST_PAGE_GENERAL IDS_BTN_APPLY; do has "$code-settings" "text=$(text "$file" "$key")"; done
  grep -E '^ctl ComboBox 1210 ' "$out/$code-settings.txt" | grep -q 'items=20 ' ||
    fail "$code: the language list does not hold 20 languages"
  for page in 1201:areas 1202:exclusions 1203:schedule; do
    IFS=: read -r button name <<<"$page"
    probe "$code-$name" click "$button"
    shot "$code-settings-$name"
    checked "$code-$name"
  done
  if [ "$code" = de ]; then
    probe de-menu-russian command 489
    probe de-menu-yes answer 6
    has de-menu-yes "text=$(text German_hsw.ini IDS_LANG_CHANGE_PROMPT | cut -c1-30)"
    for i in $(seq 60); do
      probe de-restarted list
      grep -qF "text=$(text russian_hsw_ru.ini IDS_BTN_SETTINGS)" "$out/de-restarted.txt" && break
      sleep 1
    done
    has de-restarted "text=$(text russian_hsw_ru.ini IDS_BTN_SETTINGS)"
    shot de-restarted-russian
    wine reg query 'HKCU\Software\Corvanta\HiveSweep\LANG' /v LangCode | grep -q ru || fail "LangCode is not ru"
    echo "ok (${SECONDS} s): the language menu restarts the program in Russian"
  fi
  wineserver -k 2>/dev/null || true
  echo "ok (${SECONDS} s): $code"
done
reset_language
wineserver -k 2>/dev/null || true
echo "language checks passed; screenshots in $out"
