# debian-sources.sh: Debian's source packages fetched, checked and unpacked,
# and a library built from them into one prefix; sourced by windows-libs.sh
# and web-libs.sh, which build the libraries of the other platforms.
#
# The sources come from Debian's archive through a private apt state under
# $W/sources (the system's apt configuration is left alone): apt checks the
# signatures of the package lists, and each file of a source package is
# checked against the sha256 those lists give. The orig and debian tarballs
# are unpacked as dpkg-source does and Debian's patches are applied in
# order, so that the code is the code Debian builds.
#
# What the two platforms build alike is here too: the build environment,
# FreeType and mpg123 (configured and made with the platform's tools), the
# stamps. The sourcing script sets W (its own folder in the build folder,
# made absolute), PREFIX, STAGE_PREFIX, HOST, JOBS, RECIPE, and:
#   CFLAGS_COMMON, LDFLAGS_COMMON  the flags of every library (LDFLAGS may
#                          be empty)
#   COMPILER               lines naming the compiler and its version
#   HOST_MAKE              make, or the command that runs make for HOST
#   SDL_OPTIONS, MPG123_CONFIGURE  what goes into SDL's and mpg123's builds
# may add its own options to FREETYPE_CONFIGURE, which sourcing this file
# sets, then calls debian_sources_open, and defines:
#   host_tools             exports CC, CXX, AR, RANLIB and the like
#   configure_host SRC OPTIONS  runs SRC's configure for HOST with OPTIONS
#   build_libsdl1_2 SRC STAGE  builds SDL and installs it under
#                          STAGE$STAGE_PREFIX
#   products PKG           the files that the build of PKG must install
# and build_libraries then builds each library unless its last build is in
# the prefix.

# shellcheck shell=bash
die() { echo "zimbalo: $*" >&2; exit 1; }
offline() { echo "zimbalo: cannot fetch Debian's sources (offline?): $*" >&2; exit 77; }

# FreeType's options are Debian's (its patched ftoption.h with subpixel
# rendering, the same modules), without the libraries that the game's text
# does not need, so that text rasterises as on Debian.
FREETYPE_CONFIGURE="--enable-static --disable-shared --without-zlib
--without-bzip2 --without-png --without-harfbuzz --without-brotli
--without-librsvg"

# require_tools DEPS TOOL...: dies, naming deps.sh's option DEPS, when one
# of the TOOLs or of those that fetch and unpack the sources is missing.
require_tools() {
    local deps=$1 tool
    shift
    for tool in "$@" apt-get curl patch tar xz bzip2 dpkg-parsechangelog make flock; do
        command -v "$tool" >/dev/null 2>&1 ||
            die "$tool is missing; run scripts/deps.sh $deps"
    done
}

# --- Debian's package lists, in a private apt state -------------------------

