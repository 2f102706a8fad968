#!/bin/sh
# web.sh BUILD: the game in the browser. Builds the libraries for
# WebAssembly from Debian's sources (web-libs.sh), the game against them
# with emscripten, and puts the page, the script, the .wasm and the data in
# BUILD/web.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "$1/web" && cd "$1/web" && pwd)
prefix=$out/prefix
# Debian's emscripten finds its own modules through Debian's node path.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}

"$here/scripts/web-libs.sh" "$1"

# The prefix joins emscripten's own root, where CMake looks for libraries.
PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" emcmake cmake -S "$here" -B "$out/game" \
    -DCMAKE_BUILD_TYPE=Release -DZIMBALO_TESTS=OFF -DZIMBALO_BENCH=OFF \
    -DCMAKE_FIND_ROOT_PATH="$prefix" >/dev/null
PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" cmake --build "$out/game" -j "$(nproc)"

cp "$out/game/zimbalo.js" "$out/game/zimbalo.wasm" "$here/dist/web/index.html" \
    "$here/dist/web/fin.html" "$here/data/game_over.ttf" "$here/data/Menu.mp3" \
    "$here/data/Jouer.mp3" "$out/"
( cd "$out" && for f in index.html fin.html zimbalo.js zimbalo.wasm game_over.ttf Menu.mp3 Jouer.mp3; do
      printf '%-14s %8d bytes, %8d gzip-compressed\n' "$f" "$(wc -c <"$f")" "$(gzip -9n <"$f" | wc -c)"
  done )
