#!/bin/sh
# export-files.sh x86|x64|so OUTPUT CXX NM CXXFILT SOURCE_DIR LIBRARY...
# Writes the export file the linker reads, from the class tables: for x86 and
# x64 the .def that exports each table's decorated names in byte order as
# ordinals 1 to n and the load hook last, for so the version script that keeps
# the exported entry functions and the load hook. The name each entry function
# has for the linker is read from the compiled LIBRARY archives with NM and
# matched to the table's entry by its demangled name.
set -eu
mode=$1 output=$2 cxx=$3 nm=$4 cxxfilt=$5 source=$6
shift 6
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# "entry decorated" for each row this build exports, the tables' column for x86
# standing for the .so as in the table printer; OUTPUT.d lists the tables read.
column=3
[ "$mode" = x64 ] && column=4
"$cxx" -E -P -x c++ -I "$source" -MD -MF "$output.d" -MT "$output" -o "$work/expanded" "$source/cmake/export-rows.in"
tr -s ' \t\r\n' '\n\n\n\n' <"$work/expanded" |
    awk -v column="$column" '
        function flush() { if (n >= column) print row[2], row[column]; n = 0 }
        $0 == "ORV_EXPORT" { flush() }
        { gsub(/"/, ""); row[++n] = $0 }
        END { flush() }' >"$work/rows"
[ -s "$work/rows" ] || { echo "export-files.sh: the tables export nothing" >&2; exit 1; }

# "symbol function" for each function the libraries define: the symbol as the
# linker names it (on x86 without the C prefix underscore, with the stdcall
# suffix), the function as c++filt writes it, up to its parameter list.
"$nm" -P --defined-only -g "$@" >"$work/nm"
awk '$2 == "T" { print $1 }' "$work/nm" | sort -u >"$work/symbols"
[ "$mode" = x86 ] && sed -i 's/^_//' "$work/symbols"
sed 's/@[0-9]*$//' "$work/symbols" | "$cxxfilt" | sed 's/(.*$//' >"$work/functions"
paste -d ' ' "$work/symbols" "$work/functions" >"$work/defined"

while read -r entry decorated; do
    awk -v f="$entry" -v d="$decorated" '$2 == f { print d, $1 }' "$work/defined" >"$work/match"
    count=$(wc -l <"$work/match")
    [ "$count" -eq 1 ] || { echo "export-files.sh: $count compiled functions named $entry, expected 1" >&2; exit 1; }
    cat "$work/match"
done <"$work/rows" >"$work/unsorted"
LC_ALL=C sort "$work/unsorted" >"$work/exports"

case $mode in
x86 | x64)
    [ "$mode" = x86 ] && onload='"_JNI_OnLoad@8" = JNI_OnLoad@8' || onload=JNI_OnLoad
    {
        echo 'LIBRARY "ORVNative.dll"'
        echo EXPORTS
        awk '{ printf "    \"%s\" = %s @%d\n", $1, $2, NR }' "$work/exports"
        echo "    $onload @$(($(wc -l <"$work/exports") + 1))"
    } >"$work/out"
    ;;
so)
    {
        printf '{\n    global:\n        JNI_OnLoad;\n'
        awk '{ printf "        %s;\n", $2 }' "$work/exports"
        printf '    local:\n        *;\n};\n'
    } >"$work/out"
    ;;
*) echo "export-files.sh: mode x86, x64 or so" >&2 && exit 2 ;;
esac
mv "$work/out" "$output"
