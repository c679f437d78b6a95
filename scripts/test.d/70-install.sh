#!/usr/bin/env bash
# Installs into a temporary station folder with a temporary home, checks the menu entry,
# starts the installed program from its folder under Xvfb, sees its window, ends it, and
# uninstalls, leaving the operator's files untouched.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share"
mkdir -p "$HOME"
station="$work/Minha Estação"
mkdir -p "$station"
printf 'RIFF....WAVE' > "$station/aviso.wav"
printf '08:00\r\n\r\n\r\n\r\n' > "$station/hora_msg.txt"
sum_before=$(cd "$station" && sha256sum aviso.wav hora_msg.txt)

"$root/scripts/install-station.sh" "$station" >/dev/null
test -x "$station/anunciel" || { echo "FAIL: no executable at the top of the station folder"; exit 1; }
desktop="$XDG_DATA_HOME/applications/anunciel.desktop"
desktop-file-validate "$desktop"
grep -qx "Path=$station" "$desktop" || { echo "FAIL: Path is not the station folder"; exit 1; }

# Start it as the menu would: from the Path folder, with the Exec line's program.
exe=$(sed -n 's/^Exec="\(.*\)"$/\1/p' "$desktop")
unset QT_QPA_PLATFORM
cat > "$work/start.sh" <<START
#!/usr/bin/env bash
cd "\$1"
"\$2" &
pid=\$!
for i in \$(seq 1 100); do
  if xwininfo -root -tree 2>/dev/null | grep -q '"Anunciel por Orvand"'; then
    kill -TERM \$pid; wait \$pid; exit \$?
  fi
  sleep 0.1
done
kill -KILL \$pid; echo "FAIL: the window did not come up"; exit 1
START
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/start.sh" "$station" "$exe"

"$root/scripts/uninstall-station.sh" "$station" >/dev/null
test ! -e "$station/anunciel" || { echo "FAIL: executable left behind"; exit 1; }
test ! -e "$desktop" || { echo "FAIL: menu entry left behind"; exit 1; }
sum_after=$(cd "$station" && sha256sum aviso.wav hora_msg.txt)
[ "$sum_before" = "$sum_after" ] || { echo "FAIL: the operator's files changed"; exit 1; }
echo "install: 1 passed, 0 failed"
