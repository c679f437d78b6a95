#!/usr/bin/env bash
# Runs a test program where a screen reader would meet it: on an X display (Xvfb), with a
# session bus and the desktop's accessibility bus (at-spi-bus-launcher), and Qt's AT-SPI
# bridge switched on as it is when Orca runs. Only there does Qt send accessibility events;
# the headless platform the other tests use has no accessibility at all.
# Ends with 77 (CTest: skipped) when one of those programs is missing.
# Usage: run_with_atspi.sh <test program> [arguments...]
set -u
if [ -z "${ATSPI_INNER:-}" ]; then
  for tool in xvfb-run dbus-run-session; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (xvfb, dbus-bin)"; exit 77; }
  done
  launcher=
  for candidate in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher; do
    [ -x "$candidate" ] && launcher=$candidate && break
  done
  [ -n "$launcher" ] || { echo "SKIP: at-spi-bus-launcher is missing (at-spi2-core)"; exit 77; }
  export ATSPI_INNER=1 ATSPI_LAUNCHER=$launcher
  # -noreset: an X server that resets when its last client leaves (the accessibility bus
  # launcher connects and goes) refuses the test's connection while it resets.
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" dbus-run-session -- "$0" "$@"
fi

# Inside the display and the session bus: the accessibility bus, then the test.
"$ATSPI_LAUNCHER" --launch-immediately >/dev/null 2>&1 &
launcher_pid=$!
trap 'kill "$launcher_pid" 2>/dev/null; wait "$launcher_pid" 2>/dev/null' EXIT
QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$@"
