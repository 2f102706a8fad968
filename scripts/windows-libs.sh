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
# FreeType is linked statically; its options are Debian's (the patched
# ftoption.h with subpixel rendering, the same modules), so that text
# rasterises as on Debian.
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

# Everything that goes into the libraries, except the build paths; a
# library's stamp is the digest of its package, version and these. Bump
# RECIPE when the steps below change in a way that changes the output.
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

SDL_CONFIGURE="--disable-rpath --enable-shared --disable-static"
MPG123_CONFIGURE="--enable-shared --disable-static --disable-modules"
FREETYPE_CONFIGURE="--enable-static --disable-shared --without-zlib
--without-bzip2 --without-png --without-harfbuzz --without-brotli
--without-librsvg"

# shellcheck source=scripts/debian-sources.sh
. "$(dirname "$0")/debian-sources.sh"

for tool in "$CC_BIN" "$CXX_BIN" $HOST-ar $HOST-windres apt-get curl patch tar xz bzip2 \
    dpkg-parsechangelog make flock; do
    command -v "$tool" >/dev/null 2>&1 ||
        die "$tool is missing; run scripts/deps.sh --windows"
done

debian_sources_open

# --- Building ----------------------------------------------------------------

# The environment of configure and make for the sources in $1.
build_env() {
    local src=$1
    export CC="$CC_BIN $CC_FLAGS" CXX="$CXX_BIN $CC_FLAGS"
    export AR=$HOST-ar RANLIB=$HOST-ranlib STRIP=$HOST-strip
    export RC=$HOST-windres WINDRES=$HOST-windres
    export CFLAGS="$CFLAGS_COMMON -ffile-prefix-map=$src=."
    export CXXFLAGS=$CFLAGS CPPFLAGS=""
    export LDFLAGS=$LDFLAGS_COMMON
    # ar's D (no dates nor owners) is Debian's default; said anyway.
    export ARFLAGS=crD AR_FLAGS=crD
    # No .pc file of this machine is to be found by the cross build.
    export PKG_CONFIG_LIBDIR=$src/.no-pkgconfig PKG_CONFIG_PATH=""
    # As dpkg-buildpackage does: a date for anything that asks for one.
    SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l "$src/debian/changelog" -STimestamp)
    export SOURCE_DATE_EPOCH
    export LC_ALL=C TZ=UTC
}

build_libsdl1_2() {
    local src=$1 stage=$2
    # Debian's patch of configure.in only changes how configure finds
    # pkg-config, which the Windows build does not use; the shipped
    # configure is kept, and is marked newer so that make does not stop
    # to say that it is stale.
    touch "$src/configure"
    # shellcheck disable=SC2086
    (cd "$src" && ./configure --host=$HOST --prefix=$STAGE_PREFIX $SDL_CONFIGURE)
    make -C "$src" -j"$JOBS"
    make -C "$src" install DESTDIR="$stage"
}

build_mpg123() {
    local src=$1 stage=$2
    # shellcheck disable=SC2086
    (cd "$src" && ./configure --host=$HOST --prefix=$STAGE_PREFIX $MPG123_CONFIGURE)
    # The library alone: no player, no output library nor its modules.
    make -C "$src" -j"$JOBS" src/libmpg123/libmpg123.la libmpg123.pc
    make -C "$src" DESTDIR="$stage" \
        lib_LTLIBRARIES=src/libmpg123/libmpg123.la \
        nodist_include_HEADERS=src/libmpg123/mpg123.h \
        include_HEADERS=src/libmpg123/fmt123.h \
        pkgconfig_DATA=libmpg123.pc \
        install-libLTLIBRARIES install-nodist_includeHEADERS \
        install-includeHEADERS install-pkgconfigDATA
}

build_freetype() {
    local src=$1 stage=$2
    # shellcheck disable=SC2086
    (cd "$src" && ./configure --host=$HOST --prefix=$STAGE_PREFIX $FREETYPE_CONFIGURE)
    make -C "$src" -j"$JOBS"
    make -C "$src" install DESTDIR="$stage"
}

# What a library's stamp holds; it changes whenever the library would.
stamp_key() {
    local pkg=$1 version=$2 options
    case $pkg in
        libsdl1.2) options=$SDL_CONFIGURE ;;
        mpg123) options=$MPG123_CONFIGURE ;;
        freetype) options=$FREETYPE_CONFIGURE ;;
    esac
    printf '%s\n' "recipe $RECIPE" "$pkg $version" "$CC_BIN $CC_FLAGS" \
        "$($CC_BIN -dumpfullversion) $($CC_BIN -dumpmachine)" \
        "CFLAGS $CFLAGS_COMMON" "LDFLAGS $LDFLAGS_COMMON" \
        "configure $options" "staged at $STAGE_PREFIX" |
        sha256sum | cut -d' ' -f1
}

# What a library installs that the game links with, for the summary line.
products() {
    case $1 in
        libsdl1.2) echo "bin/SDL.dll lib/libSDL.dll.a lib/libSDLmain.a" ;;
        mpg123) echo "bin/libmpg123-0.dll lib/libmpg123.dll.a" ;;
        freetype) echo "lib/libfreetype.a" ;;
    esac
}

for pkg in libsdl1.2 freetype mpg123; do
    build_one "$pkg"
done

# The game links the mingw-w64 runtime (start-up code, winpthreads)
# statically; its licence goes with the others.
runtime_licence mingw-w64 mingw-w64-x86-64-dev \
    "mingw-w64 runtime (start-up code and winpthreads, linked into the game)"
