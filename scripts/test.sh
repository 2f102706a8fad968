#!/bin/sh
# test.sh BUILD JOBS: what `make test` does, saying at each long step what
# it is doing and why it takes time. The Windows and browser libraries,
# built once from Debian's sources, start as soon as their compilers are
# installed and build beside the rest; the rows that need them wait for
# them (their scripts take the build folder's lock).
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=$1
jobs=$2
say() { echo "zimbalo: $*"; }
start=$(date +%s)
took() { say "$1 took $(($(date +%s) - start)) s"; start=$(date +%s); }

"$here/scripts/deps.sh" --windows --web
libs=""
for platform in windows web; do
    name=Windows
    [ "$platform" = web ] && name="the browser"
    # A library built is stamped; three stamps, three libraries built.
    set -- "$build/$platform/stamps/"*.files
    [ $# -ge 3 ] && [ -e "$1" ] && continue
    mkdir -p "$build/$platform"
    say "building SDL 1.2, FreeType and mpg123 for $name from Debian's sources, in" \
        "the background: once, several minutes on two cores (then kept in $build/$platform);" \
        "log: $build/$platform/libs.log"
    "$here/scripts/$platform-libs.sh" "$build" >"$build/$platform/libs.log" 2>&1 &
    libs="$libs $!"
done
"$here/scripts/deps.sh" --tests
took "checking the packages"

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
[ -e "$build/tests/unit/unit_tests_asan" ] ||
    say "building the game and its tests, each test plain and with the sanitizers:" \
        "a few minutes the first time"
cmake --build "$build" -j "$jobs" --target tests
took "building"

status=0
# One test more than there are cores, once nothing else builds: the window
# rows spend most of their time waiting on a game, a browser or Wine.
slots=$((jobs + 1))
tests() { (cd "$build" && ctest --output-on-failure -j "$slots" "$@") || status=$?; }
busy=""
for pid in $libs; do
    kill -0 "$pid" 2>/dev/null && busy=1
done
if [ -n "$busy" ]; then
    # Rather than hold ctest's slots while they wait, the rows that need the
    # libraries run last.
    say "running the tests; the Windows and browser rows last, once their libraries" \
        "are built"
    slots=$jobs
    tests -E '^window_(windows|web)'
    wait
    slots=$((jobs + 1))
    tests -R '^window_(windows|web)'
else
    say "running the tests, most of the time the rows under Wine and in the three" \
        "browsers (docs/TESTING.md gives the time)"
    tests
fi
took "testing"
exit $status
