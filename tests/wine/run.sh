#!/usr/bin/env bash
# Checks the Windows link for real under Wine: builds src/link/win/ComLink.cpp with mingw-w64
# into a small Windows program (linkcheck.exe) and a stand-in for the node software's COM
# class (mocknode.dll), registers the stand-in with regsvr32 in a fresh Wine prefix, and
# compares, line by line, what the stand-in was called with and what the program was told.
#
# Exit status: 0 all cases passed, 1 a case failed or the check could not be set up,
# 77 skipped because mingw-w64 or Wine is missing (said loudly).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
cxx=x86_64-w64-mingw32-g++

for tool in "$cxx" wine wineboot wineserver iconv timeout; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIPPED: Wine check of the Windows link: '$tool' is not installed" \
            "(Debian packages: wine wine64 g++-mingw-w64-x86-64)"
        exit 77
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/anunciel-wine.XXXXXX")
export WINEPREFIX="$work/prefix"
# Headless and quiet; no offer to install Mono or Gecko, which nothing here needs.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
# Leftovers from the caller's environment would change what the stand-in answers.
unset ANUNCIEL_MOCK_RF_BUSY ANUNCIEL_MOCK_IP_BUSY ANUNCIEL_MOCK_RESULT

cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

echo "-- building with $cxx"
flags=(-std=c++20 -O2 -Wall -Wextra -Werror -static -static-libgcc -static-libstdc++)
"$cxx" "${flags[@]}" -I"$root/src" -o "$work/linkcheck.exe" \
    "$here/LinkCheck.cpp" "$root/src/link/win/ComLink.cpp" -lole32 -loleaut32 -luuid
"$cxx" "${flags[@]}" -shared -o "$work/mocknode.dll" \
    "$here/MockNode.cpp" "$here/MockNode.def" -lole32 -loleaut32 -luuid -ladvapi32

echo "-- preparing a fresh Wine prefix"
timeout 180 wineboot --init >/dev/null 2>&1 || {
    echo "FAILED: wineboot --init did not finish"
    exit 1
}
timeout 120 wineserver -w
# Keep one server for the whole run instead of one per program.
wineserver -p

cd "$work"
passed=0
failed=0
iid="{7733112C-4577-4432-9DB0-A9398184EAF6}"
no_text="Erro sem descrição do sistema"

# run_case NAME MODE EXPECTED_EXIT EXPECTED_RESULT EXPECTED_CALLS [VAR=VALUE...]
# EXPECTED_CALLS "-" means the stand-in must not have been called at all.
run_case() {
    local name=$1 mode=$2 want_exit=$3 want_result=$4 want_calls=$5
    shift 5
    rm -f result.txt calls.log
    local got_exit=0
    # shellcheck disable=SC2086 # the mode may carry the apartment as a second word
    env "$@" timeout 60 wine linkcheck.exe $mode >/dev/null 2>&1 || got_exit=$?
    local ok=1
    if [ "$got_exit" != "$want_exit" ]; then
        echo "   exit status $got_exit, expected $want_exit"
        ok=0
    fi
    if ! diff -u --label expected --label result.txt <(printf '%s' "$want_result") \
        <(cat result.txt 2>/dev/null); then
        ok=0
    fi
    if [ "$want_calls" = "-" ]; then
        if [ -e calls.log ]; then
            echo "   the node object was called:"
            sed 's/^/     /' calls.log
            ok=0
        fi
    elif ! diff -u --label expected --label calls.log <(printf '%s' "$want_calls") \
        <(cat calls.log 2>/dev/null); then
        ok=0
    fi
    if [ "$ok" = 1 ]; then
        echo "PASS: $name"
        passed=$((passed + 1))
    else
        echo "FAIL: $name"
        failed=$((failed + 1))
    fi
}

# Before registration the class does not exist: start-up's fatal report.
run_case "unregistered class: creation fails with REGDB_E_CLASSNOTREG" create 2 \
    "not created 0x80040154 \"$no_text\""$'\n' -

echo "-- registering the stand-in node object"
if ! timeout 60 wine regsvr32 /s mocknode.dll >/dev/null 2>&1; then
    echo "FAILED: regsvr32 mocknode.dll"
    exit 1
