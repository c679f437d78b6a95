#!/usr/bin/env bash
# The station without a screen beside the windowed program, in the same run: idle CPU (share
# of one core, from the scheduler's own count of every thread's run time, as idle-cpu.sh
# takes it) and resident memory (VmRSS, as footprint.sh takes it), each program in a station
# folder of its own with a ticked slot hours away, both reading the squelch of a dummy
# rigctld once a second. The window runs on a virtual X display (Xvfb); the service has no
# display at all. Targets for the service: CPU <= 0.05 % of a core, RSS <= 25 MB.
#   bench/headless.sh [build folder]      default: build/default
#   IDLE_SECONDS=60                       length of the idle measurement
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/default}
idle=${IDLE_SECONDS:-60}
app=$build/src/anunciel
[ -x "$app" ] || { echo "headless: $app missing (build first)" >&2; exit 1; }
command -v Xvfb >/dev/null || { echo "SKIP: Xvfb is missing (package xvfb)"; exit 0; }

work=$(mktemp -d /tmp/anunciel-headless.XXXXXX)
started=()
cleanup() {
  for ((i = ${#started[@]} - 1; i >= 0; --i)); do kill "${started[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

rig=
if command -v rigctld >/dev/null; then
  port=$((20000 + RANDOM % 20000))
  rigctld -m 1 -t "$port" >/dev/null 2>&1 &
  started+=("$!")
  rig=127.0.0.1:$port
fi

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
started+=("$!")
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
display=":$(head -n1 "$work/display")"
mkdir -m 700 "$work/runtime"

cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%.0f", s }'; }
rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }

station() { # name: a station folder with the program, a WAV and a slot hours away
  local dir="$work/$1"
  mkdir -p "$dir"
  cp "$app" "$dir/anunciel"
  printf 'RIFF$\0\0\0WAVEfmt \20\0\0\0\1\0\1\0@\37\0\0@\37\0\0\1\0\10\0data\0\0\0\0' >"$dir/aviso.wav"
  printf '%s\r\n\r\n\r\n\r\n' "$(date -d '+3 hours' +%H:%M)" >"$dir/hora_msg.txt"
  printf 'aviso.wav\r\n\r\n\r\n\r\n' >"$dir/mensagem_msg.txt"
  echo "$dir"
}

win=$(station window)
svc=$(station service)
(cd "$win" && exec env DISPLAY="$display" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime" \
  ANUNCIEL_RIGCTLD="$rig" ./anunciel) >"$work/window.log" 2>&1 &
wpid=$!
started+=("$wpid")
(cd "$svc" && exec env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
  XDG_RUNTIME_DIR="$work/runtime" ANUNCIEL_RIGCTLD="$rig" ./anunciel --sem-janela) \
  >"$work/service.log" 2>&1 &
spid=$!
started+=("$spid")
# Past start-up and the window's level-meter animation (about 17 s; later on a busy machine).
sleep 40
for pid in "$wpid" "$spid"; do
  kill -0 "$pid" 2>/dev/null || { echo "a program ended early:"; cat "$work"/*.log; exit 1; }
done

echo "Measuring ${idle} s of idling (rigctld: ${rig:-none})"
w0=$(cpu_ns "$wpid"); s0=$(cpu_ns "$spid"); t0=$(date +%s.%N)
sleep "$idle"
w1=$(cpu_ns "$wpid"); s1=$(cpu_ns "$spid"); t1=$(date +%s.%N)
wrss=$(rss_kb "$wpid"); srss=$(rss_kb "$spid")
awk -v w=$((w1 - w0)) -v s=$((s1 - s0)) -v t0="$t0" -v t1="$t1" -v wr="$wrss" -v sr="$srss" '
  BEGIN {
    t = t1 - t0
    printf "%-28s %14s %12s\n", "", "CPU idle", "RSS"
    printf "%-28s %12.3f %% %9.1f MB\n", "anunciel (window, Xvfb)", 100 * w / 1e9 / t, wr / 1024
    printf "%-28s %12.3f %% %9.1f MB\n", "anunciel --sem-janela", 100 * s / 1e9 / t, sr / 1024
    printf "%-28s %14s %12s\n", "target (--sem-janela)", "<= 0.050 %", "<= 25.0 MB"
    cpu_ok = 100 * s / 1e9 / t <= 0.05; rss_ok = sr <= 25 * 1024
    printf "\nCPU: %s   RSS: %s   (CPU is percent of one core over %.1f s)\n",
           cpu_ok ? "met" : "MISSED", rss_ok ? "met" : "MISSED", t
  }'
