#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the unit tests under CTest, then
# each further check in scripts/test.d/ in order, and ends with one closing table: a line per
# step (passed, failed or skipped, the reason for a skip, its time) and the line
# "N passed, N failed, N skipped". Exits non-zero if anything failed, and also when running
# the tests left the checkout different from what it was (a file made, changed or deleted
# anywhere outside build/): tests work in temporary folders.
#
# A step that could not run at all (exit 77, scripts/lib/step.sh) is a loud skip by hand; under
# CI=true it fails the run, since a check that did not run has not passed.
#   TEST_REGEX   only the CTest tests whose names match (ctest -R)
#   TEST_STEPS   only these scripts/test.d steps, by name ("70-operator-path.sh"); "none": none
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1
# shellcheck source=lib/step.sh
source scripts/lib/step.sh

TEST_RUN_DIR=$(mktemp -d "${TMPDIR:-/tmp}/anunciel-test.XXXXXX")
export TEST_RUN_DIR
trap 'rm -rf "$TEST_RUN_DIR"' EXIT
ci=0
[ "${CI:-}" = true ] && ci=1

rows=()
passed=0
failed=0
skipped=0
# add_row RESULT NAME SECONDS [TEXT]
add_row() {
    case $1 in
    passed) passed=$((passed + 1)) ;;
    failed) failed=$((failed + 1)) ;;
    skipped) skipped=$((skipped + 1)) ;;
    esac
    rows+=("$(printf '%-8s %-22s %6s  %s' "$1" "$2" "${3:+$3 s}" "${4:-}")")
}

# run_row NAME COMMAND...: runs the command with its output shown and kept, and adds its row.
# Its last "SKIPPED: " line is the reason of a skip; its last "NOTE: " line goes beside a pass.
run_row() {
    local name=$1 log started status=0 seconds reason note
    shift
    log="$TEST_RUN_DIR/$name.log"
    echo "== $name"
    started=$(date +%s)
    "$@" 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
    seconds=$(($(date +%s) - started))
    reason=$(sed -n 's/^SKIPPED: //p' "$log" | tail -n 1)
    note=$(sed -n 's/^NOTE: //p' "$log" | tail -n 1)
    if [ "$status" = 0 ]; then
        add_row passed "$name" "$seconds" "$note"
    elif [ "$status" = "$STEP_SKIPPED" ] && [ "$ci" = 0 ]; then
        add_row skipped "$name" "$seconds" "${reason:-(no reason given)}"
    elif [ "$status" = "$STEP_SKIPPED" ]; then
        add_row failed "$name" "$seconds" "could not run, and CI=true: ${reason:-(no reason given)}"
    else
        add_row failed "$name" "$seconds" "exit status $status${note:+; $note}"
    fi
    return "$status"
}

# shellcheck disable=SC2317 # called through run_row
ctest_row() {
    ctest --preset default -j"$(nproc)" ${TEST_REGEX:+-R "$TEST_REGEX"} || return
    echo "NOTE: $1 tests"
}

# All in one function, read whole before it runs: a script edited during the run (as when
# working on it) cannot change what this run does.
main() {
    local started step name tests after built=1 before
    started=$(date +%s)
    before=$(scripts/checkout-state.sh "$root")
    run_row packages scripts/install-deps.sh test
    run_row build scripts/build.sh default || built=0
    tests=$(ctest --preset default -N ${TEST_REGEX:+-R "$TEST_REGEX"} 2>/dev/null |
        sed -n 's/^Total Tests: //p')
    if [ "$built" = 1 ] && [ -n "${TEST_REGEX:-}" ] && [ "${tests:-0}" = 0 ]; then
        add_row skipped CTest "" "not chosen (no test matches TEST_REGEX=$TEST_REGEX)"
    elif [ "$built" = 1 ]; then
        run_row CTest ctest_row "${tests:-0}"
    else
        add_row skipped CTest "" "the build failed"
    fi
    for step in scripts/test.d/*.sh; do
        [ -e "$step" ] || continue
        name=$(basename "$step")
        if [ -n "${TEST_STEPS:-}" ] && [[ " $TEST_STEPS " != *" $name "* ]]; then
            add_row skipped "$name" "" "not chosen (TEST_STEPS)"
            continue
        fi
        if [ "$built" = 0 ]; then
            add_row skipped "$name" "" "the build failed"
            continue
        fi
        run_row "$name" bash "$step"
    done

    after=$(scripts/checkout-state.sh "$root")
    if [ "$before" = "$after" ]; then
        add_row passed "checkout unchanged" ""
    else
        echo "FAIL: running the tests changed the checkout outside build/ (before < > after):"
        diff <(printf '%s\n' "$before") <(printf '%s\n' "$after") | grep '^[<>] .'
        add_row failed "checkout unchanged" "" "files made, changed or deleted outside build/ (above)"
    fi

    echo
    echo "== What ran ($((($(date +%s) - started) / 60)) min $((($(date +%s) - started) % 60)) s in all)"
    printf '%s\n' "${rows[@]}"
    echo "$passed passed, $failed failed, $skipped skipped"
    [ "$failed" = 0 ]
}
main; exit
