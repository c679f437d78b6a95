#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the unit tests under CTest, then
# each further check in scripts/test.d/ in order. Exits non-zero if anything failed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh test
scripts/build.sh default
ctest --preset default -j"$(nproc)"
for step in scripts/test.d/*.sh; do
  [ -e "$step" ] || continue
  echo "== $step"
  bash "$step"
done
