#!/usr/bin/env bash
# Rebuilds the Qt for Windows that the "windows" preset uses (../shared/qt6-mingw): Qt Core,
# Gui and Widgets, shared, cross-built with Debian's mingw-w64 from Debian's own qt6-base
# source (the same version as the machine's host Qt tools, which the build needs), with
# Debian's patches. The result is a folder that can stand in for ../shared/qt6-mingw:
# qt6-mingw.tar.xz (which unpacks to qt6-mingw/) and the toolchain file it was built with.
#
#   tools/build-qt6-mingw.sh [--dry-run] [OUTPUT_FOLDER]   (default build/qt6-mingw-rebuild)
#
# Run as root on Debian 12. About 40 minutes on two quiet cores (887 build steps), three
# times that on a busy machine. --dry-run does the cheap part only: the packages, the private
# source list and the source package's address, and says what would be built.
#
# The machine's own apt set-up is not touched: the source package comes through a private
# list holding one deb-src line for bookworm main on the Debian archive that the machine's
# apt sources already use.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
dry_run=0
if [ "${1:-}" = --dry-run ]; then
    dry_run=1
    shift
fi
output=$(realpath -m "${1:-$root/build/qt6-mingw-rebuild}")
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
jobs=${JOBS:-2}

say() { echo "build-qt6-mingw: $*"; }
die() {
    echo "build-qt6-mingw: $*" >&2
    exit 1
}

# ---- What the build needs -----------------------------------------------------------------
# dpkg-dev: dpkg-source; perl: Qt's header generator; the host Qt: moc, rcc, uic and the
# CMake packages that a cross build of Qt takes its tools from.
packages=(dpkg-dev perl xz-utils cmake ninja-build g++-mingw-w64-x86-64-posix qt6-base-dev
    qt6-base-dev-tools debian-archive-keyring)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    say "installing ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# The Windows Qt must be the version of the host tools.
version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev)
say "qt6-base $version"

work="$output/work"
mkdir -p "$work"

# ---- The source package, through a private source list ------------------------------------
# The Debian archive the machine's apt already uses for bookworm main, as apt itself reports
# it (whether the machine lists its sources in sources.list or in deb822 files).
archive=$(apt-cache policy | awk '
    $2 ~ /^[a-z]+:\/\// && $3 == "bookworm/main" { uri = $2; next }
    uri != "" && /release / && /o=Debian,/ && /l=Debian,/ { print uri; exit }
    { uri = "" }')
[ -n "$archive" ] || die "the machine's apt sources name no Debian archive for bookworm main"
say "Debian archive: $archive"

apt_dir="$work/apt"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/sources.list.d"
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $archive bookworm main" \
    >"$apt_dir/sources.list"
private_apt=(
    -o "Dir::Etc::SourceList=$apt_dir/sources.list"
    -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
    -o "Dir::State::Lists=$apt_dir/lists"
    -o "Dir::Cache=$apt_dir/cache"
)
apt-get -qq "${private_apt[@]}" update
cd "$work"
if [ "$dry_run" = 1 ]; then
    apt-get "${private_apt[@]}" source --print-uris "qt6-base=$version" | grep "^'"
    say "dry run: would unpack qt6-base $version with Debian's patches, add Wine's wintab" \
        "headers, build Qt Core, Gui and Widgets for x86_64 Windows with $toolchain, and" \
        "write $output/qt6-mingw.tar.xz"
    exit 0
fi
rm -rf "$work/src"
mkdir -p "$work/src"
(cd "$work/src" && apt-get -qq "${private_apt[@]}" source --download-only "qt6-base=$version")
dsc=$(ls "$work/src"/qt6-base_*.dsc)
dpkg-source -x "$dsc" "$work/src/qtbase" >/dev/null
qtbase="$work/src/qtbase"

# ---- The tablet headers -------------------------------------------------------------------
# Debian's repack drops src/3rdparty/wintab (its licence forbids changes), and the windows
# platform plugin includes it. Wine's LGPL wintab.h and pktdef.h stand in, taken out of the
# libwine-dev package without installing it; they expect three of Wine's own macros.
rm -rf "$work/wine"
mkdir -p "$work/wine"
(cd "$work/wine" && apt-get -qq download libwine-dev && dpkg-deb -x libwine-dev_*.deb root)
wine_headers="$work/wine/root/usr/include/wine/wine/windows"
wintab="$qtbase/src/3rdparty/wintab"
mkdir -p "$wintab"
{
    cat <<'EOF'
/* Wine's wintab.h, with the macros of Wine's own headers that it uses. */
#include <windows.h>
#ifdef UNICODE
#define WINELIB_NAME_AW(func) func##W
#else
#define WINELIB_NAME_AW(func) func##A
#endif
#define DECL_WINELIB_TYPE_AW(type) typedef WINELIB_NAME_AW(type) type;
#define API WINAPI
EOF
    cat "$wine_headers/wintab.h"
} >"$wintab/wintab.h"
cp "$wine_headers/pktdef.h" "$wintab/pktdef.h"

# ---- Configure, build, install ------------------------------------------------------------
# Only what the program uses. pkg-config off: it would find the build machine's Linux
# libraries. OpenGL off through INPUT_opengl (FEATURE_opengl alone leaves "dynamicgl" on and
# the plugin does not compile); Direct2D off together with DirectWrite 3 (otherwise the plugin
# wants a font database that Gui builds only with Direct2D). zlib, PCRE2, libpng and HarfBuzz
# are Qt's bundled copies, so that no further DLL is needed.
build="$work/build"
install="$work/install/qt6-mingw"
rm -rf "$build" "$work/install"
features_off=(pkg_config sql network testlib dbus printsupport concurrent xml vulkan zstd jpeg
    ico freetype androiddeployqt direct2d directwrite3 system_zlib system_pcre2 system_png
    system_harfbuzz)
configure=(
    -S "$qtbase" -B "$build" -G Ninja
    -DCMAKE_TOOLCHAIN_FILE="$toolchain"
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
    -DCMAKE_INSTALL_PREFIX="$install"
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DINPUT_opengl=no
)
for feature in "${features_off[@]}"; do
    configure+=("-DFEATURE_$feature=OFF")
done
started=$(date +%s)
say "configuring"
cmake "${configure[@]}" >"$work/configure.log" 2>&1 || die "configure failed: $work/configure.log"
say "building with $jobs jobs (log: $work/build.log)"
cmake --build "$build" -j"$jobs" >"$work/build.log" 2>&1 || die "build failed: $work/build.log"
cmake --install "$build" >"$work/install.log" 2>&1 || die "install failed: $work/install.log"
for need in bin/Qt6Core.dll bin/Qt6Gui.dll bin/Qt6Widgets.dll plugins/platforms/qwindows.dll \
    plugins/imageformats/qgif.dll plugins/styles/qwindowsvistastyle.dll lib/cmake/Qt6/Qt6Config.cmake; do
    [ -e "$install/$need" ] || die "the install lacks $need"
done

tar -C "$work/install" -cJf "$output/qt6-mingw.tar.xz" qt6-mingw
cp "$toolchain" "$output/mingw-w64-x86_64.cmake"
say "done in $((($(date +%s) - started) / 60)) minutes: $output/qt6-mingw.tar.xz"
say "use it with ANUNCIEL_QT_ARCHIVE=$output/qt6-mingw.tar.xz (cmake --preset windows -D...)," \
    "or put the folder in place of ../shared/qt6-mingw"
