#!/bin/sh
# Copies samples/defrag-machine to OUT (replaced) and writes its fragmented
# hive files with hs_hive_fixture (the recipe of samples/defrag-machine/README.md).
#   make-defrag-machine.sh HS_HIVE_FIXTURE OUT
set -eu
fixture=$1
out=$2
src=$(dirname "$0")/../samples/defrag-machine
rm -rf "$out"
mkdir -p "$out"
cp -R "$src"/. "$out"/
config=$out/drive_c/Windows/System32/config
profile=$out/drive_c/Users/demo
# name, root key, keys added (three in four are deleted again)
"$fixture" fragmented "$config/SYSTEM" SYSTEM 240
"$fixture" fragmented "$config/SOFTWARE" SOFTWARE 320
"$fixture" fragmented "$config/SAM" SAM 40
"$fixture" fragmented "$config/SECURITY" SECURITY 60
"$fixture" fragmented "$config/COMPONENTS" COMPONENTS 80
"$fixture" fragmented "$config/DEFAULT" DEFAULT 40
"$fixture" fragmented "$profile/NTUSER.DAT" "S-1-5-21-1000-1001" 200
"$fixture" fragmented "$profile/AppData/Local/Microsoft/Windows/UsrClass.dat" "S-1-5-21-1000-1001_Classes" 120
