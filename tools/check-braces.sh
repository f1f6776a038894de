#!/bin/sh
# Every if/for/while/else body of the product rooms and the stand-in in braces:
# clang-tidy's readability-braces-around-statements over the tree's compile
# commands, headers included; any finding fails.
#   check-braces.sh CLANG_TIDY BUILD_DIR
set -eu
tidy=$1 build=$2
root=$(cd "$(dirname "$0")/.." && pwd)
rooms="^$root/(jnibridge|common|pkcs11bridge|capi|registry|accessibility|platform|tests/standin)/"
files=$(sed -n 's/^ *"file": "\(.*\)",*$/\1/p' "$build/compile_commands.json" | grep -E "$rooms" | sort -u)
if [ -z "$files" ]; then
    echo "check-braces: no source of the rooms in $build/compile_commands.json" >&2
    exit 2
fi
echo "$files" | xargs -P 2 -n 8 "$tidy" -p "$build" --quiet --checks='-*,readability-braces-around-statements' \
    --warnings-as-errors='*' --header-filter="$rooms"
