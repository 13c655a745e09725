#!/usr/bin/env bash
# Checks HiveSweep.exe's resources: the numbered and named HTML pages, one
# resource per file of app/pages, the icon, the main, About, backup progress
# and exclusion add dialogs, the
# version (FileVersion and ProductVersion = VERSION) and the manifest
# (common controls 6, asInvoker, DPI awareness).
#   check-resources.sh EXE SOURCE_DIR VERSION
set -euo pipefail
exe=$1 src=$2 version=$3
rc=$(i686-w64-mingw32-windres -i "$exe" -O rc)
fail() { echo "FAILED: $*"; exit 1; }
has_html() { grep -Eq "^\"?$1\"? 23 " <<<"$rc" || fail "no HTML resource $1"; }
for page in 444 446 447 448 455 AFTER_REPAIR.HTML OPTIMISATION.HTML; do has_html "$page"; done
if [ -d "$src/app/pages" ]; then
  for f in "$src"/app/pages/*; do
    [ -f "$f" ] || continue
    name=$(basename "$f" | tr '[:lower:]' '[:upper:]')
    has_html "$(sed 's/[.]/[.]/g' <<<"$name")"
  done
fi
grep -Eq '^1 14 ' <<<"$rc" || fail "no icon group"
grep -Eq '^100 DIALOGEX' <<<"$rc" || fail "no main dialog"
grep -Eq '^101 DIALOGEX' <<<"$rc" || fail "no About dialog"
grep -Eq '^102 DIALOGEX' <<<"$rc" || fail "no backup progress dialog"
grep -Eq '^103 DIALOGEX' <<<"$rc" || fail "no exclusion add dialog"
IFS=. read -r major minor patch <<<"$version"
grep -q "FILEVERSION $major, $minor, $patch, 0" <<<"$rc" || fail "FILEVERSION is not $version"
grep -q "VALUE \"FileVersion\", \"$version\"" <<<"$rc" || fail "FileVersion text is not $version"
grep -q "VALUE \"ProductVersion\", \"$version\"" <<<"$rc" || fail "ProductVersion text is not $version"
# The manifest's bytes, as windres prints them in the resource dump.
manifest=$(strings -n 8 "$exe" | tr -d '\r' | sed -n '/<assembly/,/<\/assembly>/p')
grep -q 'Microsoft.Windows.Common-Controls' <<<"$manifest" || fail "manifest lacks common controls"
grep -q 'version="6.0.0.0"' <<<"$manifest" || fail "manifest asks for another common controls version"
grep -q 'level="asInvoker"' <<<"$manifest" || fail "manifest lacks asInvoker"
grep -q '<dpiAware>true</dpiAware>' <<<"$manifest" || fail "manifest lacks DPI awareness"
echo "resources of $(basename "$exe") checked"
