# shellcheck shell=bash
# For the scripts/test.d steps. A step ends in one of three ways, which scripts/test.sh puts in
# its closing table: exit 0 passed, 77 skipped (it could not run at all; the reason is its last
# "SKIPPED: " line), anything else failed. A step that ran but left some of its checks out
# says so with a "NOTE: " line, shown in the table beside its result.
STEP_SKIPPED=77

# Ends the step as skipped, loudly.
step_skip() { # reason
    echo "**************************************************************************"
    echo "SKIPPED: $1"
    echo "**************************************************************************"
    exit "$STEP_SKIPPED"
}
