#!/bin/bash
# Usage: web-libs.sh BUILD_DIR
#
# Builds the libraries of the browser build of the game (WebAssembly) from
# Debian 12's own source packages, with Debian's Emscripten, into one
# prefix, BUILD_DIR/web/prefix, all static:
#   SDL 1.2   lib/libSDL.a: SDL's portable core with the game's own video,
#             audio and timer back ends (src/sdlweb), no threads
#   mpg123    lib/libmpg123.a (the library alone, the generic C decoder)
#   FreeType  lib/libfreetype.a
# plus include/, lib/pkgconfig/ (relocatable: the .pc files find the prefix
# from where they are) and licences/, one text per library, headed by the
# Debian source package and version it was built from.
#
# The sources are Debian's, fetched, checked against Debian's signed index
# and patched as Debian does by debian-sources.sh (see there), under
# BUILD_DIR/web/sources.
#
# FreeType has Debian's options, as on Windows (see debian-sources.sh), so
# that text rasterises as on Debian. SDL is not configured: its configure
# script predates WebAssembly. Its portable files are compiled as they are,
# with src/sdlweb/SDL_config.h as its configuration and the game's back ends
# in place of SDL's dummy video and audio drivers and of its timer, so that
# no line of SDL's own files changes.
#
# A library is built again only when its version, its build options or (for
# SDL) the back ends change: a second run takes a second or two. The output
# is reproducible: builds in two different folders give byte-identical
# archives.
#
# Offline (the package lists or a source file cannot be fetched), it says
# so on one line and exits with status 77, so that callers can skip.
set -eu -o pipefail

