#!/usr/bin/env bash
# The README's first command. Run with sudo from the operator's own account
# (`sudo bash scripts/run.sh`), it installs what building and running need as root, then, as
# that operator (SUDO_USER), builds the program alone in the operator's own cache, installs
# it into the operator's station folder (~/Anunciel) with its menu entry, and starts it there
# on the operator's display. Root leaves nothing of its own in the operator's home.
# Run as root with no operator behind sudo, or as the operator without sudo, it installs for
# the account that runs it, as before. Nothing is built inside this checkout.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

operator=""
if [ "$(id -u)" = 0 ] && [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ] &&
  getent passwd "$SUDO_USER" >/dev/null; then
  operator=$SUDO_USER
fi

"$root/scripts/install-deps.sh" run

if [ -z "$operator" ]; then
  [ "$(id -u)" != 0 ] ||
    echo "Rodando como root, sem operador pelo sudo: o Anunciel é instalado e aberto na conta root ($HOME/Anunciel); para instalar para um operador, rode da conta dele: sudo bash scripts/run.sh"
  exec "$root/scripts/install-station.sh" --start "$@"
fi

IFS=: read -r _ _ uid _ _ home _ < <(getent passwd "$operator")
runtime=/run/user/$uid
# Only what the operator's own session would give it: no root environment leaks across.
session=(HOME="$home" USER="$operator" LOGNAME="$operator" PATH="$PATH" LANG="${LANG:-C.UTF-8}")
[ -d "$runtime" ] && session+=(XDG_RUNTIME_DIR="$runtime")
[ -S "$runtime/bus" ] && session+=(DBUS_SESSION_BUS_ADDRESS="unix:path=$runtime/bus")
as_operator() { runuser -u "$operator" -- env -i "${session[@]}" "$@"; }

if ! as_operator test -r "$root/CMakePresets.json" -a -x "$root/scripts"; then
  echo "O operador $operator não consegue ler $root: clone o Anunciel na conta dele e rode de lá: sudo bash scripts/run.sh" >&2
  exit 1
fi
as_operator bash "$root/scripts/install-station.sh" "$@"
station=${1:-$home/Anunciel}
station=$(as_operator bash -c 'cd "$1" && pwd' _ "$station")

# The operator's display: sudo passes DISPLAY and XAUTHORITY on; a Wayland session is found
# in the operator's runtime folder.
display=()
screen=${DISPLAY:-}
[ -n "$screen" ] && display+=(DISPLAY="$screen")
if [ -n "${XAUTHORITY:-}" ]; then
  display+=(XAUTHORITY="$XAUTHORITY")
elif [ -f "$home/.Xauthority" ]; then
  display+=(XAUTHORITY="$home/.Xauthority")
fi
if [ -z "$screen" ] && [ -S "$runtime/wayland-0" ]; then
  screen=wayland-0
  display+=(WAYLAND_DISPLAY="$screen")
fi
how="para abrir o Anunciel, entre na sessão gráfica de $operator e rode: cd \"$station\" && ./anunciel (ou use a entrada Anunciel do menu)"
if [ -z "$screen" ]; then
  echo "Instalado para $operator, sem tela gráfica alcançável daqui: $how"
  exit 0
fi

cd "$station"
as_operator "${display[@]}" ./anunciel &
program=$!
# A display that cannot be reached ends the program at once: then one line says how to
# start it. Otherwise it runs here, as the operator, until it is closed.
for _ in $(seq 50); do
  if ! kill -0 "$program" 2>/dev/null; then
    wait "$program" && exit 0
    echo "Instalado para $operator, mas a tela $screen não pôde ser aberta: $how"
    exit 0
  fi
  sleep 0.1
done
wait "$program"
