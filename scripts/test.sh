#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the unit tests under CTest, then
# each further check in scripts/test.d/ in order. Exits non-zero if anything failed, and also
# when running the tests left the checkout different from what it was (a file made, changed
# or deleted anywhere outside build/): tests work in temporary folders.
#   TEST_REGEX   only the CTest tests whose names match (ctest -R)
#   TEST_STEPS   only these scripts/test.d steps, by name ("70-operator-path.sh"); "none": none
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

before=$(scripts/checkout-state.sh "$root")
check_checkout() {
  local status=$?
  local after
  after=$(scripts/checkout-state.sh "$root")
  if [ "$before" != "$after" ]; then
    echo "FAIL: running the tests changed the checkout outside build/ (before < > after):"
    diff <(printf '%s\n' "$before") <(printf '%s\n' "$after") | grep '^[<>]' || true
    [ "$status" -ne 0 ] || status=1
  fi
  exit "$status"
}
trap check_checkout EXIT

scripts/install-deps.sh test
scripts/build.sh default
ctest --preset default -j"$(nproc)" ${TEST_REGEX:+-R "$TEST_REGEX"}
for step in scripts/test.d/*.sh; do
  [ -e "$step" ] || continue
  if [ -n "${TEST_STEPS:-}" ] && [[ " $TEST_STEPS " != *" $(basename "$step") "* ]]; then
    continue
  fi
  echo "== $step"
  bash "$step"
done
