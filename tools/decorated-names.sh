#!/bin/sh
# decorated-names.sh HEADER FUNCTION: the names MSVC gives an exported entry
# function on x86 and x64, for the last two columns of its table row, e.g.
#   sh tools/decorated-names.sh capi/CapiTokenNatives.h nativeWrapDigest
#   sh tools/decorated-names.sh registry/Registry.h Registry::getKeyName
# clang compiles a reference to the function for the MSVC targets, over the
# JDK's jni.h and the tree's Windows jni_md.h; llvm-undname decodes each name
# back so the types can be read against the declaration.
set -eu
[ $# -eq 2 ] || { echo "usage: sh tools/decorated-names.sh HEADER FUNCTION" >&2; exit 2; }
header=$1 function=$2
top=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${JAVA_HOME:-}" ]; then
    JAVA_HOME=$(dirname "$(dirname "$(readlink -f "$(command -v javac)")")")
fi
[ -f "$JAVA_HOME/include/jni.h" ] || { echo "decorated-names.sh: no jni.h under $JAVA_HOME; set JAVA_HOME" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# jni.h includes <stdio.h> but uses nothing of it; there is no C library for
# the MSVC targets here, so an empty one stands in (clang's own <stdarg.h> stays).
: >"$work/stdio.h"
printf '#include "%s"\nvoid* orvEntry = reinterpret_cast<void*>(&%s);\n' "$header" "$function" >"$work/entry.cpp"

for build in "x86 i686 jni-win32" "x64 x86_64 jni-win64"; do
    set -- $build
    clang++ --target="$2-pc-windows-msvc" -std=c++17 -w -nostdlibinc -I "$work" -I "$top/cmake/$3" \
        -I "$JAVA_HOME/include" -I "$top" -S -o "$work/$1.s" "$work/entry.cpp"
    name=$(sed -n 's/^[[:space:]]*\.\(long\|quad\)[[:space:]]*"\(?.*\)"$/\2/p' "$work/$1.s")
    [ -n "$name" ] || { echo "decorated-names.sh: $function has no C++ decorated name on $1" >&2; exit 1; }
    printf '%s %s\n    %s\n' "$1" "$name" "$(llvm-undname "$name" | sed -n 2p)"
    echo "$name" >"$work/$1"
done
printf 'The row ends:\n        "%s", \\\n        "%s")\n' "$(cat "$work/x86")" "$(cat "$work/x64")"
