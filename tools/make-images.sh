#!/usr/bin/env bash
# Draws every picture the windows show (icons, the banner, the tower picture and the two
# animations) with ImageMagick, into src/ui/images/, each twice: `name.png` for screens at
# 100 % and `name@2x.png`, drawn at double resolution, for scaled screens (150 %, 200 %),
# where Qt would otherwise stretch the small one and blur it. The results are committed and
# compiled into the program as resources; run this again only to change a picture.
# Needs Debian's imagemagick and fonts-liberation.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/src/ui/images"
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

command -v convert >/dev/null || { echo "make-images: ImageMagick's convert is missing" >&2; exit 1; }
bold=/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf
[ -f "$bold" ] || { echo "make-images: $bold is missing (fonts-liberation)" >&2; exit 1; }

# No time stamps or other varying chunks, so the files only change when a drawing does.
png_opts=(-strip -define png:exclude-chunks=date,time)

# Icons are drawn on a 128 x 128 canvas and scaled down, which smooths their edges: to
# 32 x 32, and to 64 x 64 for the double resolution.
icon() { # name, draw arguments...
    local name=$1
    shift
    convert -size 128x128 xc:none "$@" "$work/$name-128.png"
    convert "$work/$name-128.png" -filter Lanczos -resize 32x32 "${png_opts[@]}" "PNG32:$out/$name.png"
    convert "$work/$name-128.png" -filter Lanczos -resize 64x64 "${png_opts[@]}" "PNG32:$out/$name@2x.png"
}
icon16() { # name: a 16 x 16 copy (and its 32 x 32 double) for the places that show the small size
    convert "$work/$1-128.png" -filter Lanczos -resize 16x16 "${png_opts[@]}" "PNG32:$out/$1-16.png"
    convert "$work/$1-128.png" -filter Lanczos -resize 32x32 "${png_opts[@]}" "PNG32:$out/$1-16@2x.png"
}

# An open arc as short round-capped lines (ImageMagick closes stroked open paths); leaves its
# drawing arguments in arc_args. Angles in degrees, clockwise from three o'clock.
arc() { # centre x, centre y, radius, first angle, last angle
    arc_args=(-draw 'stroke-linecap round')
    local seg
    while read -r seg; do
        arc_args+=(-draw "line $seg")
    done < <(awk -v cx="$1" -v cy="$2" -v r="$3" -v a0="$4" -v a1="$5" 'BEGIN {
        pi = atan2(0, -1); n = 24
        for (i = 0; i < n; ++i) {
            s = (a0 + (a1 - a0) * i / n) * pi / 180; e = (a0 + (a1 - a0) * (i + 1) / n) * pi / 180
            printf "%.1f,%.1f %.1f,%.1f\n", cx + r * cos(s), cy + r * sin(s), cx + r * cos(e), cy + r * sin(e)
        } }')
}

folder=(-stroke '#7a5a00' -strokewidth 3 -fill '#f4c430'
        -draw 'polygon 6,40 44,40 52,50 110,50 110,114 6,114'
        -fill '#ffd966' -draw 'polygon 6,60 122,60 110,114 6,114')

# Save: a folder, a diskette and a green arrow going down into them.
icon salvar "${folder[@]}" \
    -stroke '#1f2d5c' -strokewidth 3 -fill '#3355aa' -draw 'rectangle 58,58 116,116' \
    -fill '#c8c8c8' -draw 'rectangle 70,58 104,78' -fill '#3355aa' -draw 'rectangle 92,62 99,74' \
    -fill white -draw 'rectangle 66,90 108,116' \
    -stroke '#0a5a0a' -strokewidth 3 -fill '#22bb22' \
    -draw 'polygon 18,4 40,4 40,40 54,40 29,70 4,40 18,40'
icon16 salvar

# Load: a folder with a red check mark.
icon ler "${folder[@]}" -draw 'stroke-linecap round' -fill none \
    -stroke '#8b0000' -strokewidth 18 -draw 'line 36,62 62,96' -draw 'line 62,96 118,20' \
    -stroke '#e01010' -strokewidth 11 -draw 'line 36,62 62,96' -draw 'line 62,96 118,20'
icon16 ler

# About: a figure holding a pencil.
icon sobre -stroke '#333333' -strokewidth 3 \
    -fill '#f1c27d' -draw 'circle 50,28 50,8' \
    -fill '#2f6fbf' -draw 'roundrectangle 22,52 78,124 14,14' \
    -fill '#f1c27d' -draw 'circle 86,72 86,62' \
    -stroke '#6b4a00' -fill '#ffcc00' -draw 'polygon 72,100 112,24 124,30 84,106' \
    -fill '#f5deb3' -draw 'polygon 72,100 84,106 70,120' \
    -fill '#ff8080' -draw 'polygon 112,24 124,30 128,20 118,14'

