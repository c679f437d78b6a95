# shellcheck shell=bash
# Installing Debian packages, or saying plainly why not. Sourced by scripts/install-deps.sh
# and by the scripts/test.d steps that install their own large tools.
#
#   need_packages WHAT GROUP...
#     Each GROUP is one word list of packages ("wine wine64", "wine32:i386"). Installs what is
#     missing, one group at a time, so that a group that cannot be installed holds no other
#     back; within a group that fails, each package is tried alone. Returns 0 when every
#     package is installed, 1 otherwise, with the packages still missing in the array
#     packages_missing and apt's own last lines printed for each failure. As anyone but root
#     it installs nothing and only says what is missing.
#
# The package index is brought up to date first, once: an update that fails (a mirror in the
# middle of a sync) is reported and tried again after a pause, and the installs are attempted
# whatever it said, since most of an index is usually still good. Under scripts/test.sh the
# update is done once for the whole run (TEST_RUN_DIR).
#   APT_UPDATE_TRIES   tries of apt-get update (default 3)
#   APT_UPDATE_PAUSE   seconds between them (default 25)

package_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

# apt waits for another apt or dpkg (another developer's install) instead of failing at once.
packages_apt() {
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 "$@"
}

# Prints apt's own last lines from its output in $1, indented, as the reason of a failure: of
# an update its errors and warnings (the rest is hashes and progress), of an install its end
# (the packages that could not be had and why).
packages_tell() { # log, update|install
    if [ "$2" = update ] && grep -qE '^(Err|E|W):' "$1"; then
        grep -E '^(Err|E|W):' "$1" | tail -n 6
    else
        tail -n 12 "$1"
    fi | sed 's/^/    apt: /'
}

packages_update() {
    # One update per run, unless an architecture was added since (its index is missing).
    local stamp='' archs
    archs=$(dpkg --print-foreign-architectures | tr '\n' ' ')
    if [ -n "${TEST_RUN_DIR:-}" ]; then
        stamp="$TEST_RUN_DIR/apt-updated"
        [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$archs" ] && return 0
    fi
    local tries=${APT_UPDATE_TRIES:-3} pause=${APT_UPDATE_PAUSE:-25} try log
    log=$(mktemp)
    for ((try = 1; try <= tries; try++)); do
        if packages_apt update -q >"$log" 2>&1; then
            rm -f "$log"
            [ -z "$stamp" ] || echo "$archs" >"$stamp"
            return 0
        fi
        echo "apt-get update failed (try $try of $tries):"
        packages_tell "$log" update
        if ((try < tries)); then
            echo "  trying again in $pause s (a mirror being synced settles in minutes)"
            sleep "$pause"
        fi
    done
    rm -f "$log"
    echo "apt-get update still fails: installing from the index as it is"
    [ -z "$stamp" ] || echo "$archs" >"$stamp"
    return 1
}

# Installs the packages given; on failure prints apt's reason and returns 1.
packages_install() {
    local log status=0
    log=$(mktemp)
    packages_apt install -y -q --no-install-recommends "$@" >"$log" 2>&1 || status=$?
    if [ "$status" != 0 ]; then
        echo "  could not install $*:"
        packages_tell "$log" install
    fi
    rm -f "$log"
    return "$status"
}

need_packages() {
    local what=$1
    shift
    local group p missing=() all=()
    packages_missing=()
    for group in "$@"; do
        for p in $group; do package_installed "$p" || all+=("$p"); done
    done
    [ ${#all[@]} -gt 0 ] || return 0
    if [ "$(id -u)" != 0 ]; then
        echo "Missing Debian packages for $what: ${all[*]} (install them as root)"
        packages_missing=("${all[@]}")
        return 1
    fi
    echo "Installing for $what: ${all[*]}"
    # A package of another architecture (wine32:i386) needs that architecture known to dpkg.
    for p in "${all[@]}"; do
        case $p in
        *:*)
            dpkg --print-foreign-architectures | grep -qx "${p#*:}" ||
                dpkg --add-architecture "${p#*:}" ||
                echo "  could not add the architecture ${p#*:}"
            ;;
        esac
    done
    packages_update || true
    for group in "$@"; do
        missing=()
        for p in $group; do package_installed "$p" || missing+=("$p"); done
        [ ${#missing[@]} -gt 0 ] || continue
        packages_install "${missing[@]}" && continue
        if [ ${#missing[@]} -gt 1 ]; then
            echo "  trying them one by one"
            for p in "${missing[@]}"; do packages_install "$p" || true; done
        fi
    done
    for p in "${all[@]}"; do package_installed "$p" || packages_missing+=("$p"); done
    if [ ${#packages_missing[@]} -gt 0 ]; then
        echo "Not installed for $what: ${packages_missing[*]}"
        return 1
    fi
    return 0
}
