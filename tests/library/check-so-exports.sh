#!/bin/sh
# check-so-exports.sh NM LIBRARY TABLE_PROGRAM
# The shared library's dynamic symbols: exactly the load hook and the entry
# functions the class tables export (compared by demangled name).
nm=$1 library=$2 program=$3
actual=$(mktemp) expected=$(mktemp)
trap 'rm -f "$actual" "$expected"' EXIT
"$nm" -D --defined-only -C "$library" | sed 's/^[0-9a-fA-F]* [A-Za-z] //; s/(.*$//' | sort >"$actual" ||
    { echo "FAIL: $nm -D $library"; exit 1; }
{ "$program" exports so || { echo "FAIL: $program exports so"; exit 1; }; echo JNI_OnLoad; } | sort >"$expected"
if [ "$(wc -l <"$expected")" -lt 2 ]; then
    echo "FAIL: the tables export nothing"
    exit 1
fi
if diff -u "$expected" "$actual"; then
    echo "PASS: libORVNative.so exports"
    exit 0
fi
echo "FAIL: dynamic symbols differ (- expected, + actual)"
exit 1
