#!/usr/bin/env bash
# Takes the screenshots in docs/: the program runs on a virtual X display with a window
# manager (for the title bars), from a scratch folder holding a copy of the executable, a
# sample schedule and its WAV files; xdotool opens the about and help windows as a person
# would, by clicking "Sobre" and "Ajuda", and closes each with Enter.
# Needs Debian's xvfb, xauth, icewm (or SCREENSHOTS_WM=another window manager), xdotool and imagemagick, and a build (scripts/build.sh).
# SCREENSHOTS_SCALE=2 (or 1.5) takes them on a screen scaled to 200 % (150 %), as Qt scales
# for a high-resolution monitor, into docs/main-window-200.png and so on.
# Usage: tools/screenshots.sh [executable]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-$root/build/default/src/anunciel}

scale=${SCREENSHOTS_SCALE:-1}
# The scaling in percent, and the pictures' suffix: none at 100 %, "-200" at 200 %.
percent=$(awk -v s="$scale" 'BEGIN { printf "%d", s * 100 }')
[ "$percent" = 100 ] && suffix= || suffix=-$percent

if [ -z "${SCREENSHOTS_INNER:-}" ]; then
    for tool in xvfb-run "${SCREENSHOTS_WM:-icewm}" xdotool import convert; do
        command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing" >&2; exit 1; }
    done
    [ -x "$exe" ] || { echo "screenshots: no executable at $exe (build first)" >&2; exit 1; }
    size=$(awk -v s="$scale" 'BEGIN { printf "%dx%d", 1024 * s, 768 * s }')
    SCREENSHOTS_INNER=1 exec xvfb-run -a -s "-screen 0 ${size}x24" "$0" "$exe"
fi

scratch=$(mktemp -d)
started=()
cleanup() {
    # Last started first: the programs before their display.
    for ((i = ${#started[@]} - 1; i >= 0; --i)); do kill "${started[i]}" 2>/dev/null || true; done
    rm -rf "$scratch"
}
trap cleanup EXIT

${SCREENSHOTS_WM:-icewm} >/dev/null 2>&1 &
started+=($!)
sleep 1

cp "$exe" "$scratch/anunciel"
printf '08:00\r\n12:30\r\n18:45\r\n\r\n' >"$scratch/hora_msg.txt"
printf 'bom_dia.wav\r\nidentificacao.wav\r\nboa_noite.wav\r\n\r\n' >"$scratch/mensagem_msg.txt"
for f in bom_dia identificacao boa_noite; do : >"$scratch/$f.wav"; done
(cd "$scratch" && QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale ./anunciel) &
started+=($!)

main=$(xdotool search --sync --name '^Anunciel por Orvand$' | head -n1)
sleep 2.5 # the clock and the indicators have ticked, the animations run

shot() { # window id, output name (without .png)
    import -window "$1" -frame "$root/docs/$2$suffix.png"
    echo "screenshots: docs/$2$suffix.png"
}
# Clicks at a point of the main window's client area given in twips.
click() {
    xdotool mousemove --window "$main" $(awk -v x="$1" -v y="$2" -v s="$scale" \
        'BEGIN { printf "%d %d", x / 15 * s, y / 15 * s }') click 1
}
wait_for() { # window title
    xdotool search --sync --onlyvisible --name "^$1\$" | head -n1
}
# Enter goes to the window that has the focus, as a key press does.
enter_closes() { # window title
    xdotool key Return
    sleep 1
    if xdotool search --onlyvisible --name "^$1\$" >/dev/null; then
        echo "screenshots: Enter did not close the window \"$1\"" >&2
        exit 1
    fi
}

xdotool windowactivate --sync "$main"
sleep 0.5
shot "$main" main-window

click $((7560 + 1095 / 2)) $((3960 + 975 / 2)) # "Sobre"
about=$(wait_for Sobre)
sleep 1
shot "$about" about-window
enter_closes Sobre

click $((6120 + 855 / 2)) $((5280 + 855 / 2)) # "Ajuda"
help=$(wait_for Ajuda)
sleep 1
shot "$help" help-window
enter_closes Ajuda
