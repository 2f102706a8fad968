#!/bin/sh
# web-cache.sh SITE: the name of the service worker's cache for the site in
# SITE: "zimbalo-" and the first 16 hex digits of a SHA-256 of every file's
# name and contents but sw.js's own (which holds the name). Any change to
# any file gives another name, so another service worker and a cache of
# its own.
set -eu
cd "$1"
printf 'zimbalo-%s\n' "$(for f in $(ls | sort); do
    [ "$f" = sw.js ] || { printf '%s\n' "$f"; sha256sum <"$f"; }
done | sha256sum | cut -c1-16)"
