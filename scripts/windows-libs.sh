#!/bin/bash
# Usage: windows-libs.sh BUILD_DIR
#
# Cross-builds the libraries of the Windows (win64) build of the game from
# Debian 12's own source packages, with Debian's mingw-w64 compilers, into
# one prefix, BUILD_DIR/windows/prefix:
#   SDL 1.2   bin/SDL.dll, lib/libSDL.dll.a, lib/libSDLmain.a
#   mpg123    bin/libmpg123-0.dll, lib/libmpg123.dll.a (the library alone)
#   FreeType  lib/libfreetype.a
# plus include/, lib/pkgconfig/ (relocatable: the .pc files find the prefix
# from where they are) and licences/, one text per library, headed by the
# Debian source package and version it was built from.
#
# The sources are Debian's, fetched, checked against Debian's signed index
# and patched as Debian does by debian-sources.sh (see there), under
# BUILD_DIR/windows/sources.
#
# SDL and mpg123 are LGPL, so they stay DLLs that a player may replace.
# FreeType is linked statically, with Debian's options (see
# debian-sources.sh), so that text rasterises as on Debian.
#
# A library is built again only when its version or its build options
# change: a second run takes a second or two. The output is reproducible:
# builds in two different folders give byte-identical DLLs and archives.
#
# Offline (the package lists or a source file cannot be fetched), it says
# so on one line and exits with status 77, so that callers can skip.
set -eu -o pipefail

[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
mkdir -p "$1/windows"
W=$(cd "$1/windows" && pwd)
PREFIX=$W/prefix

HOST=x86_64-w64-mingw32
CC_BIN=$HOST-gcc-posix
CXX_BIN=$HOST-g++-posix
JOBS=$(nproc)
HOST_MAKE="make"

# shellcheck source=scripts/debian-sources.sh
. "$(dirname "$0")/debian-sources.sh"

# What goes into the libraries besides their sources (see stamp_key in
# debian-sources.sh). Bump RECIPE when the steps below, or those of
# debian-sources.sh, change in a way that changes the output.
RECIPE=1
# No debug information, so no build paths in the objects; the paths that
# __FILE__ would give are mapped too. -static-libgcc keeps libgcc inside
# the DLLs. The PE headers get no time stamp and the linker strips them.
CFLAGS_COMMON="-O2 -g0"
LDFLAGS_COMMON="-Wl,--no-insert-timestamp -Wl,-s"
CC_FLAGS="-static-libgcc"
# Installed with this prefix and then moved into $PREFIX, so that no path
# of this machine ends up in what is installed.
STAGE_PREFIX=/zimbalo-windows

# SDL's start-up library leaves stdout and stderr as they are: the game
# writes its one fatal line to a file itself (src/sys_win.cpp), where the
# player can read it whatever the folder's name or rights.
SDL_OPTIONS="--disable-rpath --enable-shared --disable-static --disable-stdio-redirect"
MPG123_CONFIGURE="--enable-shared --disable-static --disable-modules"

require_tools --windows "$CC_BIN" "$CXX_BIN" $HOST-ar $HOST-windres
COMPILER="$CC_BIN $CC_FLAGS
$($CC_BIN -dumpfullversion) $($CC_BIN -dumpmachine)"

debian_sources_open

# --- Building ----------------------------------------------------------------

# The cross compilers and their tools, for build_env.
host_tools() {
    export CC="$CC_BIN $CC_FLAGS" CXX="$CXX_BIN $CC_FLAGS"
    export AR=$HOST-ar RANLIB=$HOST-ranlib STRIP=$HOST-strip
    export RC=$HOST-windres WINDRES=$HOST-windres
}

# Runs $1's configure for Windows with the options $2.
configure_host() {
    # shellcheck disable=SC2086 # options are words
    (cd "$1" && ./configure --host=$HOST --prefix=$STAGE_PREFIX $2)
}

build_libsdl1_2() {
    local src=$1 stage=$2
    # Debian's patch of configure.in only changes how configure finds
    # pkg-config, which the Windows build does not use; the shipped
    # configure is kept, and is marked newer so that make does not stop
    # to say that it is stale.
    touch "$src/configure"
    configure_host "$src" "$SDL_OPTIONS"
    make -C "$src" -j"$JOBS"
    make -C "$src" install DESTDIR="$stage"
}

# What a library installs that the game links with, for the summary line.
products() {
    case $1 in
        libsdl1.2) echo "bin/SDL.dll lib/libSDL.dll.a lib/libSDLmain.a" ;;
        mpg123) echo "bin/libmpg123-0.dll lib/libmpg123.dll.a" ;;
        freetype) echo "lib/libfreetype.a" ;;
    esac
}

build_libraries

# The game links the mingw-w64 runtime (start-up code, winpthreads)
# statically; its licence goes with the others.
runtime_licence mingw-w64 mingw-w64-x86-64-dev \
    "mingw-w64 runtime (start-up code and winpthreads, linked into the game)"
