#!/usr/bin/env bash
# A blank hive, and one hivex extended with a key and three values, read by a
# second, independent reader (regfinfo and regfexport of libregf-utils):
# both files open without errors, and the export of the extended one lists
# the added key and values.
#   blank-hive-check.sh HS_MAKE_BLANK_HIVE WORK_DIR
set -euo pipefail
make_hive=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
fail() { echo "FAILED: $*"; exit 1; }

"$make_hive" "$work/blank.hiv" || fail "the blank hive was not written"
"$make_hive" "$work/sample.hiv" --with-sample-keys || fail "hivex did not extend the blank hive"
[ "$(stat -c %s "$work/blank.hiv")" -eq 8192 ] || fail "the blank hive is not 8192 bytes"

for hive in blank sample; do
  regfinfo "$work/$hive.hiv" >"$work/$hive.info" 2>&1 || { cat "$work/$hive.info"; fail "regfinfo cannot read $hive.hiv"; }
  regfexport "$work/$hive.hiv" >"$work/$hive.export" 2>&1 || { cat "$work/$hive.export"; fail "regfexport cannot read $hive.hiv"; }
  if grep -qiE 'error|unable|unsupported|corrupt' "$work/$hive.info" "$work/$hive.export"; then
    cat "$work/$hive.info" "$work/$hive.export"
    fail "a reader reported a problem with $hive.hiv"
  fi
done

grep -q 'Version:[[:space:]]*1\.5$' "$work/blank.info" || { cat "$work/blank.info"; fail "regfinfo does not see version 1.5"; }
grep -q '^(key:) ROOT$' "$work/blank.info" || { cat "$work/blank.info"; fail "regfinfo does not list the root key"; }
grep -qx 'Key path: ROOT' "$work/blank.export" || { cat "$work/blank.export"; fail "regfexport does not list the root key"; }
grep -q 'Sample' "$work/blank.export" && fail "the blank hive already holds the sample key"

# The reader checks the base block checksum: a copy with one bit of it
# flipped is refused, so the accepted files carry a right one.
cp "$work/blank.hiv" "$work/bad-checksum.hiv"
printf '\x01' | dd of="$work/bad-checksum.hiv" bs=1 seek=508 conv=notrunc status=none
regfinfo "$work/bad-checksum.hiv" >"$work/bad-checksum.info" 2>&1 && fail "regfinfo accepts a wrong checksum"
grep -q 'checksum' "$work/bad-checksum.info" || { cat "$work/bad-checksum.info"; fail "regfinfo refused the copy for another reason"; }

export_of() { cat "$work/sample.export"; }
export_of | grep -qx 'Key path: ROOT\\Sample' || { export_of; fail "the added key is not listed"; }
export_of | grep -qx 'Value: [0-9]* Text' || { export_of; fail "the REG_SZ value is not listed"; }
export_of | grep -qx 'Value: [0-9]* Number' || { export_of; fail "the REG_DWORD value is not listed"; }
export_of | grep -qx 'Value: [0-9]* Blob' || { export_of; fail "the REG_BINARY value is not listed"; }
export_of | grep -A3 'Value: [0-9]* Text' | grep -q '(REG_SZ)' || fail "Text is not a REG_SZ"
export_of | grep -A3 'Value: [0-9]* Text' | grep -qx 'Data: Hello, hive' || fail "the string value's data differs"
export_of | grep -A3 'Value: [0-9]* Number' | grep -q '(REG_DWORD' || fail "Number is not a REG_DWORD"
export_of | grep -A3 'Value: [0-9]* Number' | grep -qx 'Data: 305419896' || fail "the DWORD value's data differs"
export_of | grep -A4 'Value: [0-9]* Blob' | grep -q '(REG_BINARY)' || fail "Blob is not a REG_BINARY"
export_of | grep -A4 'Value: [0-9]* Blob' | grep -q '^00000000: 00 01 7f ff ' || fail "the binary value's data differs"
echo "blank hive read by regfinfo and regfexport"