# Help: a question mark in a speech bubble.
icon ajuda -stroke '#1a3c7a' -strokewidth 4 -fill white \
    -draw 'ellipse 64,54 58,46 0,360' \
    -draw 'polygon 30,88 22,124 58,96' -stroke none -draw 'polygon 32,84 27,116 56,92' \
    -fill '#1a55d0' -font "$bold" -pointsize 86 -gravity north -annotate +0+6 '?'

# Close: an arrow going out through an open door.
icon encerrar -stroke '#3b2300' -strokewidth 3 \
    -fill '#222222' -draw 'rectangle 40,8 100,124' \
    -fill '#a0642a' -draw 'polygon 40,8 72,20 72,128 40,124' \
    -fill '#ffd700' -draw 'circle 64,70 64,65' \
    -stroke '#0a4a0a' -fill '#33cc33' -draw 'polygon 4,56 76,56 76,36 124,68 76,100 76,80 4,80'

# Visit: a hand pointing at a globe.
icon visitar -stroke '#0b2e5c' -strokewidth 3 -fill '#3a8fe0' -draw 'circle 82,46 82,4' \
    -stroke '#1d6b1d' -fill '#3cb043' -draw 'ellipse 70,34 14,18 0,360' \
    -draw 'ellipse 98,62 12,16 0,360' \
    -stroke '#0b2e5c' -strokewidth 2 -fill none -draw 'ellipse 82,46 18,42 0,360' \
    -draw 'line 40,46 124,46' \
    -stroke '#7a4a1a' -strokewidth 3 -fill '#f1c27d' \
    -draw 'roundrectangle 4,84 58,124 10,10' -draw 'polygon 40,88 78,60 86,70 54,100' \
    -draw 'line 18,96 52,96' -draw 'line 18,108 52,108'

# Return: three arrows chasing each other round a circle.
arrows=()
for start in -80 40 160; do
    arc 64 64 44 "$start" $((start + 85))
    read -r ax ay bx by cx cy < <(awk -v e=$((start + 85)) 'BEGIN {
        pi = atan2(0, -1); r = 44; m = e * pi / 180; t = (e + 24) * pi / 180
        # Arrowhead at the arc end, pointing on round the circle (clockwise on screen).
        printf "%.1f %.1f %.1f %.1f %.1f %.1f\n", 64 + (r - 18) * cos(m), 64 + (r - 18) * sin(m),
            64 + (r + 18) * cos(m), 64 + (r + 18) * sin(m), 64 + r * cos(t), 64 + r * sin(t) }')
    arrows+=(-stroke '#0a5a0a' -strokewidth 12 -fill none "${arc_args[@]}"
             -stroke '#0a5a0a' -strokewidth 3 -fill '#22bb22'
             -draw "polygon $ax,$ay $bx,$by $cx,$cy")
done
icon retornar "${arrows[@]}"

# The window icon: a loudspeaker sending out sound, for announcements.
waves=()
for r in 46 62 78; do
    arc 40 64 "$r" -40 40
    waves+=("${arc_args[@]}")
done
icon anunciel -stroke '#202020' -strokewidth 4 -fill '#606060' -draw 'rectangle 10,46 38,82' \
    -fill '#909090' -draw 'polygon 38,46 70,16 70,112 38,82' \
    -stroke '#1a55d0' -strokewidth 8 -fill none "${waves[@]}"
# Icons of the window are 256-colour ones.
for f in anunciel anunciel@2x; do
    convert "$out/$f.png" -colors 255 "${png_opts[@]}" "PNG8:$out/$f.png"
done

# The pictures below are drawn at each resolution rather than scaled: k is the scale, 1 or 2,
# and every coordinate, radius and stroke is multiplied by it.

# The banner: the word "EchoLink" in blue, 274 x 51, 24-bit.
for k in 1 2; do
    [ "$k" = 1 ] && name=echolink || name=echolink@2x
    convert -size $((274 * k))x$((51 * k)) xc:white -font "$bold" -pointsize $((44 * k)) \
        -fill '#1040c0' -gravity center -annotate +0+0 'EchoLink' -type TrueColor \
        "BMP3:$out/$name.bmp"
done

# Drawing of a lattice tower with a red light on top, used by the picture and the animation;
# leaves its drawing arguments in tower_args.
tower() { # scale, top centre x, top y, base y, half the base width (all at scale 1)
    local k=$1 cx=$(($2 * $1)) top=$(($3 * $1)) base=$(($4 * $1)) half=$(($5 * $1))
    local mid=$(((top + base) / 2))
    tower_args=(-stroke '#303030' -strokewidth $((2 * k)) -fill none
        -draw "line $cx,$top $((cx - half)),$base" -draw "line $cx,$top $((cx + half)),$base"
        -draw "line $((cx - half / 2)),$mid $((cx + half / 2)),$base"
        -draw "line $((cx + half / 2)),$mid $((cx - half / 2)),$base"
        -draw "line $((cx - half / 2)),$mid $((cx + half / 2)),$mid"
        -stroke '#800000' -strokewidth "$k" -fill red -draw "circle $cx,$top $((cx + 2 * k)),$top")
}

