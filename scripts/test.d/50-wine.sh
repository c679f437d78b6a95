#!/usr/bin/env bash
# The Windows link, checked under Wine (tests/wine/run.sh). Wine and mingw-w64 are large, so
# they are installed here rather than with the build's packages; where that is impossible the
# step is reported as skipped (scripts/lib/step.sh), which CI counts as a failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=scripts/lib/step.sh
source "$root/scripts/lib/step.sh"
# shellcheck source=scripts/lib/packages.sh
source "$root/scripts/lib/packages.sh"

need_packages "the Wine check" "wine wine64 g++-mingw-w64-x86-64" ||
    step_skip "Wine check of the Windows link: could not install ${packages_missing[*]}"

# run.sh says why when it skips (exit 77), and that is passed on as it is.
exec bash "$root/tests/wine/run.sh"
