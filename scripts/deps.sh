#!/bin/sh
# Installs the Debian packages that Zimbalo needs, calling apt-get only when
# one of them is missing: with no argument, what building, running,
# installing and packaging the game need; with --windows, also what the
# Windows build needs (the mingw-w64 cross compilers, the tools that fetch
# and unpack Debian's sources of its libraries, NSIS); with --web,
# what the browser build needs (Emscripten, the tools that fetch and unpack
# Debian's sources, autotools-dev's scripts that name Emscripten's system);
# with --tests, all of that and what the tests, the fuzzers and the
# benchmarks need (the tests run the Windows build under Wine). Flags add
# up: `make test` installs the compilers of the other platforms first, so
# that their libraries build while the rest installs.
set -eu

PACKAGES="build-essential cmake pkg-config dpkg-dev
libsdl1.2-dev libsdl-ttf2.0-dev libsdl-gfx1.2-dev libmpg123-dev"
WINDOWS="g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
curl xz-utils bzip2 patch nsis"
WEB="emscripten autotools-dev curl xz-utils bzip2 patch"
TESTS="$WINDOWS $WEB wine wine64 libgtest-dev googletest libbenchmark-dev
xvfb xdotool x11-utils python3-xlib python3-fonttools python3-numpy python3-websocket python3-pefile
python3-pil lame
desktop-file-utils appstream groff-base libsdl2-2.0-0 lintian chromium
firefox-esr libwebkit2gtk-4.1-0 dbus-daemon"
for flag in "$@"; do
    case "$flag" in
        --windows) PACKAGES="$PACKAGES $WINDOWS" ;;
        --web) PACKAGES="$PACKAGES $WEB" ;;
        --tests) PACKAGES="$PACKAGES $TESTS" ;;
        *)
            echo "usage: $0 [--windows] [--web] [--tests]" >&2
            exit 2 ;;
    esac
done

missing=""
for p in $PACKAGES; do
    case " $missing " in *" $p "*) continue ;; esac
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
        echo "zimbalo: missing packages:$missing; as root, run: apt-get install$missing" >&2
        exit 1
    fi
    SUDO="sudo"
fi
echo "zimbalo: installing $(echo "$missing" | wc -w) Debian packages, once: a few minutes" \
    "when they include the other platforms' compilers, Wine and the browsers:$missing"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
# shellcheck disable=SC2086
$SUDO apt-get install -y --no-install-recommends $missing
