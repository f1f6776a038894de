#!/bin/sh
# check-dll64-exports.sh OBJDUMP NM UNDNAME DLL EMULATOR TABLE_PROGRAM
# The x64 DLL: a PE32+ image that imports only system DLLs; its export table
# with module name, ordinal base, the class tables' exported names and the
# load hook in ordinal order, what each decorated name decodes to against its
# entry function's type, and the function each leads to.
objdump=$1 nm=$2 undname=$3 dll=$4 emulator=$5 program=$6
table=$(mktemp) exports=$(mktemp) names=$(mktemp) expected=$(mktemp) decoded=$(mktemp) actual=$(mktemp)
symbols=$(mktemp)
trap 'rm -f "$table" "$exports" "$names" "$expected" "$decoded" "$actual" "$symbols"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }
. "$(dirname "$0")/export-table.sh"

read_export_table "$objdump" "$dll"
read_table_exports "$emulator" "$program" x64
check_imports

grep -q 'file format pei-x86-64' "$table" || fail "not an x86-64 image"
grep -q '^Magic[[:space:]]\{1,\}020b[[:space:]]\{1,\}(PE32+)' "$table" || fail "optional header is not PE32+"

# The C++ runtime is linked in: a JVM loads the DLL with nothing of mingw's beside it.
runtime=$(sed -n 's/^[[:space:]]*DLL Name: //p' "$table" | grep -i -e 'libstdc++' -e 'libgcc' -e 'libwinpthread' | sort -u | tr '\n' ' ')
[ -z "$runtime" ] || fail "imports mingw runtime DLLs: $runtime"

check_module_and_base
check_named_exports JNI_OnLoad
check_decoded_signatures "$undname"

# Each ordinal's address against the DLL's own symbol table: an export that
# names the right function but leads to another would pass every check above.
# The shipped DLL is stripped; its symbols are in the debug file beside it.
image=$(sed -n 's/^ImageBase[[:space:]]\{1,\}\([0-9a-fA-F]\{1,\}\)$/\1/p' "$table" | head -n 1)
symbolfile=$dll
[ -f "$dll.debug" ] && symbolfile=$dll.debug
"$nm" -C "$symbolfile" | sed -n 's/^\([0-9a-fA-F]\{1,\}\) T \([^(]*\).*$/\1 \2/p' >"$symbols"
sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]\{1,\}\][[:space:]]\{1,\}+base\[[[:space:]]*\([0-9]\{1,\}\)\][[:space:]]\{1,\}\([0-9a-fA-F]\{1,\}\)[[:space:]]\{1,\}Export RVA$/\1 \2/p' "$table" |
while read -r ordinal rva; do
    address=$(printf '%016x' $((0x$image + 0x$rva)))
    printf '%s %s\n' "$ordinal" "$(awk -v a="$address" '$1 == a { print $2 }' "$symbols" | sort | head -n 1)"
done >"$actual"
{ awk -F '\t' '{ print NR, $2 }' "$exports"; echo "$count JNI_OnLoad"; } >"$expected"
if ! diff -u "$expected" "$actual"; then
    fail "exports lead to other functions (- expected, + actual)"
fi

[ $status -eq 0 ] && echo "PASS: ORVNative.dll (x64) exports"
exit $status
