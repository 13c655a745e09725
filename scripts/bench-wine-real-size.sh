#!/usr/bin/env bash
# Loads a generated registry of real size into a private Wine prefix (the
# 64-bit editor, so both views fill as on Windows; the program files and
# documents under its drive C:) and runs the win32 hs_bench_real_size on
# that live registry, pinned to one core: the bare walk, the scan of all
# areas (area by area too with --per-area) and the peak working set of the
# 32-bit program. Needs the native and win32 builds. Prints figures; the
# prefix is kept until the next run (build/win32/wine-real-size), which
# loads it again unless --reuse is given.
#   scripts/bench-wine-real-size.sh [KEYS] [--per-area] [--reuse]  (KEYS: 200000)
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
keys=200000
all_only=--all-only
reuse=
for a in "$@"; do
  case "$a" in
    --per-area) all_only= ;;
    --reuse) reuse=1 ;;
    *) keys=$a ;;
  esac
done
win=$src/build/win32
work=$win/wine-real-size
for f in "$src/build/native/hs_gen_machine" "$win/hs_bench_real_size.exe"; do
  [ -x "$f" ] || { echo "missing $f: build native and win32 first" >&2; exit 2; }
done

export HS_BUILD_DIR=$work
"$src/scripts/wine-run.sh" --stop
[ -f "$work/loaded" ] || reuse=
export WINEPREFIX=$work/wineprefix WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d" XDG_DATA_HOME=$work/wine-xdg
trap '"$src/scripts/wine-run.sh" --stop' EXIT
if [ -n "$reuse" ]; then
  echo "reusing the prefix loaded with $(cat "$work/loaded") keys"
  cd "$win"
  taskset -c 0 wine ./hs_bench_real_size.exe $all_only
  exit
fi
rm -rf "$work"
mkdir -p "$work"
"$src/build/native/hs_gen_machine" --keys "$keys" --out "$work/machine" --sample none
"$src/scripts/wine-run.sh" --prepare
cd "$WINEPREFIX/drive_c"
cp "$work/machine/registry.reg" generated.reg
t0=$(date +%s)
/usr/lib/wine/wine64 regedit /s 'C:\generated.reg'
# The editor's exit code says nothing: read a generated key back.
/usr/lib/wine/wine64 reg query 'HKLM\SOFTWARE\Vendor0\App0' >/dev/null 2>&1 \
  || { echo "the generated registry did not load" >&2; exit 1; }
rm generated.reg
"$src/scripts/copy-machine-files.sh" "$work/machine/drive_c" "$WINEPREFIX/drive_c"
echo "loaded $keys generated keys into the prefix in $(( $(date +%s) - t0 )) s"
echo "$keys" > "$work/loaded"
cd "$win"
taskset -c 0 wine ./hs_bench_real_size.exe $all_only
