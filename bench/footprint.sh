#!/usr/bin/env bash
# Footprint of the real program on a virtual X display: time to first paint, resident memory
# after a minute, and processor time used over a minute of idling (timers and animations
# running), each against its target and against two baselines measured in the same run on
# the same display: the smallest Qt Widgets window (footprint_baseline) and xmessage (no Qt).
#
#   bench/footprint.sh [build folder]      default: build/default (built if missing)
#   IDLE_SECONDS=60                        length of the idle measurement
#
# First paint is taken as the moment the window is viewable on the display (polled with
# xwininfo every few milliseconds from the moment the process is started); Qt paints it on
# the expose event that follows at once. Each program runs in its own empty temporary
# working folder, so the program starts with no schedule files and shows no box.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/default}
idle=${IDLE_SECONDS:-60}
settle=2 # seconds after the first paint before the idle minute starts

for tool in Xvfb xwininfo xmessage; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (packages xvfb, x11-utils)"; exit 0; }
done
if [ ! -x "$build/src/anunciel" ] || [ ! -x "$build/bench/footprint_baseline" ]; then
  cmake --preset default >/dev/null
  cmake --build --preset default -j2 --target anunciel footprint_baseline
  build=$root/build/default
fi

work=$(mktemp -d /tmp/anunciel-footprint.XXXXXX)
xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A display of its own: Xvfb picks a free number and writes it to the descriptor given.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "Xvfb did not start:"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
hz=$(getconf CLK_TCK)

now_ns() { date +%s%N; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; } # user + system, in clock ticks
rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }

# measure NAME TITLE COMMAND...: prints "NAME first_paint_ms rss_kb cpu_percent xserver_percent"
measure() {
  local name=$1 title=$2
  shift 2
  local dir="$work/$name"
  mkdir -p "$dir"
  local start end pid
  start=$(now_ns)
  (cd "$dir" && exec "$@") >"$dir/out.log" 2>&1 &
  pid=$!
  end=
  for _ in $(seq 5000); do
    if xwininfo -name "$title" 2>/dev/null | grep -q 'Map State: IsViewable'; then
      end=$(now_ns)
      break
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.002
  done
  if [ -z "$end" ]; then
    echo "$name: no window \"$title\" appeared" >&2
    cat "$dir/out.log" >&2
    kill "$pid" 2>/dev/null || true
    return 1
  fi
  sleep "$settle"
  local c0 x0 c1 x1 rss
  c0=$(cpu_ticks "$pid")
  x0=$(cpu_ticks "$xvfb_pid")
  sleep "$idle"
  c1=$(cpu_ticks "$pid")
  x1=$(cpu_ticks "$xvfb_pid")
  rss=$(rss_kb "$pid")
  kill -TERM "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  awk -v n="$name" -v s="$start" -v e="$end" -v r="$rss" -v c=$((c1 - c0)) -v x=$((x1 - x0)) \
    -v hz="$hz" -v t="$idle" \
    'BEGIN { printf "%s %.0f %d %.3f %.3f\n", n, (e - s) / 1e6, r, 100 * c / hz / t, 100 * x / hz / t }'
}

echo "Measuring on display $DISPLAY: ${idle} s idle per program (about $(((idle + settle + 3) * 3)) s in all)"
results=()
results+=("$(measure anunciel "Anunciel por Orvand" "$build/src/anunciel")")
results+=("$(measure qt-baseline "Footprint baseline" "$build/bench/footprint_baseline")")
results+=("$(measure xmessage "xmessage" xmessage -title xmessage "Anunciel")")

echo
printf '%-22s %14s %16s %18s %16s\n' "" "first paint" "RSS after 1 min" "CPU idle (1 min)" "X server CPU"
for line in "${results[@]}"; do
  read -r name paint rss cpu xcpu <<<"$line"
  printf '%-22s %11s ms %13.1f MB %16.2f %% %14.2f %%\n' "$name" "$paint" \
    "$(awk -v r="$rss" 'BEGIN { print r / 1024 }')" "$cpu" "$xcpu"
done
printf '%-22s %14s %16s %18s\n' "target (anunciel)" "<= 300 ms" "<= 40.0 MB" "<= 0.50 %"

read -r _ paint rss cpu _ <<<"${results[0]}"
verdict() { if awk "BEGIN { exit !($1) }"; then echo "met"; else echo "MISSED"; fi; }
echo
echo "first paint: $(verdict "$paint <= 300")   RSS: $(verdict "$rss <= 40 * 1024")   idle CPU: $(verdict "$cpu <= 0.5")"
echo "(CPU is percent of one core; RSS is VmRSS. Baselines ran on the same display in this run.)"
