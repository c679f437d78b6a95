#!/usr/bin/env bash
# Removes the program, its menu entry and its user service (stopped first). The operator's
# WAV files, schedule files, estacao.ini and log in the station folder are never touched.
#   scripts/uninstall-station.sh [FOLDER]
set -euo pipefail
station=${1:-$HOME/Anunciel}
data=${XDG_DATA_HOME:-$HOME/.local/share}
unit=${XDG_CONFIG_HOME:-$HOME/.config}/systemd/user/anunciel.service
if [ -e "$unit" ]; then
  # Stopped before its program goes; where the user's systemd cannot be reached it is not
  # running either.
  systemctl --user disable --now anunciel.service 2>/dev/null || true
  rm -f "$unit"
  systemctl --user daemon-reload 2>/dev/null || true
  echo "Removed the user service anunciel.service"
fi
rm -f "$station/anunciel"
rm -f "$data/applications/anunciel.desktop"
rm -f "$data/icons/hicolor/32x32/apps/anunciel.png"
command -v update-desktop-database >/dev/null && update-desktop-database -q "$data/applications" || true
# The folder goes only if nothing of the operator's is left in it.
rmdir "$station" 2>/dev/null || true
echo "Removed Anunciel from $station"
