#!/usr/bin/env bash
# Installs what is missing, builds, and starts Anunciel in the current folder (where its
# schedule files are read and saved).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" default
exec "$root/build/default/src/anunciel"
