#!/bin/sh
# check-export-files.sh TABLE_PROGRAM JNIBRIDGE_DIR
# The export definitions the linkers read, held to the class tables: each .def
# numbers the tables' decorated names in byte order and the load hook last, and
# the version script keeps exactly the exported entry functions.
program=$1 dir=$2
expected=$(mktemp) actual=$(mktemp)
trap 'rm -f "$expected" "$actual"' EXIT
status=0
compare() { # WHAT
    diff -u "$expected" "$actual" || { echo "FAIL: $1 differs from the tables (- tables, + file)"; status=1; }
}
for build in "x86 ORVNative.def _JNI_OnLoad@8" "x64 ORVNative64.def JNI_OnLoad"; do
    set -- $build
    { "$program" exports "$1" | cut -f 1; echo "$3"; } | awk '{ print NR, $0 }' >"$expected"
    sed -n 's/^[[:space:]]*"\{0,1\}\([^" ]*\)"\{0,1\}\( = [^ ]*\)\{0,1\} @\([0-9]*\)$/\3 \1/p' "$dir/$2" >"$actual"
    compare "$2"
done
"$program" exports so | sort >"$expected"
sed -n 's/^[[:space:]]*"\([^"(]*\)(.*";$/\1/p' "$dir/ORVNative.map" | sort >"$actual"
compare ORVNative.map
[ -s "$expected" ] || { echo "FAIL: the tables export nothing"; status=1; }
[ $status -eq 0 ] && echo "PASS: export definitions match the tables"
exit $status
