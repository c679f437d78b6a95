#!/usr/bin/env bash
# The Windows link, checked under Wine (tests/wine/run.sh). Wine and mingw-w64 are large, so
# they are installed here rather than with the build's packages; where that is impossible the
# check is reported as skipped, loudly, and does not count as passed.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)

packages=(wine wine64 g++-mingw-w64-x86-64)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing for the Wine check: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    if ! { apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}"; }; then
        echo "**************************************************************************"
        echo "SKIPPED: Wine check of the Windows link: could not install ${missing[*]}"
        echo "**************************************************************************"
        exit 0
    fi
fi

status=0
bash "$root/tests/wine/run.sh" || status=$?
if [ "$status" = 77 ]; then
    echo "**************************************************************************"
    echo "SKIPPED: Wine check of the Windows link (see the reason above)"
    echo "**************************************************************************"
    exit 0
fi
exit "$status"