# Takes the build folder's lock (one run at a time), sets up the private apt
# state under $W/sources and refreshes its package lists.
debian_sources_open() {
    APT_DIR=$W/sources/apt
    FILES=$W/sources/files
    WORK=""
    LOGS=$W/logs
    STAMPS=$W/stamps

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

    # Refreshed once an hour at most, so that a new Debian version (a
    # security update) is built soon after it is published, and a test run
    # does not wait for the network each time. When
    # the refresh fails but an earlier run left lists, those are used: what
    # they name may well be built already.
    # (Without --error-on=any, apt-get update fails to fetch and exits 0.)
    local out why
    if [ -n "$(find "$APT_DIR/refreshed" -mmin -60 2>/dev/null)" ]; then
        return 0
    fi
    if out=$(apt-get "${APT_OPTS[@]}" -q --error-on=any update 2>&1); then
        touch "$APT_DIR/refreshed"
    else
        why=$(printf '%s\n' "$out" | grep -E '^(E|W): ' | head -n 1 | tr -s ' \t' ' ')
        if ls "$APT_DIR"/lists/*_Sources* >/dev/null 2>&1; then
            echo "zimbalo: cannot refresh Debian's package lists (offline?); using the last ones" >&2
        else
            offline "${why:-apt-get update failed}"
        fi
    fi
}

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
build_env() {
    local src=$1
    host_tools
    export CFLAGS="$CFLAGS_COMMON -ffile-prefix-map=$src=."
    export CXXFLAGS=$CFLAGS CPPFLAGS="" LDFLAGS=$LDFLAGS_COMMON
    # ar's D (no dates nor owners) is Debian's default; said anyway.
    export ARFLAGS=crD AR_FLAGS=crD
    # No .pc file of this machine is to be found by the cross build.
    export PKG_CONFIG_LIBDIR=$src/.no-pkgconfig PKG_CONFIG_PATH=""
    # As dpkg-buildpackage does: a date for anything that asks for one.
    SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l "$src/debian/changelog" -STimestamp)
    export SOURCE_DATE_EPOCH
    export LC_ALL=C TZ=UTC
}

build_freetype() {
    local src=$1 stage=$2
    configure_host "$src" "$FREETYPE_CONFIGURE"
    $HOST_MAKE -C "$src" -j"$JOBS"
    make -C "$src" install DESTDIR="$stage"
}

build_mpg123() {
    local src=$1 stage=$2
    configure_host "$src" "$MPG123_CONFIGURE"
    # The library alone: no player, no output library nor its modules.
    $HOST_MAKE -C "$src" -j"$JOBS" src/libmpg123/libmpg123.la libmpg123.pc
    make -C "$src" DESTDIR="$stage" \
        lib_LTLIBRARIES=src/libmpg123/libmpg123.la \
        nodist_include_HEADERS=src/libmpg123/mpg123.h \
        include_HEADERS=src/libmpg123/fmt123.h \
        pkgconfig_DATA=libmpg123.pc \
        install-libLTLIBRARIES install-nodist_includeHEADERS \
        install-includeHEADERS install-pkgconfigDATA
}

# What a library's stamp holds: a digest of everything that goes into the
# library except the build paths, so that it changes whenever the library
# would. A platform's RECIPE is bumped when its steps, or those here,
# change the output.
stamp_key() {
    local pkg=$1 version=$2 options
    case $pkg in
        libsdl1.2) options=$SDL_OPTIONS ;;
        mpg123) options=$MPG123_CONFIGURE ;;
        freetype) options=$FREETYPE_CONFIGURE ;;
    esac
    # No LDFLAGS line where there are none.
    printf '%s\n' "recipe $RECIPE" "$pkg $version" "$COMPILER" "CFLAGS $CFLAGS_COMMON" \
        ${LDFLAGS_COMMON:+"LDFLAGS $LDFLAGS_COMMON"} "configure $options" \
        "staged at $STAGE_PREFIX" |
        sha256sum | cut -d' ' -f1
}

# --- Into the prefix ---------------------------------------------------------

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

# runtime_licence NAME PKG TITLE: the licence of the compiler's runtime that
# the game links, $PREFIX/licences/NAME.txt, from the Debian package PKG's
# copyright file, headed by TITLE and the package's version; rewritten only
# when it changes, so that a warm run leaves the prefix as it was.
runtime_licence() {
    local name=$1 pkg=$2 title=$3 out=$PREFIX/licences/$1.txt
    mkdir -p "$PREFIX/licences"
    {
        echo "$title, from Debian's package $pkg $(dpkg-query -W -f '${Version}' "$pkg")"
        echo
        cat "/usr/share/doc/$pkg/copyright"
    } >"$out.new"
    if cmp -s "$out.new" "$out"; then
        rm -f "$out.new"
    else
        mv -f "$out.new" "$out"
    fi
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

# True when the library's last build is in the prefix, whole.
up_to_date() {
    local pkg=$1 key=$2 f
    [ -f "$STAMPS/$pkg" ] && [ "$(cat "$STAMPS/$pkg")" = "$key" ] || return 1
    [ -f "$STAMPS/$pkg.files" ] || return 1
    while read -r f; do
        [ -e "$PREFIX/$f" ] || return 1
    done <"$STAMPS/$pkg.files"
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
        WORK=$(mktemp -d "${TMPDIR:-/tmp}/zimbalo-${W##*/}.XXXXXX")
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
        build_env "$src"
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

# Each library, unless its last build is in the prefix.
build_libraries() {
    local pkg
    for pkg in libsdl1.2 freetype mpg123; do
        build_one "$pkg"
    done
}
