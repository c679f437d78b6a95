#!/usr/bin/env bash
# Runs a test program on an X display of its own (Xvfb) with Qt's X11 platform, where the
# headless platform the other tests use would not show what X11 does.
# Ends with 77 (CTest: skipped) when Xvfb is missing.
# Usage: run_on_x11.sh <test program> [arguments...]
set -u
command -v xvfb-run >/dev/null || { echo "SKIP: xvfb-run is missing (xvfb)"; exit 77; }
exec xvfb-run -a -s "-screen 0 1024x768x24 -noreset" env QT_QPA_PLATFORM=xcb "$@"
