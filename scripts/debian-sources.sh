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
# The sourcing script sets W (its own folder in the build folder, made
# absolute), PREFIX and STAGE_PREFIX, then calls debian_sources_open, and
# defines for each source package PKG that it builds:
#   build_env SRC          exports the compilers' environment for SRC
#   build_PKG SRC STAGE    builds SRC and installs it under STAGE$STAGE_PREFIX
#   stamp_key PKG VERSION  a digest of everything that goes into the build
#   products PKG           the files that the build must install
# and build_one PKG then builds PKG unless its last build is in the prefix.

# shellcheck shell=bash
die() { echo "zimbalo: $*" >&2; exit 1; }
offline() { echo "zimbalo: cannot fetch Debian's sources (offline?): $*" >&2; exit 77; }

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

    # Refreshed on every run, which costs a second, so that a new Debian
    # version (a security update) is built as soon as it is published. When
    # the refresh fails but an earlier run left lists, those are used: what
    # they name may well be built already.
    # (Without --error-on=any, apt-get update fails to fetch and exits 0.)
    local out why
    if ! out=$(apt-get "${APT_OPTS[@]}" -q --error-on=any update 2>&1); then
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
