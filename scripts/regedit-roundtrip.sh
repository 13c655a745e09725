#!/usr/bin/env bash
# Whole-registry check of the portable store against Wine: exports the test
# prefix's registry with Wine's own regedit (32-bit and 64-bit), loads each
# export into the store with the native front end, saves it back and compares
# keys, values, types and data.
#   regedit-roundtrip.sh NATIVE_HIVESWEEP
set -euo pipefail
native=$1
here=$(cd "$(dirname "$0")/.." && pwd)
: "${HS_BUILD_DIR:?}"
"$here/scripts/wine-run.sh" --prepare
export WINEPREFIX="$HS_BUILD_DIR/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
out="$HS_BUILD_DIR/regedit-roundtrip"
rm -rf "$out" && mkdir -p "$out"
# regedit writes into the prefix; copy the files out.
wine regedit /e 'C:\export32.reg'
/usr/lib/wine/wine64 regedit /e 'C:\export64.reg'
cp "$WINEPREFIX/drive_c/export32.reg" "$WINEPREFIX/drive_c/export64.reg" "$out/"
rm -f "$WINEPREFIX/drive_c/export32.reg" "$WINEPREFIX/drive_c/export64.reg"
echo "32-bit regedit export:"
"$native" regcheck --view 32 "$out/export32.reg"
echo "64-bit regedit export:"
"$native" regcheck --view 64 "$out/export64.reg"
