#!/usr/bin/env bash
# Idle CPU of the shown main window on a virtual X display (Xvfb): while the level-meter
# animation runs (10 ms frames) and after its repetitions are spent, against a baseline
# window that only updates a clock once a second. Prints the CPU time each process (and the
# X server) used over each measuring window, as a percentage of one core.
# Needs Debian's xvfb and a build (scripts/build.sh). Takes about five minutes.
# Usage: bench/idle-cpu.sh [build folder]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/default}
app=$build/src/anunciel
baseline=$build/bench/idle_baseline
window_s=${IDLE_CPU_WINDOW_S:-30}
# The meter: 16 frames of 10 ms, played once and repeated 1000 times.
meter_ends_s=$((16 * 10 * 1001 / 1000 + 1))

for f in "$app" "$baseline"; do
    [ -x "$f" ] || { echo "idle-cpu: $f missing (build first)" >&2; exit 1; }
done
command -v Xvfb >/dev/null || { echo "idle-cpu: Xvfb missing (apt-get install xvfb)" >&2; exit 1; }

scratch=$(mktemp -d)
started=()
cleanup() {
    # Last started first: the programs before their display.
    for ((i = ${#started[@]} - 1; i >= 0; --i)); do kill "${started[i]}" 2>/dev/null || true; done
    rm -rf "$scratch"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$scratch/display" 2>/dev/null &
xvfb=$!
started+=("$xvfb")
for _ in $(seq 50); do [ -s "$scratch/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$scratch/display")"
export QT_QPA_PLATFORM=xcb
mkdir -m 0700 "$scratch/runtime"
export XDG_RUNTIME_DIR=$scratch/runtime

# CPU time of a process in nanoseconds: what each of its threads has run, as the scheduler
# counts it. Clock ticks (1/100 s) would make a quiet program's 30 s read 0, 1 or 2 ticks.
cpu_ns() {
    cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%.0f", s }'
}
# Prints the share of one core a process and the X server used over the next window_s.
measure() { # label, pid
    local p0 x0 t0 p1 x1 t1
    p0=$(cpu_ns "$2"); x0=$(cpu_ns "$xvfb"); t0=$(date +%s.%N)
    sleep "$window_s"
    p1=$(cpu_ns "$2"); x1=$(cpu_ns "$xvfb"); t1=$(date +%s.%N)
    awk -v l="$1" -v p=$((p1 - p0)) -v x=$((x1 - x0)) -v t0="$t0" -v t1="$t1" \
        'BEGIN { s = t1 - t0
                 printf "%-34s program %6.3f%%  X server %6.3f%%  (%.1f s)\n", l,
                        100 * p / 1e9 / s, 100 * x / 1e9 / s, s }'
}

cd "$scratch"
"$baseline" &
pid=$!
started+=("$pid")
sleep 3
measure "baseline (clock only)" "$pid"
kill "$pid"
wait "$pid" 2>/dev/null || true

cp "$app" "$scratch/anunciel"
./anunciel &
pid=$!
started+=("$pid")
start=$(date +%s)
sleep 3
measure "anunciel, meter running" "$pid"
# Each frame's timer starts when the last one fired: on a busy machine the meter ends some
# seconds after its stored times add up, so the idle window starts well after that.
left=$((start + meter_ends_s + ${IDLE_CPU_MARGIN_S:-20} - $(date +%s)))
[ "$left" -gt 0 ] && sleep "$left"
measure "anunciel, meter stopped" "$pid"
