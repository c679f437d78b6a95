#!/usr/bin/env bash
# The unit tests on Windows: cross-built with mingw-w64 and the shared Qt for Windows, run
# under Wine through CTest on a virtual display (cmake --workflow --preset windows-tests). The
# tests of Linux-only parts (the station link, PulseAudio, AT-SPI, POSIX signals) are left out
# by the build; every other one runs. Wine, mingw-w64 and Xvfb are large, so they are installed
# here rather than with the build's packages; where that is impossible, or the shared Qt is
# missing, the step is reported as skipped (scripts/lib/step.sh), which CI counts as a failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=scripts/lib/step.sh
source "$root/scripts/lib/step.sh"
# shellcheck source=scripts/lib/packages.sh
source "$root/scripts/lib/packages.sh"

# The window manager is a group of its own: it never waits on Wine's packages, nor they on it.
need_packages "the unit tests under Wine" "wine wine64 g++-mingw-w64-x86-64-posix xvfb ninja-build" \
    icewm || step_skip "unit tests under Wine: could not install ${packages_missing[*]}"
if [ ! -f "$root/../shared/qt6-mingw/qt6-mingw.tar.xz" ]; then
    step_skip "unit tests under Wine: no Qt for Windows at ../shared/qt6-mingw/qt6-mingw.tar.xz (tools/build-qt6-mingw.sh makes one)"
fi

cd "$root"
started=$(date +%s)
status=0
cmake --workflow --preset windows-tests || status=$?
echo "windows-tests: $(($(date +%s) - started)) s"
exit "$status"
