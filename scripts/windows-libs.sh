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
# The sources come from Debian's archive through a private apt state under
# BUILD_DIR/windows/sources (the system's apt configuration is left alone):
# apt checks the signatures of the package lists, and each file of a source
# package is checked against the sha256 those lists give. The orig and
# debian tarballs are unpacked as dpkg-source does and Debian's patches are
# applied in order, so that the code is the code Debian builds.
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
APT_DIR=$W/sources/apt
FILES=$W/sources/files
WORK=""
LOGS=$W/logs
STAMPS=$W/stamps
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

die() { echo "zimbalo: $*" >&2; exit 1; }
offline() { echo "zimbalo: cannot fetch Debian's sources (offline?): $*" >&2; exit 77; }

for tool in "$CC_BIN" "$CXX_BIN" $HOST-ar $HOST-windres apt-get curl patch tar xz bzip2 \
    dpkg-parsechangelog make flock; do
    command -v "$tool" >/dev/null 2>&1 ||
        die "$tool is missing; run scripts/deps.sh --windows"
done

# --- Debian's package lists, in a private apt state -------------------------

# One run at a time in a build folder.
mkdir -p "$W/sources"
exec 9>"$W/.lock"
flock 9

mkdir -p "$APT_DIR/lists/partial" "$APT_DIR/cache/archives/partial" "$FILES" "$LOGS" "$STAMPS"
cat >"$APT_DIR/sources.list" <<'EOF'
deb-src http://deb.debian.org/debian bookworm main
deb-src http://deb.debian.org/debian bookworm-updates main
deb-src http://deb.debian.org/debian-security bookworm-security main
EOF
APT_OPTS=(
    -o "Dir::Etc::SourceList=$APT_DIR/sources.list"
    -o Dir::Etc::SourceParts=/dev/null
    -o "Dir::State::Lists=$APT_DIR/lists"
    -o "Dir::Cache=$APT_DIR/cache"
    -o Debug::NoLocking=1
    -o "APT::Sandbox::User=$(id -un)"
    -o Acquire::Retries=1
    -o Acquire::http::Timeout=30
)

