# export-table.sh: sourced by check-dll-exports.sh and check-dll64-exports.sh.
# The parts of a Windows DLL's export table both builds must show alike. The
# caller sets $table (objdump -p output, read by read_export_table), $names,
# $decoded and $expected (temporary files) and defines fail().

read_export_table() { # OBJDUMP DLL
    "$1" -p "$2" | uniq >"$table" || { echo "FAIL: $1 -p $2"; exit 1; }
}

# Module name ORVNative.dll and ordinal base 1.
check_module_and_base() {
    module=$(sed -n 's/^Name[[:space:]]\{1,\}[0-9a-fA-F]\{1,\}[[:space:]]\{1,\}//p' "$table" | head -n 1)
    [ "$module" = "ORVNative.dll" ] || fail "module name '$module', expected 'ORVNative.dll'"
    base=$(sed -n 's/^Ordinal Base[[:space:]]\{1,\}//p' "$table" | head -n 1)
    [ "$base" = "1" ] || fail "ordinal base '$base', expected 1"
}

# The "n name" rows of the name table (n is the ordinal minus 1) against the
# expected rows on standard input; then exactly ten entries in both tables.
check_named_exports() {
    sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' "$table" |
        sed -n 's/^[[:space:]]*\[[[:space:]]*\([0-9]\{1,\}\)\][[:space:]]\{1,\}\(.*\)$/\1 \2/p' >"$names"
    cat >"$expected"
    if ! diff -u "$expected" "$names"; then
        fail "named exports differ (- expected, + actual)"
    fi
    for count in "Export Address Table" "\[Name Pointer/Ordinal\] Table"; do
        n=$(sed -n "s|^[[:space:]]*$count[[:space:]]\{1,\}\([0-9a-fA-F]\{1,\}\)\$|\1|p" "$table" | head -n 1)
        [ "$n" = "0000000a" ] || fail "$count holds '$n' entries, expected 0000000a"
    done
}

# Ordinals 1-9 in readable form against the expected lines on standard input;
# pointer spacing differs between undname versions.
check_decoded_signatures() { # UNDNAME
    while read -r index name; do
        [ "$index" -le 8 ] 2>/dev/null || continue
        printf '%s %s\n' $((index + 1)) "$("$1" "$name" | sed -n '2s/ \*/*/gp')"
    done <"$names" >"$decoded"
    cat >"$expected"
    if ! diff -u "$expected" "$decoded"; then
        fail "decoded signatures differ (- expected, + actual)"
    fi
}

# The DLLs loaded with it: the system DLLs it calls and the C runtime, nothing
# else (ncrypt.dll is bound at run time). Names compare without case.
check_imports() {
    imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' "$table" | tr '[:upper:]' '[:lower:]' | sort -u | tr '\n' ' ')
    wanted="advapi32.dll crypt32.dll kernel32.dll msvcrt.dll user32.dll "
    [ "$imports" = "$wanted" ] || fail "imports '$imports', expected '$wanted'"
}
