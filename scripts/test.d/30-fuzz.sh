#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset, clang) and fuzzes each one, starting from its
# committed corpus. Any crash, failed invariant, leak or sanitizer report fails the step; the
# input that caused it is kept under build/fuzz/artifacts/.
#   FUZZ_SECONDS  time per target (default 60)
#   FUZZ_RUNS     a number of executions per target instead (the long run by hand)
#   FUZZ_TARGETS  which targets (default: "schedule timeofday save")
#   FUZZ_FLAGS    further libFuzzer flags, such as -max_len=1024
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
read -r -a targets <<<"${FUZZ_TARGETS:-schedule timeofday save}"
read -r -a extra <<<"${FUZZ_FLAGS:-}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 --target "${targets[@]/#/fuzz_}"

# The schedule target writes a file per input: a memory file system keeps that fast.
base=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && base=/dev/shm
work=$(mktemp -d "$base/anunciel-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
artifacts="$root/build/fuzz/artifacts"
mkdir -p "$artifacts"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

status=0
for name in "${targets[@]}"; do
  mkdir -p "$work/$name"
  if [ -n "${FUZZ_RUNS:-}" ]; then
    limit=(-runs="$FUZZ_RUNS")
  else
    limit=(-max_total_time="${FUZZ_SECONDS:-60}")
  fi
  log="$work/$name.log"
  echo "fuzz_$name: ${limit[*]}"
  # New inputs go to the scratch folder (first), never into the committed corpus.
  if ! TMPDIR="$work" "build/fuzz/tests/fuzz/fuzz_$name" "${limit[@]}" "${extra[@]}" -print_final_stats=1 \
      -artifact_prefix="$artifacts/$name-" "$work/$name" "tests/fuzz/corpus/$name" \
      >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "FAIL fuzz_$name: see the input kept in $artifacts"
    status=1
    continue
  fi
  if grep -qE 'ERROR: (Address|Leak|UndefinedBehavior)Sanitizer|runtime error:' "$log"; then
    grep -E -A20 'ERROR: |runtime error:' "$log" | head -n 60
    echo "FAIL fuzz_$name: sanitizer report"
    status=1
    continue
  fi
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' "$log" |
    sed "s/^/  fuzz_$name /"
done
exit $status