# Refreshed on every run, which costs a second, so that a new Debian
# version (a security update) is built as soon as it is published. When the
# refresh fails but an earlier run left lists, those are used: what they
# name may well be built already.
# (Without --error-on=any, apt-get update fails to fetch and exits 0.)
if ! out=$(apt-get "${APT_OPTS[@]}" -q --error-on=any update 2>&1); then
    why=$(printf '%s\n' "$out" | grep -E '^(E|W): ' | head -n 1 | tr -s ' \t' ' ')
    if ls "$APT_DIR"/lists/*_Sources* >/dev/null 2>&1; then
        echo "zimbalo: cannot refresh Debian's package lists (offline?); using the last ones" >&2
    else
        offline "${why:-apt-get update failed}"
    fi
fi

# --- One source package: its files, checked against the index ---------------

# Sets VERSION and URIS (lines of "URI NAME SHA256") for source package $1,
# the highest version that the lists know.
lookup() {
    local pkg=$1 uri name hash
    URIS=""
    VERSION=""
    out=$(apt-get "${APT_OPTS[@]}" -qq --only-source source --print-uris "$pkg" 2>&1) ||
        die "cannot look up the source package $pkg: $(printf '%s\n' "$out" | head -n 1)"
    # Lines of 'URI' NAME SIZE SHA256:HASH.
    while read -r uri name _ hash; do
        [ -n "$uri" ] || continue
        uri=${uri#\'}
        uri=${uri%\'}
        case $hash in
            SHA256:*) hash=${hash#SHA256:} ;;
            *) die "no sha256 for $name in Debian's index" ;;
        esac
        case $name in
            # The upstream signatures add nothing to the index's sha256,
            # and some are missing from the archive.
            *.asc) continue ;;
            *.dsc) VERSION=${name%.dsc}; VERSION=${VERSION#"${pkg}"_} ;;
        esac
        URIS="$URIS$uri $name $hash"$'\n'
    done <<<"$out"
    [ -n "$VERSION" ] || die "no source package $pkg in Debian's package lists"
}

# Downloads the files of $URIS into the cache, unless they are there.
fetch() {
    local uri name hash got err
    while read -r uri name hash; do
        [ -n "$uri" ] || continue
        if [ -f "$FILES/$name" ] && [ "$(sha256sum <"$FILES/$name" | cut -d' ' -f1)" = "$hash" ]; then
            continue
        fi
        if ! err=$(curl -fsSL --connect-timeout 30 --retry 2 -o "$FILES/$name.part" "$uri" 2>&1); then
            rm -f "$FILES/$name.part"
            offline "$name: $(printf '%s\n' "$err" | tail -n 1)"
        fi
        got=$(sha256sum <"$FILES/$name.part" | cut -d' ' -f1)
        if [ "$got" != "$hash" ]; then
            rm -f "$FILES/$name.part"
            die "refusing $name: its sha256 is $got, Debian's index says $hash"
        fi
        mv -f "$FILES/$name.part" "$FILES/$name"
    done <<<"$URIS"
}

# Unpacks the source package of $URIS into directory $1 as dpkg-source
# does for format 3.0 (quilt): the orig tarball, each orig-COMPONENT
# tarball into COMPONENT/, the debian tarball; then Debian's patches.
unpack() {
    local src=$1 uri name hash kind comp patchname opts
    rm -rf "$src"
    mkdir -p "$src"
    for kind in orig component debian; do
        while read -r uri name hash; do
            [ -n "$uri" ] || continue
            case $kind:$name in
                orig:*.orig.tar.*)
                    tar -xf "$FILES/$name" -C "$src" --strip-components=1 ;;
                component:*.orig-*.tar.*)
                    comp=${name##*.orig-}
                    comp=${comp%%.tar.*}
                    mkdir -p "$src/$comp"
                    tar -xf "$FILES/$name" -C "$src/$comp" --strip-components=1 ;;
                debian:*.debian.tar.*)
                    tar -xf "$FILES/$name" -C "$src" ;;
                debian:*.dsc)
                    grep -qx 'Format: 3.0 (quilt)' "$FILES/$name" ||
                        die "$name: only source format 3.0 (quilt) is handled" ;;
            esac
        done <<<"$URIS"
    done
    [ -f "$src/debian/changelog" ] || die "no debian/ in the sources of $src"
    if [ -f "$src/debian/patches/series" ]; then
        while read -r patchname opts; do
            case $patchname in ''|'#'*) continue ;; esac
            # shellcheck disable=SC2086 # a series line may give -pN
            patch -d "$src" -s -F0 -N -t -E --no-backup-if-mismatch \
                ${opts:--p1} -i "debian/patches/$patchname" ||
                die "Debian's patch $patchname does not apply"
        done <"$src/debian/patches/series"
    fi
}

# --- Building ----------------------------------------------------------------

# The environment of configure and make for the sources in $1.
cross_env() {
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

# Makes the staged install relocatable and drops what the game does not
# use: libtool's .la files (which name the build's paths), man pages, docs.
tidy_stage() {
    local root=$1 pc
    rm -rf "$root/share" "$root/man"
    find "$root" -name '*.la' -delete
    for pc in "$root"/lib/pkgconfig/*.pc; do
        [ -e "$pc" ] || continue
        sed -i "s|^prefix=.*|prefix=\${pcfiledir}/../..|" "$pc"
        # Anything still naming the install prefix is relative to it.
        sed -i "s|$STAGE_PREFIX|\${prefix}|g" "$pc"
    done
    if [ -f "$root/bin/sdl-config" ]; then
        # Finds the prefix from where the script is.
        # shellcheck disable=SC2016 # a line of the script, as it is
        sed -i -e 's|^prefix=.*|prefix=$(cd "$(dirname "$0")/.." \&\& pwd)|' \
            -e "s|$STAGE_PREFIX|\${prefix}|g" "$root/bin/sdl-config"
    fi
}

# write_licence ROOT SRC NAME TITLE PKG VERSION FILE...: the licence of a
# library, ROOT/licences/NAME.txt: a line saying where it comes from, then
# the FILEs of the sources SRC that hold its licence and copyright notices.
write_licence() {
    local root=$1 src=$2 name=$3 title=$4 pkg=$5 version=$6 f
    shift 6
    mkdir -p "$root/licences"
    {
        echo "$title, built from Debian's source package $pkg $version"
        for f in "$@"; do
            echo
            echo "=== $f ==="
            echo
            cat "$src/$f"
        done
    } >"$root/licences/$name.txt"
}

licence_of() {
    local pkg=$1 version=$2 src=$3 root=$4
    case $pkg in
        libsdl1.2) write_licence "$root" "$src" sdl "SDL 1.2" "$pkg" "$version" \
            COPYING debian/copyright ;;
        mpg123) write_licence "$root" "$src" mpg123 "mpg123 (libmpg123)" "$pkg" "$version" \
            COPYING debian/copyright ;;
        freetype) write_licence "$root" "$src" freetype "FreeType" "$pkg" "$version" \
            LICENSE.TXT docs/FTL.TXT debian/copyright ;;
    esac
}

# Moves a staged install into $PREFIX, first removing the files that the
# library's previous build put there.
install_stage() {
    local pkg=$1 root=$2 f
    if [ -f "$STAMPS/$pkg.files" ]; then
        while read -r f; do
            rm -f "$PREFIX/$f"
        done <"$STAMPS/$pkg.files"
        rm -f "$STAMPS/$pkg.files"
    fi
    mkdir -p "$PREFIX"
    (cd "$root" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort) >"$STAMPS/$pkg.files.new"
    cp -a "$root/." "$PREFIX/"
    mv -f "$STAMPS/$pkg.files.new" "$STAMPS/$pkg.files"
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

# True when the library's last build is in the prefix, whole.
up_to_date() {
    local pkg=$1 key=$2 f
    [ -f "$STAMPS/$pkg" ] && [ "$(cat "$STAMPS/$pkg")" = "$key" ] || return 1
    [ -f "$STAMPS/$pkg.files" ] || return 1
    while read -r f; do
        [ -e "$PREFIX/$f" ] || return 1
    done <"$STAMPS/$pkg.files"
}

# What a library installs that the game links with, for the summary line.
products() {
    case $1 in
        libsdl1.2) echo "bin/SDL.dll lib/libSDL.dll.a lib/libSDLmain.a" ;;
        mpg123) echo "bin/libmpg123-0.dll lib/libmpg123.dll.a" ;;
        freetype) echo "lib/libfreetype.a" ;;
    esac
}

build_one() {
    local pkg=$1 key src stage log start f
    lookup "$pkg"
    key=$(stamp_key "$pkg" "$VERSION")
    if up_to_date "$pkg" "$key"; then
        echo "$pkg $VERSION: up to date"
        return
    fi
    start=$(date +%s)
    rm -f "$STAMPS/$pkg"
    fetch
    # The sources are built in a temporary folder, since libtool and
    # configure cannot cope with spaces in a path, which BUILD_DIR may have;
    # a failed build's tree is kept there.
    if [ -z "$WORK" ]; then
        WORK=$(mktemp -d "${TMPDIR:-/tmp}/zimbalo-windows.XXXXXX")
        trap 'rm -rf "$WORK"' EXIT
    fi
    src=$WORK/$pkg/src
    stage=$WORK/$pkg/stage
    log=$LOGS/$pkg.log
    : >"$log"
    # In the background, since a subshell tested by "if" would run on past
    # a failing command.
    (
        exec >>"$log" 2>&1
        unpack "$src"
        cross_env "$src"
        rm -rf "$stage"
        "build_${pkg//[.-]/_}" "$src" "$stage"
        tidy_stage "$stage$STAGE_PREFIX"
        licence_of "$pkg" "$VERSION" "$src" "$stage$STAGE_PREFIX"
    ) &
    if ! wait $!; then
        trap - EXIT
        echo "zimbalo: building $pkg $VERSION failed, in $src; the end of $log:" >&2
        tail -n 25 "$log" >&2
        exit 1
    fi
    for f in $(products "$pkg"); do
        [ -f "$stage$STAGE_PREFIX/$f" ] || die "building $pkg $VERSION made no $f; see $log"
    done
    install_stage "$pkg" "$stage$STAGE_PREFIX"
    echo "$key" >"$STAMPS/$pkg"
    rm -rf "${WORK:?}/$pkg"
    echo "$pkg $VERSION: built in $(($(date +%s) - start)) s: $(products "$pkg")"
}

for pkg in libsdl1.2 freetype mpg123; do
    build_one "$pkg"
done

# The game links the mingw-w64 runtime (start-up code, winpthreads)
# statically; its licence goes with the others.
rt_pkg=mingw-w64-x86-64-dev
rt_version=$(dpkg-query -W -f '${Version}' "$rt_pkg")
mkdir -p "$PREFIX/licences"
{
    echo "mingw-w64 runtime (start-up code and winpthreads, linked into the game), from Debian's package $rt_pkg $rt_version"
    echo
    cat "/usr/share/doc/$rt_pkg/copyright"
} >"$PREFIX/licences/mingw-w64.txt.new"
if cmp -s "$PREFIX/licences/mingw-w64.txt.new" "$PREFIX/licences/mingw-w64.txt"; then
    rm -f "$PREFIX/licences/mingw-w64.txt.new"
else
    mv -f "$PREFIX/licences/mingw-w64.txt.new" "$PREFIX/licences/mingw-w64.txt"
fi
