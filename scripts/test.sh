#!/usr/bin/env bash
# Runs every test: the native suites (portable adapters), the same under
# AddressSanitizer/UBSan, the threaded suites under ThreadSanitizer, then the win32
# suites under Wine (Win32 adapters, real registry), then the Wine checks
# that compare the two. Builds first. Exits non-zero when any test fails.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

status=0
cmake --preset native >/dev/null && cmake --build --preset native || exit 1
cmake --preset native-asan >/dev/null && cmake --build --preset native-asan || exit 1
cmake --preset native-tsan >/dev/null && cmake --build --preset native-tsan || exit 1
cmake --preset win32 >/dev/null && cmake --build --preset win32 || exit 1

echo "=== native tests (portable adapters) ==="
ctest --preset native || status=1
echo "=== native tests under AddressSanitizer and UBSan ==="
ctest --preset native-asan || status=1
echo "=== engine, backup and application tests under ThreadSanitizer ==="
ctest --preset native-tsan || status=1
echo "=== win32 tests under Wine (Win32 adapters) ==="
ctest --preset win32 || status=1
HS_BUILD_DIR="$here/build/win32" scripts/wine-run.sh --stop

if [ $status -eq 0 ]; then echo "all test suites passed"; else echo "some tests FAILED"; fi
exit $status
