#!/bin/sh
# web.sh BUILD: the game in the browser. Builds the libraries for
# WebAssembly from Debian's sources (web-libs.sh), the game against them
# with emscripten, and puts the page, the script, the .wasm, the data, the
# web app's manifest, icons and service worker, and nothing else, in
# BUILD/web/site: the folder to publish.
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
# The web app's icons take tools/make_icon.py a quarter of a minute: drawn
# again only when it changes.
icons=$out/icons
if [ ! -f "$icons/made" ] || [ "$here/tools/make_icon.py" -nt "$icons/made" ]; then
    rm -rf "$icons"
    /usr/bin/python3 "$here/tools/make_icon.py" --web "$icons"
    touch "$icons/made"
fi
site=$out/site
rm -rf "$site" && mkdir "$site"
# (Where earlier builds put the page, beside the libraries.)
# shellcheck disable=SC2086 # a word a name
( cd "$out" && rm -f index.html fin.html zimbalo.js zimbalo.wasm $data )
cp "$out/game/zimbalo.js" "$out/game/zimbalo.wasm" "$here/dist/web/fin.html" \
   "$here/dist/web/manifest.webmanifest" "$icons"/*.png "$site/"
for f in $data; do
    cp "$here/data/$f" "$site/"
done
# The page fetches the data files by name: the list, as a JavaScript array,
# where it says @DATA@ (the comment after it goes).
# shellcheck disable=SC2086 # a word a name
list=$(printf '"%s", ' $data)
sed "s|@DATA@;.*|[${list%, }];|" "$here/dist/web/index.html" >"$site/index.html"
# The service worker keeps every other file of the site, in a cache named
# by a hash of all their names and contents (web-cache.sh).
files=$(cd "$site" && ls | sort)
# shellcheck disable=SC2086 # a word a name
list=$(printf '"%s", ' $files)
sed -e "s|@CACHE@|$("$here/scripts/web-cache.sh" "$site")|" -e "s|@FILES@|[${list%, }]|" \
    "$here/dist/web/sw.js" >"$site/sw.js"
( cd "$site" && for f in $files sw.js; do
      printf '%-22s %8d bytes, %8d gzip-compressed\n' "$f" "$(wc -c <"$f")" "$(gzip -9n <"$f" | wc -c)"
  done )
