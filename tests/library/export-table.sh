# export-table.sh: sourced by check-dll-exports.sh and check-dll64-exports.sh.
# The parts of a Windows DLL's export table both builds must show alike. The
# caller sets $table (objdump -p output, read by read_export_table), $exports
# (read by read_table_exports), $names, $decoded and $expected (temporary
# files) and defines fail().

read_export_table() { # OBJDUMP DLL
    "$1" -p "$2" | uniq >"$table" || { echo "FAIL: $1 -p $2"; exit 1; }
}

# What the class tables export in this build, one "decorated<TAB>entry<TAB>
# undecorated" line per export in name-table order, as orv_native_table
# prints it under the tree's emulator; $count: those and the load hook.
read_table_exports() { # EMULATOR TABLE_PROGRAM x86|x64
    "$1" "$2" exports "$3" | tr -d '\r' >"$exports" || { echo "FAIL: $2 exports $3"; exit 1; }
    [ -s "$exports" ] || { echo "FAIL: the tables export nothing"; exit 1; }
    count=$(($(wc -l <"$exports") + 1))
}

# Module name ORVNative.dll and ordinal base 1.
check_module_and_base() {
    module=$(sed -n 's/^Name[[:space:]]\{1,\}[0-9a-fA-F]\{1,\}[[:space:]]\{1,\}//p' "$table" | head -n 1)
    [ "$module" = "ORVNative.dll" ] || fail "module name '$module', expected 'ORVNative.dll'"
    base=$(sed -n 's/^Ordinal Base[[:space:]]\{1,\}//p' "$table" | head -n 1)
    [ "$base" = "1" ] || fail "ordinal base '$base', expected 1"
}

# The "n name" rows of the name table (n is the ordinal minus 1) against the
# table's names followed by the load hook's; then $count entries in both tables.
check_named_exports() { # ONLOAD_NAME
    sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' "$table" |
        sed -n 's/^[[:space:]]*\[[[:space:]]*\([0-9]\{1,\}\)\][[:space:]]\{1,\}\(.*\)$/\1 \2/p' >"$names"
    { awk -F '\t' '{ print NR - 1, $1 }' "$exports"; echo "$((count - 1)) $1"; } >"$expected"
    if ! diff -u "$expected" "$names"; then
        fail "named exports differ (- expected, + actual)"
    fi
    wanted=$(printf '%08x' "$count")
    for part in "Export Address Table" "\[Name Pointer/Ordinal\] Table"; do
        n=$(sed -n "s|^[[:space:]]*$part[[:space:]]\{1,\}\([0-9a-fA-F]\{1,\}\)\$|\1|p" "$table" | head -n 1)
        [ "$n" = "$wanted" ] || fail "$part holds '$n' entries, expected $wanted"
    done
}

# The decorated names decoded, against their entry functions' types as the
# table printer writes them; pointer spacing differs between undname versions.
check_decoded_signatures() { # UNDNAME
    while read -r index name; do
        [ "$index" -lt $((count - 1)) ] 2>/dev/null || continue
        printf '%s %s\n' $((index + 1)) "$("$1" "$name" | sed -n '2s/ \*/*/gp')"
    done <"$names" >"$decoded"
    awk -F '\t' '{ print NR, $3 }' "$exports" >"$expected"
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
