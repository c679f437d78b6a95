#!/usr/bin/env bash
# The Windows program as operators get it (tests/wine/windows-check.sh): built with
# mingw-w64 and the shared Qt for Windows, packaged (zip and NSIS installer), installed and
# run under Wine on a virtual display against the stand-in node server, then uninstalled.
# Wine, mingw-w64 and NSIS are large, so they are installed here rather than with the
# build's packages; where that is impossible, or the shared Qt is missing, the check is
# reported as skipped, loudly, and does not count as passed.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)

# The stand-in node is a 32-bit program, as the real node is: it is built with the i686
# compiler and widl (mingw-w64-tools) and runs under 32-bit Wine (wine32, an i386 package).
# ImageMagick's import reads the window's clock off the screen.
packages=(wine wine64 wine32:i386 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
    mingw-w64-tools nsis xvfb xdotool xclip binutils imagemagick)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
skipped() {
    echo "**************************************************************************"
    echo "SKIPPED: Windows package check: $1"
    echo "**************************************************************************"
    exit 0
}
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing for the Windows package check: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386 || skipped "could not add the i386 architecture"
    fi
    { apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}"; } ||
        skipped "could not install ${missing[*]}"
fi

status=0
bash "$root/tests/wine/windows-check.sh" || status=$?
[ "$status" = 77 ] && skipped "see the reason above"
exit "$status"
