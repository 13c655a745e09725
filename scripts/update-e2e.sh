#!/usr/bin/env bash
# The unattended update check of HiveSweep.exe under Wine against an update
# service on 127.0.0.1 (python's http.server over a folder of answers), the
# endpoint set through the settings value UpdateEndpoint:
#  - the request carries v=<FileVersion of the program's version resource>;
#  - an answer naming a newer version is reported as such, nothing is
#    downloaded or run, and the update pop-up shows (on a virtual display,
#    Xvfb) until its close box ends the process; a click on its link instead
#    fetches the installer (missing here: nothing runs) and the process ends;
#  - an answer naming the same version ends with "ExitProcess : No Updates";
#    so does a missing answer (HTTP 404), and so does a service that is gone;
#  - cli/hivesweep.exe update-check prints the version and what it would do.
#   update-e2e.sh BUILD_DIR VERSION
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/wine-checks.sh"
hs_in_xvfb "$0" "$build" "$version"
hs_prefix "$build" "$build/HiveSweep.exe" "$build/hs_window_probe.exe" "$build/eng_hsw.ini"
cd "$WINEPREFIX/drive_c"
probe='C:\Program Files\HiveSweep\hs_window_probe.exe'
probe_out="$WINEPREFIX/drive_c/hs-update-probe.txt"

out="$build/update-e2e"
rm -rf "$out" && mkdir -p "$out/site/Corvanta/HiveSweep"
key='HKCU\Software\Corvanta\HiveSweep'
fail() { echo "FAILED: $*" >&2; tail -5 "$out/server.log" >&2 2>/dev/null; exit 1; }

: > "$out/server.log"  # the server's own redirection opens it only after the fork
python3 -m http.server 0 --bind 127.0.0.1 --directory "$out/site" > "$out/server.log" 2>&1 &
server=$!
cleanup() {
  kill "$server" 2>/dev/null || true
  wine reg delete "$key" /v UpdateEndpoint /f >/dev/null 2>&1 || true
}
trap cleanup EXIT
port=
for i in $(seq 50); do
  port=$(sed -n 's/.*port \([0-9][0-9]*\).*/\1/p' "$out/server.log" | head -n 1)
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || fail "the update service did not start"
wine reg add "$key" /v UpdateEndpoint /t REG_SZ /d "http://127.0.0.1:$port/Corvanta/HiveSweep/update.asp" /f >/dev/null

answer() {  # answer VERSION: the service offers VERSION
  printf '[Application]\r\nPROGRAM_VERSION=%s\r\nPROGRAM_URL=http://127.0.0.1:%s/setup.exe\r\n' "$1" "$port" \
    > "$out/site/Corvanta/HiveSweep/update.asp"
}
run_check() {  # run_check: the unattended check; the log lines it added
  local before
  before=$(log_text | wc -l)
  wine "$exe" updatecheck || fail "HiveSweep.exe updatecheck failed"
  log_text | tail -n +"$((before + 1))"
}

popup_check() {  # popup_check ACTION: the newer version's run, its pop-up closed or clicked
  local before run
  before=$(log_text | wc -l)
  rm -f "$probe_out"
  wine "$exe" updatecheck &
  run=$!
  wine "$probe" 'C:\hs-update-probe.txt' HiveSweep popup 60 "$1" > /dev/null 2>&1 || fail "no update pop-up to $1"
  probe_text | grep -q 'text=A new version' || fail "the pop-up does not offer the new version"
  timeout 60 tail --pid="$run" -f /dev/null || fail "the process did not end after the pop-up's $1"
  wait "$run" || fail "HiveSweep.exe updatecheck failed"
  log_text | tail -n +"$((before + 1))"
}

answer 99.0.0.0
lines=$(popup_check close)
grep -q "GET /Corvanta/HiveSweep/update.asp?v=$version " "$out/server.log" \
  || fail "the request did not carry the resource's version $version"
echo "$lines" | grep -q 'A newer version is offered: 99.0.0.0' || fail "the newer version was not seen"
echo "$lines" | grep -q 'ExitProcess : No Updates' && fail "a newer version was taken for none"
grep -q 'setup.exe' "$out/server.log" && fail "the unattended check downloaded the installer"
echo "ok: the request names version $version; a newer version is announced, nothing downloaded"
popup_check click > /dev/null
grep -q 'GET /setup.exe' "$out/server.log" || fail "a click on the update pop-up did not fetch the installer"
echo "ok: a click on the update pop-up starts the update"

answer "$version"
run_check | grep -q 'ExitProcess : No Updates' || fail "the same version was not taken as nothing newer"
rm "$out/site/Corvanta/HiveSweep/update.asp"
run_check | grep -q 'ExitProcess : No Updates' || fail "a missing answer was not taken as nothing newer"
[ -f "$data/QZVupdate.ini" ] && fail "a 404 left an update file"

# The front end describes the offer and runs nothing.
answer 99.0.0.0
fetched=$(grep -c 'setup.exe' "$out/server.log" || true)
cli=$(wine "$build/cli/hivesweep.exe" update-check 2>&1 | tr -d '\r') || fail "hivesweep update-check failed: $cli"
echo "$cli" | grep -q "^Own version: $version\$" || fail "update-check did not read the program's version: $cli"
echo "$cli" | grep -q "^Would do: ask to install, download http://127.0.0.1:$port/setup.exe, then refuse" \
  || fail "update-check did not describe the unverified offer: $cli"
[ "$(grep -c 'setup.exe' "$out/server.log" || true)" = "$fetched" ] || fail "update-check downloaded the installer"
echo "ok: update-check names version $version and what it would do"

# With the service gone the unattended check ends by itself, saying nothing.
kill "$server"
wait "$server" 2>/dev/null || true
start=$(date +%s)
lines=$(run_check)
echo "$lines" | grep -q 'ExitProcess : No Updates' || fail "a missing service was not taken as nothing newer"
[ $(( $(date +%s) - start )) -lt 60 ] || fail "the check with the service down took a minute or more"
echo "update check passed"
