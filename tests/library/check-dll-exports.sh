#!/bin/sh
# check-dll-exports.sh OBJDUMP UNDNAME DLL EMULATOR TABLE_PROGRAM
# The DLL's imports, and its export table: module name, ordinal base, the
# class tables' exported names and the load hook in ordinal order, and what
# each decorated name decodes to against its entry function's type.
objdump=$1 undname=$2 dll=$3 emulator=$4 program=$5
table=$(mktemp) exports=$(mktemp) names=$(mktemp) expected=$(mktemp) decoded=$(mktemp)
trap 'rm -f "$table" "$exports" "$names" "$expected" "$decoded"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }
. "$(dirname "$0")/export-table.sh"

read_export_table "$objdump" "$dll"
read_table_exports "$emulator" "$program" x86
check_module_and_base
check_imports
check_named_exports _JNI_OnLoad@8
check_decoded_signatures "$undname"

[ $status -eq 0 ] && echo "PASS: ORVNative.dll exports"
exit $status
