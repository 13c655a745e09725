#!/usr/bin/env bash
# Checks HiveSweep.exe's resources: the numbered and named HTML pages, one
# resource per file of app/pages, the icon, the main, About, backup progress
# and exclusion add dialogs, the
# version (FileVersion and ProductVersion = VERSION) and the manifest
# (common controls 6, asInvoker, DPI awareness, supported systems).
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
# Supported systems: Vista, 7, 8, 8.1, and 10 (which also stands for 11).
for os in e2011457-1546-43c5-a5fe-008deee3d3f0 35138b9a-5d96-4fbd-8e2d-a2440225f93a \
          4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 1f676c76-80e1-4239-95bb-83d0f6d0da78 \
          8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
  grep -q "supportedOS Id=\"{$os}\"" <<<"$manifest" || fail "manifest does not declare supported system $os"
done
echo "resources of $(basename "$exe") checked"
