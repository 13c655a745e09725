#!/usr/bin/env bash
# Copies a machine folder's drive C: into a Wine prefix's drive_c, each
# top-level folder into the prefix's folder of the same name in any case
# ("Users" into Wine's "users"): two folders that differ only in case would
# make answers depend on how a path is spelt.
#   copy-machine-files.sh MACHINE_DRIVE_C PREFIX_DRIVE_C
set -euo pipefail
from=$1
to=$2
cd "$to"
for entry in "$from"/*; do
  name=$(basename "$entry")
  target=$(ls | grep -ixF -- "$name" | head -n 1 || true)
  mkdir -p "${target:=$name}"
  cp -r "$entry/." "$target/"
done
