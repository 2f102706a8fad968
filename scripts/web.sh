#!/bin/sh
# web.sh BUILD: the game in the browser. Builds the libraries for
# WebAssembly from Debian's sources (web-libs.sh), the game against them
# with emscripten, and puts the page, the script, the .wasm and the data,
# and nothing else, in BUILD/web/site: the folder to publish.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "$1/web" && cd "$1/web" && pwd)
prefix=$out/prefix
# Debian's emscripten finds its own modules through Debian's node path.
export NODE_PATH="${NODE_PATH:-/usr/share/nodejs}"

"$here/scripts/web-libs.sh" "$1"

# The prefix joins emscripten's own root, where CMake looks for libraries.
# Configured once (a few seconds of emscripten's checks); the build then
# configures again by itself when CMake's files change.
[ -f "$out/game/CMakeCache.txt" ] ||
    PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" emcmake cmake -S "$here" -B "$out/game" \
        -DCMAKE_BUILD_TYPE=Release -DZIMBALO_TESTS=OFF -DZIMBALO_BENCH=OFF \
        -DCMAKE_FIND_ROOT_PATH="$prefix" >/dev/null
PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" cmake --build "$out/game" -j "$(nproc)"

data=$(sed -e '/^#/d' -e '/^$/d' "$here/data/files.txt")
site=$out/site
rm -rf "$site" && mkdir "$site"
# (Where earlier builds put the page, beside the libraries.)
# shellcheck disable=SC2086 # a word a name
( cd "$out" && rm -f index.html fin.html zimbalo.js zimbalo.wasm $data )
cp "$out/game/zimbalo.js" "$out/game/zimbalo.wasm" "$here/dist/web/fin.html" "$site/"
for f in $data; do
    cp "$here/data/$f" "$site/"
done
# The page fetches the data files by name: the list, as a JavaScript array,
# where it says @DATA@ (the comment after it goes).
# shellcheck disable=SC2086 # a word a name
list=$(printf '"%s", ' $data)
sed "s|@DATA@;.*|[${list%, }];|" "$here/dist/web/index.html" >"$site/index.html"
( cd "$site" && for f in index.html fin.html zimbalo.js zimbalo.wasm $data; do
      printf '%-14s %8d bytes, %8d gzip-compressed\n' "$f" "$(wc -c <"$f")" "$(gzip -9n <"$f" | wc -c)"
  done )
