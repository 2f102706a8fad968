#!/bin/sh
# Usage: lighthouse.sh DIR
# Installs Lighthouse, as scripts/lighthouse/package-lock.json pins it, into
# DIR (node_modules and all), for the page's audit in make test and make
# bench. It runs on Debian's chromium. Offline, nothing is installed and the
# audit is skipped, in one line.
set -eu
[ $# -eq 1 ] || { echo "usage: $0 DIR" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)/lighthouse
[ -f "$1/node_modules/.package-lock.json" ] && cmp -s "$here/package-lock.json" "$1/package-lock.json" &&
    exit 0
mkdir -p "$1"
cp "$here/package.json" "$here/package-lock.json" "$1/"
if ! (cd "$1" && timeout 300 npm ci --no-audit --no-fund --loglevel=error >npm.log 2>&1); then
    rm -rf "$1/node_modules"
    echo "lighthouse: cannot install it from npm; the page's audit is skipped" >&2
fi
exit 0
