#!/bin/sh
# release-setup.sh windows|web BUILD: the fixture of the Windows or the
# browser rows. Builds the release as `make windows` or `make web` does (the
# libraries only once: they stay cached in BUILD/windows or BUILD/web); for
# Windows, also this run's own Wine prefix. Offline, the release is left
# out in one line, and the rows skip.
set -u
src=$(cd "$(dirname "$0")/../.." && pwd)
out=$2/$1
mkdir -p "$out"
"$src/scripts/$1.sh" "$2" >"$out/build.log" 2>&1
status=$?
if [ $status -ne 0 ]; then
    rm -rf "$out"/zimbalo-*-win64 "$out/zimbalo.wasm"
    [ $status -eq 77 ] && { tail -n 1 "$out/build.log"; exit 0; }
    cat "$out/build.log"
    exit 1
fi
[ "$1" = windows ] || exit 0
# Made without a display, the prefix's desktop must be gone before a row
# starts one on its own display: wait for Wine's server to end.
rm -rf "$out/wine"
export WINEPREFIX="$out/wine" WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY= wineboot -i >/dev/null 2>&1
wineserver -w