[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
HERE=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1/web"
W=$(cd "$1/web" && pwd)
PREFIX=$W/prefix
SDLWEB=$HERE/src/sdlweb

JOBS=$(nproc)
HOST=wasm32-unknown-emscripten
HOST_MAKE="emmake make"
# Debian's Emscripten runs on Node.js and loads some of its modules from
# Debian's folder, which another Node.js on PATH would not search.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

# shellcheck source=scripts/debian-sources.sh
. "$(dirname "$0")/debian-sources.sh"

# What goes into the libraries besides their sources (see stamp_key in
# debian-sources.sh). Bump RECIPE when the steps below, or those of
# debian-sources.sh, change in a way that changes the output.
RECIPE=1
# No debug information, so no build paths in the objects; the paths that
# __FILE__ would give are mapped too.
CFLAGS_COMMON="-O2 -g0 -msimd128"
LDFLAGS_COMMON=""
# Installed with this prefix and then moved into $PREFIX, so that no path
# of this machine ends up in what is installed.
STAGE_PREFIX=/zimbalo-web

MPG123_CONFIGURE="--enable-static --disable-shared --disable-modules
--with-cpu=generic_fpu --with-audio=dummy"
# FreeType's configure adds -pthread wherever Emscripten accepts it, which
# would make objects that only a threaded program links; FreeType uses
# threads only for its debug log, which is off. Given empty pthread flags,
# configure takes them as they are.
FREETYPE_CONFIGURE="$FREETYPE_CONFIGURE PTHREAD_CFLAGS=\" \" PTHREAD_LIBS=\" \""

# SDL's files in the library, below its src/: the portable core (video
# surfaces and blitters, events, audio and its conversions, files, the C
# library layer, the timer's core), the stubs of the CD-ROM, the joystick,
# the shared objects and the threads; then the game's back ends, from
# src/sdlweb.
SDL_SOURCES="SDL.c SDL_error.c SDL_fatal.c
audio/SDL_audio.c audio/SDL_audiocvt.c audio/SDL_mixer.c audio/SDL_wave.c
cdrom/SDL_cdrom.c cdrom/dummy/SDL_syscdrom.c
cpuinfo/SDL_cpuinfo.c
events/SDL_active.c events/SDL_events.c events/SDL_expose.c
events/SDL_keyboard.c events/SDL_mouse.c events/SDL_quit.c events/SDL_resize.c
file/SDL_rwops.c
joystick/SDL_joystick.c joystick/dummy/SDL_sysjoystick.c
loadso/dummy/SDL_sysloadso.c
stdlib/SDL_getenv.c stdlib/SDL_iconv.c stdlib/SDL_malloc.c stdlib/SDL_qsort.c
stdlib/SDL_stdlib.c stdlib/SDL_string.c
thread/SDL_thread.c thread/generic/SDL_syscond.c thread/generic/SDL_sysmutex.c
thread/generic/SDL_syssem.c thread/generic/SDL_systhread.c
timer/SDL_timer.c
video/SDL_RLEaccel.c video/SDL_blit.c video/SDL_blit_0.c video/SDL_blit_1.c
video/SDL_blit_A.c video/SDL_blit_N.c video/SDL_bmp.c video/SDL_cursor.c
video/SDL_gamma.c video/SDL_pixels.c video/SDL_stretch.c video/SDL_surface.c
video/SDL_video.c video/SDL_yuv.c video/SDL_yuv_sw.c"
SDLWEB_SOURCES="SDL_webvideo.c SDL_webaudio.c SDL_webtimer.c"
# What goes into SDL: its files and the back ends, to the byte.
SDL_OPTIONS="$SDL_SOURCES $SDLWEB_SOURCES $(cd "$SDLWEB" && LC_ALL=C sort <(sha256sum -- *))"

require_tools --web emcc emar emranlib emconfigure emmake node cc
[ -f /usr/share/misc/config.sub ] || die "autotools-dev is missing; run scripts/deps.sh --web"
EMCC_VERSION=$(emcc -dumpversion 2>/dev/null) || die "emcc does not run; see: emcc -v"
# The first line that names clang, read to the end: emcc fails when the
# pipe closes early, which set -e would not let pass here.
COMPILER="emcc $EMCC_VERSION
$(emcc -v 2>&1 | awk '/clang version/ && !found++')"

debian_sources_open

# --- Building ----------------------------------------------------------------

# Emscripten's compilers and archiver, for build_env.
host_tools() {
    export CC=emcc CXX=em++ AR=emar RANLIB=emranlib
}

# As Debian's own build does (dh_update_autotools_config), the scripts
# that name the system are autotools-dev's, which know Emscripten's.
update_autotools_config() {
    local f
    find "$1" -name config.sub -o -name config.guess | while read -r f; do
        cp "/usr/share/misc/${f##*/}" "$f"
    done
}

# Runs $1's configure for Emscripten with the options $2.
configure_host() {
    local src=$1 options=${2//$'\n'/ }
    update_autotools_config "$src"
    # shellcheck disable=SC2086 # options are words; eval keeps quoted ones
    (cd "$src" && eval emconfigure ./configure --host=$HOST --prefix=$STAGE_PREFIX $options)
}

# compile_all OUT BASE FLAGS FILE...: compiles each C file into OUT, JOBS at
# a time, each object named after its path below BASE; fails if any does.
compile_all() {
    local out=$1 base=$2 flags=$3 f obj running=0
    shift 3
    for f in "$@"; do
        obj=${f#"$base"/}
        obj=${obj//\//_}
        # shellcheck disable=SC2086
        emcc $CFLAGS $flags -c "$f" -o "$out/${obj%.c}.o" &
        running=$((running + 1))
        if [ "$running" -ge "$JOBS" ]; then
            wait -n
            running=$((running - 1))
        fi
    done
    while [ "$running" -gt 0 ]; do
        wait -n
        running=$((running - 1))
    done
}

build_libsdl1_2() {
    local src=$1 stage=$2 root inc obj h f version files=()
    root=$stage$STAGE_PREFIX
    inc=$root/include/SDL
    obj=$src/.web-objects
    mkdir -p "$inc" "$root/lib/pkgconfig" "$obj"
    # The public headers that SDL's make install installs, and the
    # configuration that its configure would have written.
    # shellcheck disable=SC2013 # one line of names
    for h in $(sed -n 's/^HDRS = //p' "$src/Makefile.in"); do
        cp "$src/include/$h" "$inc/"
    done
    cp "$SDLWEB/SDL_config.h" "$inc/SDL_config.h"

    for f in $SDL_SOURCES; do
        files+=("$src/src/$f")
    done
    compile_all "$obj" "$src/src" "-I$inc" "${files[@]}"
    # The back ends include SDL's internal headers by name.
    mkdir -p "$src/src/web"
    files=()
    cp "$SDLWEB/SDL_webdevice.h" "$src/src/web/"
    for f in $SDLWEB_SOURCES; do
        cp "$SDLWEB/$f" "$src/src/web/"
        files+=("$src/src/web/$f")
    done
    compile_all "$obj" "$src/src" "-I$inc -I$src/src -I$src/src/video -I$src/src/events \
-I$src/src/audio -I$src/src/timer" "${files[@]}"
    (cd "$obj" && find . -name '*.o' | LC_ALL=C sort | xargs emar crsD "$root/lib/libSDL.a")

    version=$(sed -n 's/^#define SDL_\(MAJOR\|MINOR\)_VERSION[[:space:]]*\([0-9]*\).*/\2/p;
        s/^#define SDL_PATCHLEVEL[[:space:]]*\([0-9]*\).*/\1/p' "$src/include/SDL_version.h" |
        paste -sd.)
    # Emscripten takes -lSDL for its own SDL, written in JavaScript, whatever
    # the library path: the archive is named by its path. Emscripten's
    # headers have an SDL/ folder too, which <SDL/SDL.h> would find first
    # without the second -I.
    # shellcheck disable=SC2016 # the variables of the .pc file, as they are
    sed -e "s|@prefix@|$STAGE_PREFIX|" -e 's|@exec_prefix@|${prefix}|' \
        -e 's|@libdir@|${exec_prefix}/lib|' -e 's|@includedir@|${prefix}/include|' \
        -e "s|@SDL_VERSION@|$version|" -e 's|^Libs: .*|Libs: ${libdir}/libSDL.a|' \
        -e 's| *@SDL_STATIC_LIBS@||' -e 's|^Cflags: .*|Cflags: -I${includedir}/SDL -I${includedir}|' \
        "$src/sdl.pc.in" >"$root/lib/pkgconfig/sdl.pc"
}

# What a library installs that the game links with, for the summary line.
products() {
    case $1 in
        libsdl1.2) echo "lib/libSDL.a lib/pkgconfig/sdl.pc" ;;
        mpg123) echo "lib/libmpg123.a lib/pkgconfig/libmpg123.pc" ;;
        freetype) echo "lib/libfreetype.a lib/pkgconfig/freetype2.pc" ;;
    esac
}

build_libraries

# The game links Emscripten's runtime (its C and C++ libraries, its
# JavaScript glue); its licence goes with the others.
runtime_licence emscripten emscripten \
    "Emscripten's runtime (C and C++ libraries and JavaScript glue, linked into the game)"
