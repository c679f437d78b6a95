#!/usr/bin/env bash
# The Windows program as an operator gets it, checked under Wine on a virtual display:
#
#   1. builds the program, its zip and its installer (cmake --workflow --preset windows), and
#      the platform check program for Linux and for Windows (tests/wine/platform);
#   2. in a fresh Wine prefix, runs the platform check: the file-existence test's Windows
#      rules and the code page, which must write and read exactly as the Linux build does;
#   3. installs the package silently, checks the folder and the Start menu shortcut, starts
#      the program from the shortcut without the node's automation class (the fatal box, the
#      end), registers the stand-in node (NodeServer.cpp: a 32-bit out-of-process server with
#      its type library in its .exe, as the real node program; without 32-bit Wine the same
#      server built for 64 bits) and starts it again; then, from
#      outside (xdotool, window titles, the boxes' text as Ctrl+C copies it, the stand-in's call
#      log, the files): the missing-file box, "Enviar agora", a slot scheduled a few seconds
#      ahead sent exactly once, the save buttons' bytes against the Linux build's, the closing
#      question (No, then Yes);
#   4. removes the node interface's registration from both registry views, as a 32-bit node
#      installer may leave it for a 64-bit program, and runs the program again: the same
#      sends, through IDispatch; then against a node that answers 2.5 s late around a slot's
#      second (the window's clock goes on, the slot goes out once and says how late) and one
#      that never answers ("Encerrar" still ends the program);
#   5. installs again over it and uninstalls: the operator's files stay, all of ours go, the
#      Startup shortcut included.
#
#   tests/wine/windows-check.sh [--screenshot FILE]
#     --screenshot FILE  also saves the main window, with a window manager's frame, to FILE
#   WINDOWS_CHECK_NODE_BITS=64  the 64-bit stand-in even where 32-bit Wine is installed
#
# Where 32-bit Wine (Debian's wine32:i386) or the i686 compiler is missing, the stand-in is
# built for 64 bits and the checks that need a 32-bit server are listed as skipped, with that
# reason; every other check runs.
#
# Exit status: 0 all that ran passed, 1 something failed, 77 skipped as a whole (a tool or the
# shared Qt missing; the last line starting "SKIPPED: " says why).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
screenshot=
if [ "${1:-}" = --screenshot ] && [ -n "${2:-}" ]; then
    screenshot=$(realpath -m "$2")
