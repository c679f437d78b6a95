#!/usr/bin/env bash
# Builds Anunciel and installs it into a station folder that the operator owns (default
# ~/Anunciel), with a menu entry that starts it in that folder. Run as the operator, not as
# root; the packages come from scripts/install-deps.sh (the README's first command).
#   scripts/install-station.sh [FOLDER]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
station=${1:-$HOME/Anunciel}
mkdir -p "$station"
station=$(cd "$station" && pwd)
data=${XDG_DATA_HOME:-$HOME/.local/share}

"$root/scripts/build.sh" default
cmake --install "$root/build/default" --prefix "$station" >/dev/null

install -D -m 0644 "$root/src/ui/images/anunciel.png" "$data/icons/hicolor/32x32/apps/anunciel.png"

desktop="$data/applications/anunciel.desktop"
mkdir -p "$(dirname "$desktop")"
# Exec quotes the path so that a folder name with blanks still works; Path is taken as is.
exec_path=${station//\\/\\\\}
exec_path=${exec_path//\"/\\\"}
cat > "$desktop" <<DESKTOP
[Desktop Entry]
Type=Application
Version=1.0
Name=Anunciel
GenericName=Announcements over the node
GenericName[pt_BR]=Anúncios programados
Comment=Plays recorded voice announcements over the node at fixed times
Comment[pt_BR]=Envia mensagens de áudio pelo nó em horários marcados
Exec="$exec_path/anunciel"
Path=$station
Icon=anunciel
Terminal=false
Categories=Network;HamRadio;
DESKTOP
command -v update-desktop-database >/dev/null && update-desktop-database -q "$data/applications" || true

echo "Installed into $station"
echo "Menu entry: $desktop"
ls "$station"/*.wav >/dev/null 2>&1 ||
  echo "No WAV file in $station yet: see the README, 'First run'."