# Waves to both sides of a centre, as open arcs; leaves their drawing arguments in wave_args.
waves() { # centre x, centre y, radius, half the angle each side spans
    wave_args=()
    arc "$1" "$2" "$3" "-$4" "$4"
    wave_args+=("${arc_args[@]}")
    arc "$1" "$2" "$3" $((180 - $4)) $((180 + $4))
    wave_args+=("${arc_args[@]}")
}

# The about window's picture: a radio tower radiating waves, 64 x 64.
for k in 1 2; do
    [ "$k" = 1 ] && name=torre || name=torre@2x
    tower "$k" 32 16 62 14
    rings=()
    for ring in "10 60" "18 55" "26 50"; do
        read -r r span <<<"$ring"
        waves $((32 * k)) $((16 * k)) $((r * k)) "$span"
        rings+=("${wave_args[@]}")
    done
    convert -size $((64 * k))x$((64 * k)) xc:white "${tower_args[@]}" \
        -stroke '#1a55d0' -strokewidth $((2 * k)) -fill none "${rings[@]}" \
        "${png_opts[@]}" "PNG24:$out/$name.png"
done

# The antenna tower animation: 35 x 45, 10 frames of 100 ms, waves spreading from the top
# and fading, 9999 repetitions.
for k in 1 2; do
    [ "$k" = 1 ] && name=antena || name=antena@2x
    frames=()
    for f in $(seq 0 9); do
        rings=()
        for w in 0 1 2; do
            r=$(((f + w * 10 / 3) % 10 + 2)) # 2..11, each wave a third of a cycle apart
            grey=$((r * 20))
            waves $((17 * k)) $((10 * k)) $((r * k)) 50
            rings+=(-stroke "$(printf '#%02x%02xff' "$grey" "$grey")" "${wave_args[@]}")
        done
        tower "$k" 17 10 44 9
        convert -size $((35 * k))x$((45 * k)) xc:white -strokewidth "$k" -fill none "${rings[@]}" \
            "${tower_args[@]}" "$work/$name-$f.png"
        frames+=("$work/$name-$f.png")
    done
    # ImageMagick's -loop counts plays and stores one less in the file, whose loop field
    # counts the repetitions after the first play: -loop N+1 stores N.
    convert -delay 10 -loop $((9999 + 1)) -dispose none "${frames[@]}" "$out/$name.gif"
done

# The level meter animation: 56 x 63, four columns of bars, green low, yellow middle, red at
# the top, 16 frames of 10 ms, 1000 repetitions.
levels=(3 5 7 9 8 6 4 2   5 8 9 7 5 3 2 4   7 9 6 4 3 5 8 9   2 3 5 7 9 8 6 4)
for k in 1 2; do
    [ "$k" = 1 ] && name=medidor || name=medidor@2x
    frames=()
    for f in $(seq 0 15); do
        bars=()
        for c in 0 1 2 3; do
            level=${levels[$(((c * 8 + f * (c + 1)) % 32))]}
            x0=$((4 + c * 13))
            for b in $(seq 0 8); do
                y1=$((59 - b * 6))
                if [ "$b" -ge 7 ]; then on='#ff2020' off='#4a0000'
                elif [ "$b" -ge 5 ]; then on='#ffe000' off='#4a4200'
                else on='#20e020' off='#004a00'; fi
                [ "$b" -lt "$level" ] && colour=$on || colour=$off
                # A bar covers the pixels x0..x0+9 and y1-4..y1 at scale 1.
                bars+=(-fill "$colour"
                       -draw "rectangle $((x0 * k)),$(((y1 - 4) * k)) $(((x0 + 10) * k - 1)),$(((y1 + 1) * k - 1))")
            done
        done
        frame="$work/$name-$(printf %02d "$f").png"
        convert -size $((56 * k))x$((63 * k)) xc:black -stroke none "${bars[@]}" "$frame"
        frames+=("$frame")
    done
    convert -delay 1 -loop $((1000 + 1)) -dispose none "${frames[@]}" "$out/$name.gif"
done

# The Windows executable's icon (Explorer, the Start menu), from the window's icon.
convert "$out/anunciel.png" -define icon:auto-resize=32,16 "$root/packaging/windows/anunciel.ico"

echo "make-images: pictures written to $out"
