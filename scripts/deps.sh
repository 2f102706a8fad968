#!/bin/sh
# Installs the Debian packages that building and testing Zimbalo need,
# calling apt-get only when one of them is missing.
set -eu

PACKAGES="build-essential cmake pkg-config
libsdl1.2-dev libsdl-ttf2.0-dev libsdl-gfx1.2-dev libmpg123-dev
libgtest-dev googletest libbenchmark-dev
xvfb xdotool x11-utils python3-xlib python3-fonttools lame valgrind
desktop-file-utils appstream groff-base dpkg-dev libsdl2-2.0-0"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

echo "installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
