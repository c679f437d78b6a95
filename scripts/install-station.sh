#!/usr/bin/env bash
# Builds the program alone (no tests, fuzzers or benchmarks) in a folder of your own and
# installs it into a station folder that you own (default ~/Anunciel), with a menu entry that
# starts it in that folder. Run it as the operator; the packages come first, as root, from
# scripts/install-deps.sh run.
#   scripts/install-station.sh [--start] [FOLDER]
#     --start   start the installed program in its station folder afterwards
# The build lives in ${XDG_CACHE_HOME:-~/.cache}/anunciel/build (ANUNCIEL_BUILD_DIR to change).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
start=0
if [ "${1:-}" = "--start" ]; then
  start=1
  shift
fi
station=${1:-$HOME/Anunciel}
mkdir -p "$station"
station=$(cd "$station" && pwd)
data=${XDG_DATA_HOME:-$HOME/.local/share}
build=${ANUNCIEL_BUILD_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/anunciel/build}

"$root/scripts/install-deps.sh" run
# The preset's own build folder would lie in the checkout, which may belong to someone else.
# CMake takes the sources from the folder it runs in: this checkout, wherever it was called
# from. A build made from another checkout (moved or cloned again) is made anew.
cache="$build/CMakeCache.txt"
if [ -f "$cache" ] && ! grep -qxF "CMAKE_HOME_DIRECTORY:INTERNAL=$root" "$cache"; then
  rm -rf "$build"
fi
(cd "$root" && cmake --preset program -B "$build" >/dev/null)
cmake --build "$build" -j"$(nproc)" --target anunciel
cmake --install "$build" --prefix "$station" >/dev/null

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

echo "Instalado em $station"
echo "Entrada do menu: $desktop"
ls "$station"/*.wav >/dev/null 2>&1 ||
  echo "Ainda não há arquivos WAV em $station: veja o guia do operador (docs/guia-do-operador.md)."
if [ "$start" = 1 ]; then
  cd "$station"
  exec ./anunciel
fi
