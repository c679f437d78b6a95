#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer (asan preset, clang)
# and runs the whole CTest suite under it, leak check included. Any sanitizer report fails
# the step, even one from a process whose exit status did not show it.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"

cmake --preset asan >/dev/null
cmake --build --preset asan -j2
log="$root/build/asan/ctest-output.log"
status=0
ctest --preset asan -j2 -V >"$log" 2>&1 || status=$?
grep -E '^[0-9]+/[0-9]+ Test|tests passed|tests failed|Total Test time' "$log" || true
if grep -qE 'ERROR: (Address|Leak|UndefinedBehavior)Sanitizer|runtime error:' "$log"; then
  { grep -E -B2 -A25 'ERROR: (Address|Leak|UndefinedBehavior)Sanitizer|runtime error:' "$log" ||
    true; } | head -n 120 || true
  echo "FAIL: sanitizer report (full output in $log)"
  exit 1
fi
if [ "$status" -ne 0 ]; then
  echo "FAIL: tests failed under the sanitizers (full output in $log)"
  exit "$status"
fi
