#!/bin/sh
# release-setup.sh windows|web BUILD: the fixture of the Windows or the
# browser rows. Builds the release as `make windows` or `make web` does (the
# libraries only once: they stay cached in BUILD/windows or BUILD/web); for
# Windows, also this run's own Wine prefixes. Offline, the release is left
# out in one line, and the rows skip.
set -u
src=$(cd "$(dirname "$0")/.." && pwd)
out=$2/$1
mkdir -p "$out"
"$src/scripts/$1.sh" "$2" >"$out/build.log" 2>&1
status=$?
if [ $status -ne 0 ]; then
    rm -rf "$out"/zimbalo-*-win64 "$out/site"
    [ $status -eq 77 ] && { tail -n 1 "$out/build.log"; exit 0; }
    cat "$out/build.log"
    exit 1
fi
[ "$1" = windows ] || exit 0
# This run's own Wine prefix, a copy of one made once for this version of
# Wine: wineboot takes ten seconds, the copy one. Made without a display,
# the prefix's desktop must be gone before a row starts one on its own
# display: wait for Wine's server to end. No menu entries for this machine's
# desktop.
export WINEDEBUG=-all
template=$out/wine-$(wine --version | tr -c 'A-Za-z0-9.\n' _)
if [ ! -d "$template" ]; then
    rm -rf "$out"/wine-*
    WINEPREFIX="$template.part" WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" \
        DISPLAY= wineboot -i >/dev/null 2>&1
    WINEPREFIX="$template.part" wineserver -w
    mv "$template.part" "$template"
fi
# One for the installers' rows, which run beside the others. Linked to the
# template's files rather than copied (700 MB, twice a run): Wine only adds
# files to a prefix, but for its registry, which is copied.
for prefix in wine wine-install; do
    rm -rf "${out:?}/$prefix"
    cp -al "$template" "$out/$prefix"
    for reg in "$template"/*.reg; do
        cp --remove-destination "$reg" "$out/$prefix/"
    done
done
