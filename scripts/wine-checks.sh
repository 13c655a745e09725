# Shared set-up of the Wine checks (scripts/*-e2e.sh), sourced after the
# caller has set `here` (the source tree): the private prefix, the program
# installed under C:\Program Files\HiveSweep, its data folder and log, and
# the probes' answer files.

# hs_in_xvfb SCRIPT ARGS...: runs the calling script again, once, under a
# virtual display.
hs_in_xvfb() {
  [ -n "${HS_IN_XVFB:-}" ] && return 0
  exec env HS_IN_XVFB=1 xvfb-run -a -s "-screen 0 1280x800x24" "$@"
}

# hs_prefix HOME FILE...: the private prefix under HOME (made when missing),
# its environment exported, FILEs installed; sets `install`, `exe`, `data`.
hs_prefix() {
  local home=$1
  shift
  export HS_BUILD_DIR="$home"
  "$here/scripts/wine-run.sh" --prepare
  export WINEPREFIX="$home/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
  export XDG_DATA_HOME="$home/wine-xdg"
  install="$WINEPREFIX/drive_c/Program Files/HiveSweep"
  mkdir -p "$install"
  [ $# -eq 0 ] || cp "$@" "$install/"
  exe='C:\Program Files\HiveSweep\HiveSweep.exe'
  data="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Corvanta/HiveSweep"
}

# hs_window_check NAME: the prefix under $build with HiveSweep.exe, the
# window probe and the language file; sets `out` (BUILD_DIR/NAME, emptied)
# and `probe_exe` (the probe's path in the prefix).
hs_window_check() {
  hs_prefix "$build" "$build/HiveSweep.exe" "$build/hs_window_probe.exe" "$build/eng_hsw.ini"
  out="$build/$1"
  rm -rf "$out" && mkdir -p "$out"
  probe_exe='C:\Program Files\HiveSweep\hs_window_probe.exe'
}

# hs_desktop_probe NAME MODE [ARGS...]: the window probe ($probe_exe) in the
# virtual desktop $desktop (windows of another desktop are not found),
# writing $probe_out (a file of drive C:); its control list in $out/NAME.txt.
# Calls the script's `fail` when the probe does not end with 0.
hs_desktop_probe() {
  local name=$1 i
  shift
  rm -f "$probe_out"
  wine explorer "$desktop" "$probe_exe" "C:\\$(basename "$probe_out")" HiveSweep "$@" &
  for i in $(seq 90); do
    grep -q '^end ' "$probe_out" 2>/dev/null && break
    sleep 1
  done
  sed 's/^\xEF\xBB\xBF//' "$probe_out" > "$out/$name.txt" 2>/dev/null || true
  grep -q '^end 0' "$out/$name.txt" || fail "probe $name ($*) failed"
}

# hs_english KEY: the text of KEY in the build's English language file
# (UTF-16LE), as it is stored.
hs_english() {
  iconv -f UTF-16LE -t UTF-8 "$build/eng_hsw.ini" | tr -d '\r' | sed -n "s/^$1=//p"
}

# hs_unattended ARG...: HiveSweep.exe ARG... (an unattended run) whose result
# pop-up the window probe (installed with the program) closes; the run's
# exit code, or 1 when no pop-up came within four minutes.
hs_unattended() {
  local run code=0
  wine "$exe" "$@" &
  run=$!
  if ! wine 'C:\Program Files\HiveSweep\hs_window_probe.exe' 'C:\hs-popup-probe.txt' HiveSweep popup 240 close \
    >/dev/null 2>&1; then
    kill "$run" 2>/dev/null || true
    wait "$run" 2>/dev/null || true
    echo "HiveSweep.exe $*: no result pop-up came" >&2
    return 1
  fi
  wait "$run" || code=$?
  return "$code"
}

# The folder of the prefix's work items (.job files), whatever its case.
hs_tasks_folder() {
  local f
  for f in "$WINEPREFIX"/drive_c/windows/*; do
    [ "$(basename "$f" | tr '[:upper:]' '[:lower:]')" = tasks ] && { echo "$f"; return; }
  done
  echo "$WINEPREFIX/drive_c/windows/tasks"
}

# The program's debug logs, as UTF-8 without CRs.
log_text() { cat "$data"/log_*.log 2>/dev/null | iconv -f utf-16le -t utf-8 | tr -d '\r'; }

# The probe's answer file ($probe_out), without its BOM and CRs.
probe_text() { { iconv -f utf-8 -t utf-8 "$probe_out" 2>/dev/null || true; } | sed 's/^\xEF\xBB\xBF//' | tr -d '\r'; }

# wait_probe PATTERN SECONDS: until the probe's answer holds PATTERN.
wait_probe() {
  local i
  for i in $(seq "$2"); do
    probe_text | grep -q "$1" && return 0
    sleep 1
  done
  return 1
}
