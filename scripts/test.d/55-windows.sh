#!/usr/bin/env bash
# The Windows program as operators get it (tests/wine/windows-check.sh): built with
# mingw-w64 and the shared Qt for Windows, packaged (zip and NSIS installer), installed and
# run under Wine on a virtual display against the stand-in node server, then uninstalled.
# Wine, mingw-w64 and NSIS are large, so they are installed here rather than with the
# build's packages; where that is impossible, or the shared Qt is missing, the step is
# reported as skipped (scripts/lib/step.sh), which CI counts as a failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=scripts/lib/step.sh
source "$root/scripts/lib/step.sh"
# shellcheck source=scripts/lib/packages.sh
source "$root/scripts/lib/packages.sh"

# The stand-in node is a 32-bit program, as the real node is: built with the i686 compiler, it
# runs under 32-bit Wine (wine32, an i386 package whose index can be out of step with the
# amd64 one). Those are groups of their own, so that nothing else waits on them; without
# them the check runs against a 64-bit stand-in and leaves out only what needs 32 bits.
# ImageMagick's import reads the window's clock off the screen.
required=("wine wine64 g++-mingw-w64-x86-64-posix mingw-w64-tools xvfb xdotool xclip binutils imagemagick" nsis)
need_packages "the Windows package check" "${required[@]}" g++-mingw-w64-i686-posix wine32:i386 ||
    true
missing=()
# shellcheck disable=SC2048 # a group is a word list
for p in ${required[*]}; do package_installed "$p" || missing+=("$p"); done
[ ${#missing[@]} = 0 ] || step_skip "Windows package check: could not install ${missing[*]}"

# windows-check.sh says why when it skips (exit 77), and that is passed on as it is.
exec bash "$root/tests/wine/windows-check.sh"
