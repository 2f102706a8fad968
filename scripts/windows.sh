#!/bin/sh
# windows.sh BUILD: the Windows release. Builds the libraries from Debian's
# sources (windows-libs.sh), cross-builds the game against them, and makes
# BUILD/windows/zimbalo-VERSION-win64.zip and zimbalo-VERSION-setup.exe,
# the same bytes at every run from the same commit.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "$1/windows" && cd "$1/windows" && pwd)
prefix=$out/prefix

"$here/scripts/windows-libs.sh" "$1"

# Configured once; the build configures again by itself when CMake's files
# change.
[ -f "$out/game/CMakeCache.txt" ] ||
    cmake -S "$here" -B "$out/game" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw.cmake" \
        -DZIMBALO_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release \
        -DZIMBALO_TESTS=OFF -DZIMBALO_BENCH=OFF >/dev/null
cmake --build "$out/game" -j "$(nproc)"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$out/game/CMakeCache.txt")

# Every file dated from the commit, so that the zip and the installer
# depend on the sources only.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$here" log -1 --format=%ct 2>/dev/null || echo 315532800)}
stage=$out/zimbalo-$version-win64
rm -rf "$stage" && mkdir -p "$stage/licences"
cp "$out/game/zimbalo.exe" "$prefix/bin/SDL.dll" "$prefix/bin/libmpg123-0.dll" "$stage/"
data=$(sed -e '/^#/d' -e '/^$/d' "$here/data/files.txt")
for f in $data; do
    cp "$here/data/$f" "$stage/"
done
cp "$here/LICENSE" "$here/dist/windows/README.txt" "$stage/"
cp "$prefix/licences/"*.txt "$stage/licences/"
find "$stage" -exec touch -h -d "@$epoch" {} +

zip=$out/zimbalo-$version-win64.zip
/usr/bin/python3 "$here/scripts/windows-zip.py" "$zip" "$stage" "$epoch"
# The installer's and the uninstaller's lines, made from the staged folder,
# so that the uninstaller removes the files installed, by name, and the
# folders made, once empty.
files=$(cd "$stage" && find . -type f | LC_ALL=C sort | sed 's|^\./||; s|/|\\|g')
dirs=$(cd "$stage" && find . -mindepth 1 -type d | LC_ALL=C sort -r | sed 's|^\./||; s|/|\\|g')
# shellcheck disable=SC2016,SC2086 # NSIS's variables, as they are; a word a name
{
    echo "; files.nsh: the release's files, by scripts/windows.sh."
    echo '!macro ZIMBALO_INSTALL_FILES'
    echo '    SetOutPath "$INSTDIR"'
    printf '    CreateDirectory "$INSTDIR\\%s"\n' $dirs
    for f in $files; do
        printf '    File "/oname=%s" "${FILES}\\%s"\n' "$f" "$f"
    done
    echo '!macroend'
    echo '!macro ZIMBALO_DELETE_FILES'
    printf '    Delete "$INSTDIR\\%s"\n' $files
    printf '    RMDir "$INSTDIR\\%s"\n' $dirs
    echo '!macroend'
} >"$out/files.nsh"
makensis -V2 -DVERSION="$version" -DFILES="$stage" -DLIST="$out/files.nsh" \
    -DICON="$out/game/zimbalo.ico" -DOUTFILE="$out/zimbalo-$version-setup.exe" \
    "$here/dist/windows/zimbalo.nsi"
( cd "$out" && sha256sum "zimbalo-$version-win64.zip" "zimbalo-$version-setup.exe" )
