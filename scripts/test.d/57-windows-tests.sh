#!/usr/bin/env bash
# The unit tests on Windows: cross-built with mingw-w64 and the shared Qt for Windows, run
# under Wine through CTest on a virtual display (cmake --workflow --preset windows-tests). The
# tests of Linux-only parts (the station link, PulseAudio, AT-SPI, POSIX signals) are left out
# by the build; every other one runs. Wine, mingw-w64 and Xvfb are large, so they are installed
# here rather than with the build's packages; where that is impossible, or the shared Qt is
# missing, the run is reported as skipped, loudly, and does not count as passed.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)

packages=(wine wine64 g++-mingw-w64-x86-64-posix xvfb icewm ninja-build)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
skipped() {
    echo "**************************************************************************"
    echo "SKIPPED: unit tests under Wine: $1"
    echo "**************************************************************************"
    exit 0
}
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing for the unit tests under Wine: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    { apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}"; } ||
        skipped "could not install ${missing[*]}"
fi
if [ ! -f "$root/../shared/qt6-mingw/qt6-mingw.tar.xz" ]; then
    skipped "no Qt for Windows at ../shared/qt6-mingw/qt6-mingw.tar.xz (tools/build-qt6-mingw.sh makes one)"
fi

cd "$root"
started=$(date +%s)
status=0
cmake --workflow --preset windows-tests || status=$?
echo "windows-tests: $(($(date +%s) - started)) s"
exit "$status"
