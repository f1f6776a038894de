#!/bin/sh
# run-wine-log.sh WINE_RUN JNIHOST_EXE CASES PLATFORM MATERIAL: the DLL under
# Wine with ORVNATIVE_LOG naming a file in a folder whose name holds a Latin-1
# letter and a character outside the BMP. The file must hold the lines of the
# cases' calls, its own name among them in UTF-8.
set -e
wine_run=$1 exe=$2 cases=$3 platform=$4 material=$5
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
cd "$(dirname "$exe")"
dir="$(pwd)/log-$platform-J$(printf '\303\274')rgen-$(printf '\360\235\204\236')"
rm -rf "$dir"
mkdir -p "$dir"
log="$dir/orvnative.log"
# Wine hands the Unix environment to Windows as UTF-16 read in the locale's charset.
LC_ALL=C.UTF-8 ORVNATIVE_LOG=$(winpath "$log") "$wine_run" "$(basename "$exe")" --library ORVNative.dll \
    --cases "$(winpath "$cases")" --platform "$platform" --material "$(winpath "$material")" \
    --mock orvp11mock.dll --transcript "transcript-log-$platform.txt"
fail() {
    echo "run-wine-log: $*" >&2
    [ -f "$log" ] && cat "$log" >&2
    exit 1
}
[ -f "$log" ] || fail "no log at $log"
for line in "library loaded, logging to $(winpath "$log")" \
    "pkcs11 C_Initialize() = CKR_OK" \
    "native PKCS11Module.loadLibrary('orvp11mock.dll') = 0" \
    "win32 FindWindowA = failed, last error 0x" \
    "win32 FindWindowA = ok" \
    "win32 PostMessageA = ok"; do
    grep -F -q " $line" "$log" || fail "the log lacks '$line'"
done
echo "run-wine-log: $log holds the lines"
