#!/bin/sh
# Usage: sdl12-compat.sh DIR
# Unpacks Debian's sdl12-compat (SDL 1.2 on top of SDL 2) into DIR without
# installing it, so that the game can be run on it with
# LD_LIBRARY_PATH=DIR/lib. The system's SDL 1.2 is left alone. SDL 2 itself
# (libsdl2-2.0-0) must be installed for the library to load.
set -eu

[ $# -eq 1 ] || { echo "usage: $0 DIR" >&2; exit 2; }
DIR=$1
LIB="$DIR/lib/libSDL-1.2.so.0"
[ -e "$LIB" ] && exit 0

mkdir -p "$DIR"
DIR=$(cd "$DIR" && pwd)
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
chmod 755 "$TMP" # apt's download user must be able to write there

# Offline, or without package lists, the tests on sdl12-compat are skipped:
# they find no library in DIR and say so. The package lists are left as
# they are; refreshing them is the user's call.
if ! (cd "$TMP" && timeout 60 apt-get download -q libsdl1.2-compat >/dev/null 2>&1); then
    echo "sdl12-compat: cannot download libsdl1.2-compat; the tests on it are skipped" >&2
    exit 0
fi
dpkg -x "$TMP"/libsdl1.2-compat_*.deb "$DIR/root"

# The package ships the library as usr/lib/<triplet>/sdl12-compat/.
found=$(find "$DIR/root/usr/lib" -name libSDL-1.2.so.0 | head -n 1)
[ -n "$found" ] || { echo "$0: no libSDL-1.2.so.0 in the package" >&2; exit 1; }
mkdir -p "$DIR/lib"
ln -sfn "../${found#"$DIR"/}" "$DIR/lib/.libSDL-1.2.so.0.new"
mv -f "$DIR/lib/.libSDL-1.2.so.0.new" "$LIB" # in one step, for parallel runs
ls -l "$LIB"
