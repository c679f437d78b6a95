#!/usr/bin/env bash
# CTest's emulator for the unit tests built for Windows (the windows-tests preset): runs a test
# program under Wine in a prefix of its own, with a virtual X display for the tests that show
# real windows (QT_QPA_PLATFORM=windows); the others use Qt's minimal platform.
#
#   ctest-wine.sh STATE --start      makes the prefix STATE/prefix, starts Xvfb with a window
#                                     manager and one wineserver for the whole run (a CTest
#                                     fixture)
#   ctest-wine.sh STATE --stop       ends them
#   ctest-wine.sh STATE PROGRAM ARGS runs one test program
#
# A console program's standard output under Wine does not always reach a pipe, so a Qt Test
# program writes its report to a file, shown here.
set -euo pipefail

state=$(realpath -m "$1")
shift
export WINEPREFIX="$state/prefix"
# Quiet, and no offer to install Mono or Gecko, which nothing here needs.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WAYLAND_DISPLAY

start() {
    mkdir -p "$state"
    stop
    # A free display number, chosen by the server itself.
    exec {fd}>"$state/display"
    setsid Xvfb -displayfd "$fd" -screen 0 1280x1024x24 -nolisten tcp \
        </dev/null >"$state/xvfb.log" 2>&1 &
    echo $! >"$state/xvfb.pid"
    exec {fd}>&-
    for _ in $(seq 100); do
        [ -s "$state/display" ] && break
        sleep 0.1
    done
    if [ ! -s "$state/display" ]; then
        echo "Xvfb did not start:" >&2
        cat "$state/xvfb.log" >&2
        exit 1
    fi
    export DISPLAY=":$(head -n1 "$state/display")"
    # A window manager: without one, Wine waits seconds for each window it maps to be
    # activated, and the window tests take twenty times as long.
    setsid icewm </dev/null >"$state/icewm.log" 2>&1 &
    echo $! >"$state/icewm.pid"
    # One server for the whole run instead of one per program; --stop ends it.
    mkdir -p "$WINEPREFIX"
    setsid wineserver -p </dev/null >"$state/wineserver.log" 2>&1 || {
        echo "wineserver did not start:" >&2
        cat "$state/wineserver.log" >&2
        exit 1
    }
    timeout 300 wineboot --init >"$state/wineboot.log" 2>&1 || {
        echo "wineboot --init did not finish:" >&2
        tail -n 20 "$state/wineboot.log" >&2
        exit 1
    }
    echo "Wine prefix $WINEPREFIX, display $DISPLAY"
}

stop() {
    wineserver -k >/dev/null 2>&1 || true
    if [ -s "$state/icewm.pid" ]; then
        kill "$(cat "$state/icewm.pid")" 2>/dev/null || true
        rm -f "$state/icewm.pid"
    fi
    if [ -s "$state/xvfb.pid" ]; then
        kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
        rm -f "$state/xvfb.pid"
    fi
    rm -f "$state/display"
}

case "${1:-}" in
--start) start ;;
--stop) stop ;;
"")
    echo "usage: $0 STATE --start | --stop | PROGRAM [ARGS...]" >&2
    exit 2
    ;;
*)
    if [ ! -s "$state/display" ]; then
        echo "no Wine session in $state: run the test through CTest (fixture wine_session)" >&2
        exit 1
    fi
    export DISPLAY=":$(head -n1 "$state/display")"
    # Wine keeps the caller's QT_* variables from Windows programs (they are the Linux Qt's);
    # WINEQT_X reaches them as QT_X.
    for name in $(compgen -e); do
        case $name in QT_*) export "WINE$name=${!name}" ;; esac
    done
    # A test of a screen's dots per inch (ANUNCIEL_WINE_DPI) sets the system's for its own run
    # (CTest runs it alone), then puts back Windows' default.
    if [ -n "${ANUNCIEL_WINE_DPI:-}" ]; then
        desktop='HKCU\Control Panel\Desktop'
        wine reg add "$desktop" /v LogPixels /t REG_DWORD /d "$ANUNCIEL_WINE_DPI" /f >/dev/null 2>&1
        trap 'wine reg add "$desktop" /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1' EXIT
    fi
    case $(basename "$1") in
    test_*.exe)
        # The project's Qt Test programs: their report goes to a file (drive Z: is the
        # Linux root), shown here for CTest.
        report=$(mktemp "$state/report.XXXXXX")
        status=0
        wine "$@" -o "Z:$report,txt" || status=$?
        cat "$report"
        rm -f "$report"
        exit "$status"
        ;;
    *)
        status=0
        wine "$@" || status=$?
        exit "$status"
        ;;
    esac
    ;;
esac
