#!/usr/bin/env bash
# Builds the program alone (no tests, fuzzers or benchmarks) in a folder of your own and
# installs it into a station folder that you own (default ~/Anunciel), with a menu entry that
# starts it in that folder. Run it as the operator; the packages come first, as root, from
# scripts/install-deps.sh run.
#   scripts/install-station.sh [--start] [--servico] [FOLDER]
#     --start    start the installed program in its station folder afterwards
#     --servico  also install and start a systemd user service that runs the station without
#                a window (anunciel --sem-janela) in that folder, restarted if it fails
# A commented estacao.ini (every key at its default) is put in the station folder when it has
# none; one that exists is never touched.
# The build lives in ${XDG_CACHE_HOME:-~/.cache}/anunciel/build (ANUNCIEL_BUILD_DIR to change).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
start=0
service=0
while [ $# -gt 0 ]; do
  case "$1" in
  --start) start=1 ;;
  --servico) service=1 ;;
  -*) echo "Opção desconhecida: $1 (use --start, --servico e a pasta)" >&2; exit 2 ;;
  *) break ;;
  esac
  shift
done
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

# The operator's settings are theirs: a template only where there is no file yet.
[ -e "$station/estacao.ini" ] || install -m 0644 "$root/scripts/estacao-modelo.ini" "$station/estacao.ini"

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
if [ "$service" = 1 ]; then
  # The station as a user service: no window, no display, its lines in the journal.
  unit_dir=${XDG_CONFIG_HOME:-$HOME/.config}/systemd/user
  unit="$unit_dir/anunciel.service"
  mkdir -p "$unit_dir"
  # In a unit file "%" starts a specifier; in ExecStart "$" a variable, and the path is quoted.
  unit_path=${station//%/%%}
  exec_start=${unit_path//\\/\\\\}
  exec_start=${exec_start//\"/\\\"}
  exec_start=${exec_start//\$/\$\$}
  cat > "$unit" <<UNIT
[Unit]
Description=Anunciel: anúncios programados pelo rádio, sem janela ($unit_path)
# The sound server of this user, when it runs as a user service too.
After=pipewire-pulse.service pulseaudio.service

[Service]
Type=simple
WorkingDirectory=$unit_path
ExecStart="$exec_start/anunciel" --sem-janela
Restart=on-failure
RestartSec=10
StandardOutput=journal
StandardError=journal

[Install]
WantedBy=default.target
UNIT
  echo "Serviço: $unit"
  if systemctl --user daemon-reload 2>/dev/null && systemctl --user enable --now anunciel.service; then
    echo "Serviço ativado e iniciado: systemctl --user status anunciel"
  else
    echo "Não foi possível falar com o systemd deste usuário agora; numa sessão do usuário, rode:" >&2
    echo "  systemctl --user daemon-reload && systemctl --user enable --now anunciel.service" >&2
  fi
  echo "Para iniciar ao ligar o computador, sem ninguém entrar: sudo loginctl enable-linger $(id -un)"
fi
if [ "$start" = 1 ] && [ "$service" = 1 ]; then
  echo "--start ignorado: o serviço já roda a estação nesta pasta (uma cópia por pasta)." >&2
elif [ "$start" = 1 ]; then
  cd "$station"
  exec ./anunciel
fi
