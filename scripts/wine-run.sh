#!/usr/bin/env bash
# Runs a win32 program under Wine in a private 64-bit (WOW64) prefix kept in
# the build folder, so nothing touches the user's own Wine set-up or files.
#   wine-run.sh PROGRAM [ARGS...]   run (creates the prefix when missing)
#   wine-run.sh --prepare           create the prefix only
#   wine-run.sh --stop              stop this prefix's wineserver
set -euo pipefail

find_build_dir() {
  local d
  d=$(cd "$(dirname "$1")" && pwd)
  while [ "$d" != "/" ]; do
    [ -f "$d/CMakeCache.txt" ] && { echo "$d"; return; }
    d=$(dirname "$d")
  done
  echo "$PWD"
}

if [ -z "${HS_BUILD_DIR:-}" ]; then
  case "${1:-}" in --prepare|--stop) HS_BUILD_DIR=$PWD ;; *) HS_BUILD_DIR=$(find_build_dir "$1") ;; esac
fi
export WINEPREFIX="$HS_BUILD_DIR/wineprefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
export XDG_DATA_HOME="$HS_BUILD_DIR/wine-xdg"
export DISPLAY="${DISPLAY:-}"

prepare() {
  mkdir -p "$HS_BUILD_DIR" "$XDG_DATA_HOME"
  exec 9>"$HS_BUILD_DIR/wineprefix.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.hs-ready" ]; then
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wineserver -w
    # Keep everything inside the prefix: no Z: drive onto the host root, and
    # real folders instead of links into the host's home folder.
    rm -f "$WINEPREFIX/dosdevices/z:"
    local u
    for u in "$WINEPREFIX"/drive_c/users/*/; do
      local f
      for f in "$u"* ; do
        if [ -L "$f" ]; then rm -f "$f"; mkdir -p "$f"; fi
      done
    done
    touch "$WINEPREFIX/.hs-ready"
  fi
  flock -u 9
}

case "${1:-}" in
  --prepare) prepare ;;
  --stop) [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null || true ;;
  "") echo "usage: $0 PROGRAM [ARGS...] | --prepare | --stop" >&2; exit 2 ;;
  *) prepare; exec wine "$@" ;;
esac
