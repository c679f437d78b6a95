#!/usr/bin/env bash
# Installs the Debian packages listed under scripts/packages/ that are not there yet.
#   scripts/install-deps.sh run    what building and running the program needs (run.txt)
#   scripts/install-deps.sh test   that and everything the tests need (every list)
# A line "a|b" is met by either package; when neither is there, the first is installed.
# Run as root; as anyone else it only says what is missing, and fails if anything is.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
case "${1:-test}" in
run) lists=("$here/packages/run.txt") what="building and running the program" ;;
test) lists=("$here"/packages/*.txt) what="the build and the tests" ;;
*) echo "usage: $0 [run|test]" >&2; exit 2 ;;
esac

# shellcheck source=scripts/lib/packages.sh
source "$here/lib/packages.sh"

mapfile -t wanted < <(cat "${lists[@]}" | sed 's/#.*//' | awk 'NF {print $1}' | sort -u)
missing=()
for entry in "${wanted[@]}"; do
  IFS='|' read -r -a choices <<<"$entry"
  met=0
  for p in "${choices[@]}"; do package_installed "$p" && met=1 && break; done
  [ "$met" = 1 ] || missing+=("${choices[0]}")
done
# A package wanted twice by the lists (once alone, once as a choice) is installed once.
mapfile -t missing < <(printf '%s\n' "${missing[@]}" | awk 'NF' | sort -u)
[ ${#missing[@]} -gt 0 ] || exit 0

if [ "$(id -u)" != 0 ]; then
  echo "Missing Debian packages: ${missing[*]}" >&2
  echo "Install them as root first: sudo bash $here/install-deps.sh ${1:-test}" >&2
  exit 1
fi
need_packages "$what" "${missing[*]}"
