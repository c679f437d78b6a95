#!/usr/bin/env bash
# The README's first command: installs what building and running need (as root, when
# something is missing), builds the program alone in the user's own cache, installs it into
# the user's station folder (~/Anunciel) with its menu entry, and starts it there, where it
# finds its WAV files and keeps its schedule. Nothing is built inside this checkout.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" run
exec "$root/scripts/install-station.sh" --start "$@"
