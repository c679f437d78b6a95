#!/usr/bin/env bash
# Prints a fingerprint of the checkout outside build/: every path git reports as new,
# changed, deleted or ignored, with a hash of what each file holds now (ignored folders by
# their files' names, sizes and times). Two prints differ when anything there changed, also
# a file that was already modified before.
#   scripts/checkout-state.sh [checkout]
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"
git status --porcelain=v1 -z --untracked-files=all --ignored=matching |
  while IFS= read -r -d '' entry; do
    state=${entry:0:2}
    path=${entry:3}
    case "$path" in build | build/*) continue ;; esac
    # A rename or copy is followed by its old name.
    case "$state" in R* | C*) IFS= read -r -d '' from && path="$from -> $path" ;; esac
    if [ -f "$path" ] && [ ! -L "$path" ]; then
      printf '%s %s %s\n' "$state" "$(sha256sum <"$path" | cut -c1-16)" "$path"
    elif [ -d "$path" ]; then
      printf '%s %s %s\n' "$state" \
        "$(find "$path" -printf '%P %s %T@\n' 2>/dev/null | sort | sha256sum | cut -c1-16)" "$path"
    else
      printf '%s - %s\n' "$state" "$path"
    fi
  done
