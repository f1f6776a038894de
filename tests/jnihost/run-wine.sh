#!/bin/sh
# run-wine.sh WINE_RUN JNIHOST_EXE CASES PLATFORM REGFILE MATERIAL: the host's
# cases against the DLL under Wine. The registry values are imported into the
# tree's prefix first; the library and the mock module sit beside the host,
# which provisions the CryptoAPI material itself.
set -e
wine_run=$1 exe=$2 cases=$3 platform=$4 reg=$5 material=$6
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
cd "$(dirname "$exe")"
# The cases load a copy of the mock from a folder named outside ASCII and the BMP.
nonascii=$(printf 'modul\303\251-\360\237\230\200')
mkdir -p "$nonascii"
cp orvp11mock.dll "$nonascii/"
"$wine_run" reg import "$(winpath "$reg")" >/dev/null 2>&1
exec "$wine_run" "$(basename "$exe")" --library ORVNative.dll --cases "$(winpath "$cases")" \
    --platform "$platform" --material "$(winpath "$material")" --mock orvp11mock.dll \
    --transcript "transcript-$platform.txt" --provision-capi --require-coverage
