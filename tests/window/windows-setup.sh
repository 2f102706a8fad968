#!/bin/sh
# windows-setup.sh BUILD: the Windows rows' fixture. Builds the release as
# `make windows` does (the libraries only once: they stay cached in
# BUILD/windows) and makes this run's own Wine prefix. Offline, the release
# is left out in one line, and the rows skip.
set -u
src=$(cd "$(dirname "$0")/../.." && pwd)
out=$1/windows
mkdir -p "$out"
"$src/scripts/windows.sh" "$1" >"$out/build.log" 2>&1
status=$?
if [ $status -ne 0 ]; then
    rm -rf "$out"/zimbalo-*-win64
    [ $status -eq 77 ] && { tail -n 1 "$out/build.log"; exit 0; }
    cat "$out/build.log"
    exit 1
fi
# Made without a display, the prefix's desktop must be gone before a row
# starts one on its own display: wait for Wine's server to end.
rm -rf "$out/wine"
export WINEPREFIX="$out/wine" WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY= wineboot -i >/dev/null 2>&1
wineserver -w