fi

run_case "creation alone makes no call, and the object is released" create 0 \
    "created"$'\n' \
    "create $iid"$'\n'"released"$'\n'
if [ "$(cat log.txt 2>/dev/null)" = "Ligação com o nó: pela interface do nó (chamadas diretas)." ]
then
    echo "PASS: the log says once that the node is called through its interface"
    passed=$((passed + 1))
else
    echo "FAIL: the log says once that the node is called through its interface"
    sed 's/^/     /' log.txt 2>/dev/null || true
    failed=$((failed + 1))
fi

# A path the node must get intact: accents, a character outside the BMP, spaces.
path='C:\Program Files\Anunciel\Anúncio das 7h ç 📻.wav'
printf '%s' "$path" >path.txt
bytes=$(printf '%s' "$path" | iconv -f UTF-8 -t UTF-16LE | wc -c)
transmit_calls="create $iid
slot 12 SetTransmit -1
slot 25 PlayFile length $bytes text \"$path\" flag -1
slot 12 SetTransmit 0
released
"
transmit_ok='SetTransmit(true) 0x00000000 ""
PlayFile 0x00000000 ""
SetTransmit(false) 0x00000000 ""
'
run_case "transmit: key with True (-1), play the path as a BSTR with True, unkey" transmit 0 \
    "$transmit_ok" "$transmit_calls"

# run_case_in NAME MODE APARTMENT EXPECTED_RESULT EXPECTED_CALLS: the caller made the thread
# an apartment first; the link must work in it and leave it in place when released.
run_case_in() {
    local name=$1 mode=$2 apartment=$3 want_result=$4 want_calls=$5
    run_case "$name" "$mode $apartment" 0 \
        "$want_result"$'caller\'s apartment after release: kept\n' "$want_calls"
}
run_case_in "transmit on a thread already a single-threaded apartment" transmit sta \
    "$transmit_ok" "$transmit_calls"
run_case_in "transmit on a thread already in the multithreaded apartment" transmit mta \
    "$transmit_ok" "$transmit_calls"

run_case "transmit: S_FALSE from the node counts as success" transmit 0 \
    "$transmit_ok" "$transmit_calls" ANUNCIEL_MOCK_RESULT=0x00000001

run_case "transmit: every failing call reports its HRESULT and text, the steps go on" \
    transmit 0 \
    'SetTransmit(true) 0x80004005 "Call failed."
PlayFile 0x80004005 "Call failed."
SetTransmit(false) 0x80004005 "Call failed."
' "$transmit_calls" ANUNCIEL_MOCK_RESULT=0x80004005

# busy_case RF IP: the node's values must come back exactly, through slots 16 and 13.
busy_case() {
    local rf=$1 ip=$2
    run_case "busy reads: RF $rf, IP $ip" busy 0 \
        "RfBusy 0x00000000 \"\" $rf
RfBusy 0x00000000 \"\" $rf
IpBusy 0x00000000 \"\" $ip
" \
        "create $iid
slot 16 RfBusy -> $rf
slot 16 RfBusy -> $rf
slot 13 IpBusy -> $ip
released
" ANUNCIEL_MOCK_RF_BUSY="$rf" ANUNCIEL_MOCK_IP_BUSY="$ip"
}
busy_case 0 0
busy_case -1 0
busy_case 0 -1
busy_case 1 4660

run_case "busy reads: an error the system has no text for, value left alone" busy 0 \
    "RfBusy 0x80040201 \"$no_text\" 77
RfBusy 0x80040201 \"$no_text\" 77
IpBusy 0x80040201 \"$no_text\" 77
" \
    "create $iid
slot 16 RfBusy -> failure
slot 16 RfBusy -> failure
slot 13 IpBusy -> failure
released
" ANUNCIEL_MOCK_RESULT=0x80040201 ANUNCIEL_MOCK_RF_BUSY=-1 ANUNCIEL_MOCK_IP_BUSY=-1

echo "wine: $passed passed, $failed failed"
[ "$failed" = 0 ]
