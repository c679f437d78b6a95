#!/usr/bin/env bash
# Removes the program and its menu entry. The operator's WAV files and schedule files in the
# station folder are never touched.
#   scripts/uninstall-station.sh [FOLDER]
set -euo pipefail
station=${1:-$HOME/Anunciel}
data=${XDG_DATA_HOME:-$HOME/.local/share}
rm -f "$station/anunciel"
rm -f "$data/applications/anunciel.desktop"
rm -f "$data/icons/hicolor/32x32/apps/anunciel.png"
command -v update-desktop-database >/dev/null && update-desktop-database -q "$data/applications" || true
# The folder goes only if nothing of the operator's is left in it.
rmdir "$station" 2>/dev/null || true
echo "Removed Anunciel from $station"