elif [ $# -gt 0 ]; then
    echo "usage: $0 [--screenshot FILE]" >&2
    exit 2
fi

# The stand-in node is built for 32 bits, as the real node is, where 32-bit Wine and the i686
# tools are there, else for 64 bits. Its type library refers to the system's automation types
# in that Wine's stdole2.tlb.
node_bits=32
no_32_bits=
stdole32=/usr/lib/i386-linux-gnu/wine/i386-windows/stdole2.tlb
stdole64=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/stdole2.tlb
if [ "${WINDOWS_CHECK_NODE_BITS:-}" = 64 ]; then
    no_32_bits="WINDOWS_CHECK_NODE_BITS=64"
elif [ ! -f "$stdole32" ]; then
    no_32_bits="no 32-bit Wine, Debian package wine32:i386"
else
    for tool in i686-w64-mingw32-g++-posix i686-w64-mingw32-widl i686-w64-mingw32-windres; do
        command -v "$tool" >/dev/null 2>&1 && continue
        no_32_bits="no $tool, Debian packages g++-mingw-w64-i686-posix mingw-w64-tools"
        break
    done
fi
if [ -n "$no_32_bits" ]; then
    node_bits=64
    node_host=x86_64-w64-mingw32
    stdole=$stdole64
else
    node_host=i686-w64-mingw32
    stdole=$stdole32
fi

needed=(cmake ninja x86_64-w64-mingw32-g++-posix "$node_host-g++-posix" "$node_host-widl"
    "$node_host-windres" makensis wine wineboot wineserver Xvfb xdotool xclip strings
    sha256sum iconv timeout pgrep import)
[ -n "$screenshot" ] && needed+=(icewm)
for tool in "${needed[@]}"; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIPPED: Windows package check: '$tool' is not installed"
        exit 77
    fi
done
if [ ! -f "$stdole" ]; then
    echo "SKIPPED: Windows package check: no $stdole (Wine's automation types)"
    exit 77
fi
qt_archive="$root/../shared/qt6-mingw/qt6-mingw.tar.xz"
if [ ! -f "$qt_archive" ]; then
    echo "SKIPPED: Windows package check: no Qt for Windows at $qt_archive" \
        "(tools/build-qt6-mingw.sh makes one)"
    exit 77
fi

started=$(date +%s)
passed=0
failed=0
skipped=0
pass() {
    echo "PASS: $1"
    passed=$((passed + 1))
}
fail() {
    echo "FAIL: $1"
    failed=$((failed + 1))
}
# A check that cannot be made with the 64-bit stand-in: listed, with the reason.
needs_32_bits() { # description
    echo "SKIP: $1 (needs a 32-bit server: $no_32_bits)"
    skipped=$((skipped + 1))
}
check() { # description, command...
    local what=$1
    shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}
# Ends the run at once: what follows depends on the step that failed.
fatal() {
    fail "$1"
    echo "windows: $passed passed, $failed failed, $skipped skipped"
    exit 1
}

# ---- 1. Builds ---------------------------------------------------------------------------
echo "-- building the Windows program and its packages"
t0=$(date +%s)
cd "$root"
mkdir -p "$root/build"
if ! cmake --workflow --preset windows >"$root/build/windows-workflow.log" 2>&1; then
    tail -n 40 "$root/build/windows-workflow.log"
    fatal "cmake --workflow --preset windows (log: build/windows-workflow.log)"
fi
if grep -E -q 'warning:|CMake Warning|CPack Warning' "$root/build/windows-workflow.log"; then
    grep -E -A3 'warning:|CMake Warning|CPack Warning' "$root/build/windows-workflow.log"
    fail "the Windows build and packaging are free of warnings"
else
    pass "the Windows build and packaging are free of warnings"
fi
package_dir="$root/build/windows/package"
installer=$(ls "$package_dir"/Anunciel-*-win64.exe)
zip=$(ls "$package_dir"/Anunciel-*-win64.zip)
echo "   $(basename "$zip"): $(stat -c %s "$zip") bytes;" \
    "$(basename "$installer"): $(stat -c %s "$installer") bytes; $(($(date +%s) - t0)) s"

# The zip is a ready station folder: the program, its DLLs and the three plugin folders.
station_files=(anunciel.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll Qt6Network.dll libstdc++-6.dll
    libgcc_s_seh-1.dll libwinpthread-1.dll platforms/qwindows.dll imageformats/qgif.dll
    styles/qwindowsvistastyle.dll)
top=$(basename "$zip" .zip)
want_listing=$(for f in "${station_files[@]}"; do echo "$top/$f"; done | sort)
got_listing=$(cmake -E tar tf "$zip" | grep -v '/$' | sort)
check "the zip holds exactly the station folder's files" \
    diff <(echo "$want_listing") <(echo "$got_listing")
# Stripped: neither symbols nor debug sections left in any program file.
unstripped=()
while IFS= read -r -d '' f; do
    if [ -n "$(x86_64-w64-mingw32-nm "$f" 2>/dev/null)" ] ||
        x86_64-w64-mingw32-objdump -h "$f" | grep -q '\.debug_'; then
        unstripped+=("${f##*/}")
    fi
done < <(find "$root/build/windows/package/_CPack_Packages/win64/ZIP" \( -name '*.dll' -o -name '*.exe' \) -print0)
check "the program and every DLL in the package are stripped${unstripped[*]:+ (not: ${unstripped[*]})}" \
    test ${#unstripped[@]} -eq 0

echo "-- building the platform check for Linux and for Windows"
qt_dir="$root/build/windows/qt6-mingw"
# (--no-warn-unused-cli: a second configure does not read the toolchain file again.)
cmake --no-warn-unused-cli -S "$here/platform" -B "$root/build/platform-linux" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build/platform-linux" -j2 >/dev/null
cmake --no-warn-unused-cli -S "$here/platform" -B "$root/build/platform-windows" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_PREFIX_PATH="$qt_dir" -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >/dev/null
cmake --build "$root/build/platform-windows" -j2 >/dev/null
linux_check="$root/build/platform-linux/platform_check"

echo "-- building the $node_bits-bit stand-in node server${no_32_bits:+ ($no_32_bits)}"
node_build="$root/build/nodeserver"
mkdir -p "$node_build"
"$node_host-widl" "--win$node_bits" -L"$(dirname "$stdole")" -t -o "$node_build/nodeserver.tlb" \
    "$here/NodeServer.idl"
"$node_host-windres" -I"$node_build" "$here/NodeServer.rc" -O coff \
    -o "$node_build/nodeserver-res.o"
"$node_host-g++-posix" -std=c++20 -O2 -Wall -Wextra -Werror -static -static-libgcc \
    -static-libstdc++ -mwindows -o "$node_build/nodeserver.exe" "$here/NodeServer.cpp" \
    "$node_build/nodeserver-res.o" -lole32 -loleaut32 -luuid -ladvapi32
# The link alone (tests/wine/LinkCheck.cpp), for the statuses the program does not show.
x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -Wall -Wextra -Werror -static -static-libgcc \
    -static-libstdc++ -I"$root/src" -o "$node_build/linkcheck.exe" "$here/LinkCheck.cpp" \
    "$root/src/link/win/ComLink.cpp" -lole32 -loleaut32 -luuid

# ---- A fresh prefix on a virtual display -------------------------------------------------
work=$(mktemp -d "${TMPDIR:-/tmp}/anunciel-windows.XXXXXX")
export WINEPREFIX="$work/prefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WAYLAND_DISPLAY
unset ANUNCIEL_MOCK_RF_BUSY ANUNCIEL_MOCK_IP_BUSY ANUNCIEL_MOCK_RESULT ANUNCIEL_MOCK_NO_TYPE_INFO
xvfb_pid=
wm_pid=
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fatal "Xvfb started"
DISPLAY=":$(head -n1 "$work/display")"
export DISPLAY
if [ -n "$screenshot" ]; then
    icewm >/dev/null 2>&1 &
    wm_pid=$!
fi

echo "-- preparing a fresh Wine prefix"
t0=$(date +%s)
timeout 300 wineboot --init >/dev/null 2>&1 || fatal "wineboot --init finished"
timeout 120 wineserver -w
wineserver -p # one server for the whole run
echo "   $(($(date +%s) - t0)) s"
drive_c="$WINEPREFIX/drive_c"

# ---- 2. The platform check under Wine ----------------------------------------------------
echo "-- the file-existence test and the code page on Windows"
mkdir -p "$drive_c/check"
cp "$root/build/platform-windows/platform_check.exe" "$drive_c/check/"
for dll in Qt6Core.dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    cp "$root/build/windows/package/_CPack_Packages/win64/ZIP/$top/$dll" "$drive_c/check/"
done
status=0
timeout 60 wine 'C:\check\platform_check.exe' files >"$work/files.txt" 2>/dev/null || status=$?
sed 's/^/   /' "$work/files.txt"
check "the file-existence test's Windows cases (platform_check files, exit $status)" \
    test "$status" = 0
timeout 60 wine 'C:\check\platform_check.exe' codepage >"$work/codepage-windows.txt" 2>/dev/null ||
    true
"$linux_check" codepage >"$work/codepage-linux.txt"
check "the code page writes and reads every text and byte as the Linux build does" \
    diff -u --label linux --label windows "$work/codepage-linux.txt" "$work/codepage-windows.txt"

# ---- Helpers for the program's windows ---------------------------------------------------
main_title='Anunciel por Orvand'
# Waits up to $2 seconds for a visible window whose title is $1 (xdotool compares without
# case), and prints its id.
wait_window() {
    local deadline=$((SECONDS + $2)) id
    while [ $SECONDS -lt $deadline ]; do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1) || true
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.2
    done
    return 1
}
window_gone() { # title, seconds
    local deadline=$((SECONDS + $2))
    while [ $SECONDS -lt $deadline ]; do
        xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
        sleep 0.2
    done
    return 1
}
# Clicks a point of the main window given in twips, as its layout places the controls.
click() { # x, y
    xdotool mousemove --window "$main" $(($1 / 15)) $(($2 / 15)) click 1
}
# The text of the message box that is open, as Qt copies it for Ctrl+C: title, text and
# buttons between lines of dashes. The box has the title "Anunciel" or "anunciel".
box_text() {
    local box
    box=$(wait_window anunciel 10) || { echo "(no box)"; return 0; }
    timeout 10 xdotool windowfocus --sync "$box" 2>/dev/null || true
    # xclip stays behind to serve the text until the box takes the clipboard over.
    printf 'none' | xclip -selection clipboard -i >/dev/null 2>&1
    xdotool key --clearmodifiers ctrl+c
    local text deadline=$((SECONDS + 5))
    while :; do
        text=$(timeout 5 xclip -selection clipboard -o 2>/dev/null) || text=
        [ "$text" != none ] && [ -n "$text" ] && break
        [ $SECONDS -ge $deadline ] && { echo "(nothing copied)"; return 0; }
        sleep 0.2
    done
    echo "$text"
}
expect_box() { # description, title, text, buttons
    local want got
    want=$(printf -- '---------------------------\n%s\n---------------------------\n%s\n---------------------------\n%s\n---------------------------' "$2" "$3" "$4")
    got=$(box_text)
    if [ "$got" = "$want" ]; then
        pass "$1"
    else
        fail "$1"
        diff -u --label expected --label "the box" <(echo "$want") <(echo "$got") || true
    fi
}
answer_box() { # keys...
    local box
    box=$(wait_window anunciel 5) || return 1
    timeout 10 xdotool windowfocus --sync "$box" 2>/dev/null || true
    xdotool key --clearmodifiers "$@"
}
program_running() {
    pgrep -f 'C:\\Anunciel\\anunciel\.exe' >/dev/null
}
wait_program_end() { # seconds
    local deadline=$((SECONDS + $1))
    while [ $SECONDS -lt $deadline ]; do
        program_running || return 0
        sleep 0.2
    done
    return 1
}
calls="$drive_c/node/calls.log"
# The transmit calls in the stand-in's log, in order (the busy reads of the link monitor
# run every second between them).
transmits() {
    grep -E '^slot (12|25) ' "$calls" 2>/dev/null || true
}
transmit_count() {
    transmits | wc -l
}
wait_transmits() { # count, seconds
    local deadline=$((SECONDS + $2))
    while [ $SECONDS -lt $deadline ]; do
        [ "$(transmit_count)" -ge "$1" ] && return 0
        sleep 0.2
    done
    return 1
}
# The calls of one send of the file at PATH (a Windows path), as the stand-in logs them.
send_of() {
    local bytes
    bytes=$(printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | wc -c)
    printf 'slot 12 SetTransmit -1\nslot 25 PlayFile length %s text "%s" flag -1\nslot 12 SetTransmit 0\n' \
        "$bytes" "$1"
}
cp1252() {
    iconv -f UTF-8 -t WINDOWS-1252
}
start_from_shortcut() {
    # From elsewhere, so that only the shortcut's "Start in" can make the program's folder
    # the working folder where it finds its schedule.
    (cd "$work" && wine start /unix "$shortcut" >/dev/null 2>&1)
}

# ---- 3. Install, and the program --------------------------------------------------------
echo "-- installing silently"
cp "$installer" "$work/setup.exe"
timeout 120 wine "$work/setup.exe" /S >/dev/null 2>&1 || fatal "the installer ran (/S)"
station="$drive_c/Anunciel"
missing=()
for f in "${station_files[@]}" Desinstalar.exe; do [ -f "$station/$f" ] || missing+=("$f"); done
check "installed into C:\\Anunciel by default${missing[*]:+ (missing: ${missing[*]})}" \
    test ${#missing[@]} -eq 0
mapfile -t shortcuts < <(find "$drive_c/users" -path '*/Start Menu/Programs/Anunciel.lnk')
[ ${#shortcuts[@]} = 1 ] || fatal "one Start menu shortcut Anunciel.lnk (found ${#shortcuts[@]})"
shortcut=${shortcuts[0]}
# (Wine spells the folder StartUp.)
mapfile -t shortcuts < <(find "$drive_c/users" -ipath '*/Start Menu/Programs/Startup/Anunciel.lnk')
startup_shortcut=${shortcuts[0]:-"(none)"}
check "a silent install leaves one shortcut in the user's Startup folder" \
    test ${#shortcuts[@]} = 1
# A link's target and working folder, among its UTF-16 strings.
link_has() { # link, string
    strings -el "$1" 2>/dev/null | grep -Fxq "$2"
}
for link in "$shortcut" "$startup_shortcut"; do
    which=${link%/Anunciel.lnk}
    which=${which##*/}
    check "the $which shortcut starts C:\\Anunciel\\anunciel.exe" \
        link_has "$link" 'C:\Anunciel\anunciel.exe'
    check "the $which shortcut's \"Start in\" is C:\\Anunciel" link_has "$link" 'C:\Anunciel'
done
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Anunciel'
registry_has() { # key
    timeout 60 wine reg query "$1" >/dev/null 2>&1
}
registry_lacks() { # key
    ! registry_has "$1"
}
check "the uninstaller is listed for the user" registry_has "$uninstall_key"

echo "-- the node's automation class not registered"
start_from_shortcut
expect_box "no automation class: the fatal box" Anunciel \
    "Erro em tempo de execução '-2147221164 (80040154)':"$'\n\n'"Erro sem descrição do sistema" \
    "OK   "
main_hidden() {
    ! xdotool search --onlyvisible --name "^$main_title\$" >/dev/null 2>&1
}
waiting_on_the_box() {
    program_running && main_hidden
}
check "no automation class: the program waits on the box, no main window shown" \
    waiting_on_the_box
answer_box Return || true
check "no automation class: the program ends after OK" wait_program_end 15

echo "-- registering the $node_bits-bit stand-in node server"
mkdir -p "$drive_c/node"
cp "$node_build/nodeserver.exe" "$drive_c/node/"
timeout 60 wine 'C:\node\nodeserver.exe' /regserver >/dev/null 2>&1 ||
    fatal "nodeserver.exe /regserver"
interface_key='HKCR\Interface\{7733112C-4577-4432-9DB0-A9398184EAF6}'
in_view() { # 32 or 64: the node interface's key is in that registry view
    timeout 60 wine reg query "$interface_key" "/reg:$1" >/dev/null 2>&1
}
registered_in_both_views() { in_view 32 && in_view 64; }
if [ "$node_bits" = 32 ]; then
    check "the 32-bit server's registration puts the node interface in both registry views" \
        registered_in_both_views
else
    needs_32_bits "the 32-bit server's registration puts the node interface in both registry views"
fi

# The operator's station: two WAV files (one name with accents), a schedule whose times are
# far from now (nothing is due by itself), names with mixed line ends and a fifth line, and
# files of the operator's own that the package must never touch.
far=$(date -d '+12 hours' +%H:%M)
printf '\x52\x49\x46\x46' >"$station/aviso.wav"
printf '\x52\x49\x46\x46' >"$station/Anúncio 1.wav"
printf '%s\r\n12:30\r\n08\r\n%s' "$far" "$far" | cp1252 >"$station/hora_msg.txt"
printf 'Anúncio 1.wav\r\nfalta.wav\r\r\naviso.wav\nquinta.wav\r\n' | cp1252 >"$station/mensagem_msg.txt"
printf 'notas do operador\r\n' >"$station/notas.txt"
mkdir -p "$station/Gravações antigas"
printf 'RIFF' >"$station/Gravações antigas/velho.wav"
operator_files=(aviso.wav "Anúncio 1.wav" hora_msg.txt mensagem_msg.txt notas.txt
    "Gravações antigas/velho.wav")

echo "-- the program, started from its shortcut"
start_from_shortcut
main=$(wait_window "$main_title" 60) || fatal "the main window \"$main_title\" appears"
pass "the main window \"$main_title\" appears"
if [ -n "$screenshot" ]; then
    sleep 2.5 # the clock and the indicators have ticked
fi

# Slot 2's file is missing: the first tick says so (and unticks the slot).
expect_box "a ticked slot whose file is missing: the box" Anunciel "O arquivo não Existe!" "OK   "
if [ -n "$screenshot" ]; then
    answer_box Return || true
    sleep 1.5
    xdotool windowactivate --sync "$main" 2>/dev/null || true
    sleep 0.5
    import -window "$main" -frame "$screenshot"
    echo "   screenshot: $screenshot"
else
    answer_box Return || true
fi
window_gone anunciel 5 || fail "the box closes with Enter"

# "Enviar agora" of slot 1 (row tops 600 + 480 per slot inside the frame at 240,1320).
envia() { click $((240 + 6960 + 1335 / 2)) $((1320 + 600 + 480 * ($1 - 1) + 375 / 2)); }
envia 1
if wait_transmits 3 10; then
    check "\"Enviar agora\": key, play the full path (with accents), unkey" \
        diff -u --label expected --label calls.log <(send_of 'C:\Anunciel\Anúncio 1.wav') \
        <(transmits)
else
    fail "\"Enviar agora\" sent nothing"
fi

envia 2
expect_box "\"Enviar agora\" with a missing WAV file: the box" Anunciel "O arquivo não Existe!" \
    "OK   "
answer_box Return || true
sleep 1.5
check "\"Enviar agora\" with a missing WAV file sends nothing" test "$(transmit_count)" = 3

# Slot 4 the given seconds ahead, to the second, loaded with "Ler diretiva dos horários";
# sets $due and $due_epoch. (Not across midnight, where the time read back below would be
# today's.)
slot4_due_in() { # seconds
    while [ "$(date +%H%M)" = 2359 ]; do sleep 1; done
    due=$(date -d "+$1 seconds" +%H:%M:%S)
    printf '%s\r\n12:30\r\n08\r\n%s\r\n' "$far" "$due" | cp1252 >"$station/hora_msg.txt"
    click $((1920 + 1575 / 2)) $((3960 + 975 / 2))
    due_epoch=$(date -d "$due" +%s)
}
# ... a few seconds ahead, and the seconds around it waited out.
slot4_due_soon() {
    slot4_due_in 7
    while [ "$(date +%s)" -le $((due_epoch + 3)) ]; do sleep 0.2; done
}
slot4_due_soon
check "slot 4 due at $due: sent once, key, play, unkey" \
    diff -u --label expected --label calls.log \
    <(send_of 'C:\Anunciel\Anúncio 1.wav'; send_of 'C:\Anunciel\aviso.wav') <(transmits)

# The save buttons: the fields as loaded (the two-character time has its colon; the names'
# line ends and fifth line are gone), in the code page with CR LF, as the Linux build writes.
rm -f "$station/hora_msg.txt" "$station/mensagem_msg.txt"
click $((240 + 1575 / 2)) $((3960 + 975 / 2))  # Gravar diretivas dos horários
click $((3840 + 1575 / 2)) $((3960 + 975 / 2)) # Gravar diretivas dos arquivos
for _ in $(seq 25); do
    [ -f "$station/hora_msg.txt" ] && [ -f "$station/mensagem_msg.txt" ] && break
    sleep 0.2
done
printf '%s\n12:30\n08:\n%s\n' "$far" "$due" | "$linux_check" encode >"$work/hora-linux"
printf 'Anúncio 1.wav\nfalta.wav\n\naviso.wav\n' | "$linux_check" encode >"$work/mensagem-linux"
check "\"Gravar diretivas dos horários\" writes the Linux build's bytes" \
    cmp "$work/hora-linux" "$station/hora_msg.txt"
check "\"Gravar diretivas dos arquivos\" writes the Linux build's bytes" \
    cmp "$work/mensagem-linux" "$station/mensagem_msg.txt"
check "... which are CR LF lines in Windows-1252" \
    cmp <(printf 'An\xfancio 1.wav\r\nfalta.wav\r\n\r\naviso.wav\r\n') "$station/mensagem_msg.txt"

# Closing: the question, No keeps the program running, Yes ends it.
encerrar() { click $((7200 + 1455 / 2)) $((5160 + 1095 / 2)); }
encerrar
expect_box "\"Encerrar\" asks the question" anunciel "Tem certeza que quer sair?" "Sim   Não   "
answer_box Escape || true
window_gone anunciel 5 || true
reads_before=$(wc -l <"$calls")
sleep 2.5
going_on() {
    program_running && ! main_hidden && [ "$(wc -l <"$calls")" -gt "$reads_before" ]
}
check "No: the program goes on, the link monitor still reads the node" going_on
encerrar
expect_box "\"Encerrar\" asks again" anunciel "Tem certeza que quer sair?" "Sim   Não   "
answer_box shift+Tab space || true
check "Yes: the program ends" wait_program_end 15
one_object_for_the_run() {
    [ "$(grep -c '^create ' "$calls")" = 1 ] && [ "$(tail -n1 "$calls")" = released ] &&
        ! grep -q WRONGLY "$calls"
}
check "the stand-in was created once, released at the end, and never wrongly called" \
    one_object_for_the_run
check "... called through the node interface, not through IDispatch" \
    test "$(grep -c '^slot [3-6] ' "$calls")" = 0
server_ended() {
    local deadline=$((SECONDS + 10))
    while [ $SECONDS -lt $deadline ]; do
        pgrep -f 'C:\\node\\nodeserver\.exe' >/dev/null || return 0
        sleep 0.2
    done
    return 1
}
check "... and its server ended once released" server_ended

# The station's log, in the program folder: the two sends, dated, as Notepad reads them.
log_file="$station/registro.txt"
logged() { # pattern (extended regular expression, without the date, time and line end)
    grep -aEq "^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} $1"$'\r$' "$log_file"
}
check "the log file registro.txt is in the program folder, UTF-8 marked, CR LF lines" \
    eval '[ "$(head -c 3 "$log_file" | od -An -tx1 | tr -d " ")" = efbbbf ] &&
        [ "$(grep -c $'"'"'\r$'"'"' "$log_file")" = "$(wc -l <"$log_file")" ]'
check "... with \"Enviar agora\" sent, the accents intact" \
    logged 'mensagem 1 \(enviar agora\) "C:\\Anunciel\\Anúncio 1\.wav": enviada'
check "... with slot 4 sent at its time" \
    logged "mensagem 4 \\(horário $due\\) \"C:\\\\Anunciel\\\\aviso\\.wav\": enviada"
check "... with the program's start and end" \
    eval 'logged "Anunciel [0-9.]+ iniciado na pasta C:\\\\Anunciel" && logged "Anunciel encerrado\\."'

# ---- 4. The node interface registered for 32-bit programs only ---------------------------
echo "-- the node interface's key removed from both registry views"
for view in 32 64; do
    timeout 60 wine reg delete "$interface_key" /f "/reg:$view" >/dev/null 2>&1 || true
done
check "the node interface is in neither registry view" eval '! in_view 32 && ! in_view 64'
mv "$calls" "$work/calls-interface.log"
# Started directly, so that what the program logs is seen.
(cd "$station" && wine 'C:\Anunciel\anunciel.exe' >/dev/null 2>"$work/program.log" &)
main=$(wait_window "$main_title" 60) ||
    fatal "without the node interface: the main window \"$main_title\" appears"
pass "without the node interface: the main window \"$main_title\" appears"
# Slot 2's file is still missing.
wait_window anunciel 10 >/dev/null || true
answer_box Return || true
window_gone anunciel 5 || true
envia 1
wait_transmits 3 10 || true
slot4_due_soon
check "without the node interface: \"Enviar agora\", then slot 4 due at $due, in order" \
    diff -u --label expected --label calls.log \
    <(send_of 'C:\Anunciel\Anúncio 1.wav'; send_of 'C:\Anunciel\aviso.wav') <(transmits)
encerrar
answer_box shift+Tab space || true
check "without the node interface: the program ends" wait_program_end 15
through_dispatch() {
    grep -q '^slot 4 GetTypeInfo$' "$calls" && grep -q '^slot 6 Invoke ' "$calls" &&
        ! grep -q WRONGLY "$calls" && [ "$(tail -n1 "$calls")" = released ]
}
check "... bound through IDispatch by the type library's slots, never by name, released" \
    through_dispatch
binding_logged() { # in the station's log file
    local lines
    lines=$(grep -ac 'Ligação com o nó: pelo IDispatch do objeto.*80004002' "$log_file") || true
    [ "$lines" = 1 ]
}
check "... and the log says so once" binding_logged
check "... and its server ended once released" server_ended

# The node's failures reach the program through IDispatch as they do through the interface:
# its own status, with the system's text.
cp "$node_build/linkcheck.exe" "$drive_c/node/"
printf '%s' 'C:\Anunciel\Anúncio 1.wav' >"$drive_c/node/path.txt"
link_statuses() { # mode, VARIABLE=VALUE for the stand-in, the statuses expected
    # The server takes its environment from the program that starts it: a new one each time.
    server_ended || true
    rm -f "$drive_c/node/result.txt"
    (cd "$drive_c/node" && env "$2" timeout 60 wine linkcheck.exe "$1" >/dev/null 2>&1) || true
    diff -u --label expected --label result.txt <(printf '%s' "$3") "$drive_c/node/result.txt"
}
check "through IDispatch, failing transmit calls report the node's own status" \
    link_statuses transmit ANUNCIEL_MOCK_RESULT=0x80004005 'SetTransmit(true) 0x80004005 "Call failed."
PlayFile 0x80004005 "Call failed."
SetTransmit(false) 0x80004005 "Call failed."
'
check "through IDispatch, failing busy reads report it and leave the value alone" \
    link_statuses busy ANUNCIEL_MOCK_RESULT=0x80040201 'RfBusy 0x80040201 "Erro sem descrição do sistema" 77
RfBusy 0x80040201 "Erro sem descrição do sistema" 77
IpBusy 0x80040201 "Erro sem descrição do sistema" 77
'
check "through IDispatch, no type information: no link, with the status that stopped it" \
    link_statuses create ANUNCIEL_MOCK_NO_TYPE_INFO=1 'not created 0x80004001 "Not implemented."
'

# The node answering every call with an error: the indicators do not call the channel free,
# and the log says so once for each side.
echo "-- the node answering every call with an error"
server_ended || true
(cd "$station" && env ANUNCIEL_MOCK_RESULT=0x80040201 wine 'C:\Anunciel\anunciel.exe' \
    >/dev/null 2>&1 &)
main=$(wait_window "$main_title" 60) ||
    fatal "with the node failing: the main window \"$main_title\" appears"
wait_window anunciel 10 >/dev/null || true # slot 2's file is still missing
answer_box Return || true
window_gone anunciel 5 || true
sleep 3
encerrar
answer_box shift+Tab space || true
check "with the node failing: the program ends" wait_program_end 15
side_unknown_once() { # side as the log names it
    [ "$(grep -aFc "Sem leitura $1: " "$log_file")" = 1 ]
}
check "... the radio side shown unknown, told once" side_unknown_once 'do rádio (RF)'
check "... the internet side shown unknown, told once" side_unknown_once 'da internet (IP)'
server_ended || true

# A node whose window is busy answers late: the stand-in answers every operation 2.5 s late
# from 20 s before slot 4's second to 10 s after it (slow.txt beside it), then not at all.
echo "-- a node that answers 2.5 s late, then one that never answers"
slow="$drive_c/node/slow.txt"
rm -f "$slow"
(cd "$station" && wine 'C:\Anunciel\anunciel.exe' >/dev/null 2>&1 &)
main=$(wait_window "$main_title" 60) ||
    fatal "with a slow node: the main window \"$main_title\" appears"
wait_window anunciel 10 >/dev/null || true # slot 2's file is still missing
answer_box Return || true
window_gone anunciel 5 || true
# The clock's field (Text1 at 4200,5520 twips, 1575 x 495), as the screen shows it.
clock_picture() {
    import -window "$main" -crop 101x29+282+370 +repage rgb:- 2>/dev/null | sha256sum | cut -c1-16
}
watch_clock() { # seconds, file: the clock's picture, with the moment, about four times a second
    local end=$((SECONDS + $1))
    while [ $SECONDS -lt $end ]; do
        echo "$(date +%s%3N) $(clock_picture)"
        sleep 0.2
    done >"$2"
}
# The picture changed at least once in every 2.5 s of the watch (a send's own 1 s pause holds
# the window, a bounded reading 300 ms more, and a loaded machine is slow to sample the
# screen; a clock that waited on the node would stop for 7 s and more), and as often as the
# seconds it lasted, less three.
clock_kept_time() { # file
    awk 'NR == 1 { first = last = $1; picture = $2; next }
         $2 != picture { if ($1 - last > 2500) late = 1; last = $1; picture = $2; changes++ }
         END { if ($1 - last > 2500) late = 1
               exit !(NR > 1 && !late && changes >= int(($1 - first) / 1000) - 3) }' "$1"
}
transmitted_before=$(transmit_count)
slot4_due_in 25
printf '2500 %s %s\n' $((due_epoch - 20)) $((due_epoch + 10)) >"$slow"
while [ "$(date +%s)" -lt $((due_epoch - 15)) ]; do sleep 0.2; done
watch_clock 23 "$work/clock-slow.txt"
check "with a node 2.5 s late: the window's clock changes every second" \
    clock_kept_time "$work/clock-slow.txt"
while [ "$(date +%s)" -le $((due_epoch + 20)) ]; do sleep 0.2; done
check "with a node 2.5 s late: slot 4 due at $due sent once, key, play, unkey" \
    diff -u --label expected --label calls.log <(send_of 'C:\Anunciel\aviso.wav') \
    <(transmits | tail -n +$((transmitted_before + 1)))
check "... and its line in the log says how late" \
    logged "mensagem 4 \\(horário $due\\) \"C:\\\\Anunciel\\\\aviso\\.wav\": enviada.*[0-9] ?m?s\\b.*"

echo never >"$slow"
sleep 2 # the node has a call it will not answer
watch_clock 6 "$work/clock-hung.txt"
check "with a node that never answers: the window's clock changes every second" \
    clock_kept_time "$work/clock-hung.txt"
encerrar
expect_box "with a node that never answers: \"Encerrar\" asks the question" anunciel \
    "Tem certeza que quer sair?" "Sim   Não   "
answer_box shift+Tab space || true
check "with a node that never answers: Yes ends the program within 10 s" wait_program_end 10
check "... and the log says, before its end, that the node did not answer" \
    eval 'tail -n 3 "$log_file" | grep -aq "nó não respondeu"'
# The stand-in is left in the call its client gave up on: let it go, and end it (and the
# program, had it not ended, so that the uninstall below finds its files free).
rm -f "$slow"
for pid in $(pgrep -f 'C:\\node\\nodeserver\.exe|C:\\Anunciel\\anunciel\.exe'); do
    kill -9 "$pid" 2>/dev/null || true
done
server_ended || true

# ---- 5. Install again, uninstall ---------------------------------------------------------
(cd "$station" && sha256sum "${operator_files[@]}") >"$work/operator.sum"
operator_files_intact() {
    (cd "$station" && sha256sum --quiet -c "$work/operator.sum")
}
echo "-- installing again over it"
timeout 120 wine "$work/setup.exe" /S >/dev/null 2>&1 || fail "the installer ran again (/S)"
check "a new install over it leaves the operator's files alone" operator_files_intact

echo "-- uninstalling silently"
timeout 60 wine 'C:\Anunciel\Desinstalar.exe' /S >/dev/null 2>&1 || fail "the uninstaller ran (/S)"
# The uninstaller runs on from a copy of itself; wait for its work to be done.
for _ in $(seq 100); do [ -e "$station/Desinstalar.exe" ] || break; sleep 0.2; done
left=()
for f in "${station_files[@]}" Desinstalar.exe platforms imageformats styles; do
    [ -e "$station/$f" ] && left+=("$f")
done
check "uninstall removes every file of ours${left[*]:+ (left: ${left[*]})}" test ${#left[@]} -eq 0
check "uninstall removes the shortcut" test ! -e "$shortcut"
check "uninstall removes the Startup shortcut" test ! -e "$startup_shortcut"
check "uninstall removes the uninstaller's entry" registry_lacks "$uninstall_key"
check "uninstall keeps the operator's WAV, schedule and other files" operator_files_intact

echo "-- a folder given with /D=, then remembered by the next install"
other="$drive_c/Rádio/Anunciel"
timeout 120 wine "$work/setup.exe" /S '/D=C:\Rádio\Anunciel' >/dev/null 2>&1 ||
    fail "the installer ran with /D"
check "/D= installs into the folder given" test -f "$other/anunciel.exe"
rm "$other/anunciel.exe"
timeout 120 wine "$work/setup.exe" /S >/dev/null 2>&1 || fail "the installer ran again (/S)"
check "the next install goes into the folder of the last one" \
    test -f "$other/anunciel.exe" -a ! -e "$station/anunciel.exe"
timeout 60 wine 'C:\Rádio\Anunciel\Desinstalar.exe' /S >/dev/null 2>&1 || true
for _ in $(seq 100); do [ -e "$other" ] || break; sleep 0.2; done
check "uninstall removes a folder it leaves empty" test ! -e "$other"
check "... and forgets it" registry_lacks 'HKCU\Software\Anunciel'

echo "windows check took $(($(date +%s) - started)) s"
echo "windows: $passed passed, $failed failed, $skipped skipped"
if [ "$skipped" -gt 0 ]; then
    # For the closing table of scripts/test.sh.
    echo "NOTE: $passed checks passed, $skipped skipped for want of a 32-bit server ($no_32_bits)"
fi
[ "$failed" = 0 ]
