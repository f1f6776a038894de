#!/bin/sh
# dist.sh BUILD DIST: the release files, from the linux, win32 and win64 trees
# (configured and built here as needed), into DIST with SHA256SUMS over them.
# Two clean clones of one commit give the same bytes; compare two DIST
# directories with `diffoscope A B` when they do not.
set -eu
build=$1 dist=$2
jobs=${JOBS:-2}
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
# Jar entries are dated from the commit, not from the build.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}
export SOURCE_DATE_EPOCH

for tree in linux win32 win64; do
    ${MAKE:-make} -s BUILD="$build" "$build/$tree/build.ninja"
done
cmake --build "$build/linux" -j "$jobs" --target ORVNative orvnative_jar orvtool_jar
cmake --build "$build/win32" -j "$jobs" --target ORVNative
cmake --build "$build/win64" -j "$jobs" --target ORVNative

rm -rf "$dist"
mkdir -p "$dist/windows-x86" "$dist/windows-x64" "$dist/linux-x86_64" "$dist/tool" "$dist/licenses"
ship() { # FILE DIRECTORY: the binary and its debug file
    cp "$1" "$1.debug" "$2/"
}
ship "$build/win32/bin/ORVNative.dll" "$dist/windows-x86"
ship "$build/win64/bin/ORVNative.dll" "$dist/windows-x64"
ship "$build/linux/libORVNative.so" "$dist/linux-x86_64"
# orvtool.jar's manifest finds orvnative.jar one directory up.
cp "$build/linux/java/orvnative.jar" "$dist/"
cp "$build/linux/java/tool/orvtool.jar" "$dist/tool/"
strip-nondeterminism --timestamp "$SOURCE_DATE_EPOCH" "$dist/orvnative.jar" "$dist/tool/orvtool.jar" >/dev/null

# The DLLs link in the GCC runtime (libstdc++, libgcc, libssp) and mingw-w64's
# CRT start-up code and winpthreads.
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$dist/licenses/gcc-runtime.txt"
cp /usr/share/common-licenses/GPL-3 "$dist/licenses/GPL-3.txt"
cp /usr/share/doc/mingw-w64-common/copyright "$dist/licenses/mingw-w64-and-winpthreads.txt"
cp "$top/VERSION" "$dist/VERSION"

find "$dist" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
(cd "$dist" && find . -type f ! -name SHA256SUMS | LC_ALL=C sort | sed 's|^\./||' | xargs sha256sum >SHA256SUMS)
echo "dist: $(cd "$dist" && wc -l <SHA256SUMS) files in $dist, version $(cat VERSION)"
