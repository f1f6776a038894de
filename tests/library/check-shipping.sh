#!/bin/sh
# check-shipping.sh VERSION BINARY OBJDUMP [HARDENING_CHECK]
# The shipping binary of a tree as a vendor's installer takes it: its version,
# no debug sections but a link to its debug file beside it, and its hardening.
# A .so also may need only the C and C++ runtimes. Exports and imports of the
# DLLs are checked by check-dll-exports.sh and check-dll64-exports.sh.
version=$1 binary=$2 objdump=$3 hardening=$4
status=0
fail() { echo "FAIL: $*"; status=1; }
headers=$(mktemp) sections=$(mktemp)
trap 'rm -f "$headers" "$sections"' EXIT
"$objdump" -p "$binary" >"$headers" && "$objdump" -h "$binary" >"$sections" || { echo "FAIL: $objdump $binary"; exit 1; }

if grep -E '\.(z?debug_|stab)' "$sections"; then fail "debug sections left in $binary"; fi
debug=$binary.debug
# The section's text column: the file name, then padding and the CRC.
link=$("$objdump" -s -j .gnu_debuglink "$binary" | sed -n 's/^ [0-9a-f]\{4,\} .\{35\}  //p' | tr -d '\n')
case $link in "${debug##*/}"*) ;; *) fail "debug link '$link', expected '${debug##*/}'" ;; esac
"$objdump" -h "$debug" | grep -q '\.debug_info' || fail "$debug holds no .debug_info"

case $binary in
*.dll)
    grep -q '^Time/Date[[:space:]]*Thu Jan  1 00:00:00 1970' "$headers" || fail "link time stamped: $(grep '^Time/Date' "$headers")"
    wanted="DYNAMIC_BASE NX_COMPAT"
    grep -q 'file format pei-x86-64' "$headers" && wanted="HIGH_ENTROPY_VA $wanted"
    for flag in $wanted; do
        sed -n '/^DllCharacteristics/,/^[A-Z]/p' "$headers" | grep -qw "$flag" || fail "DllCharacteristics lacks $flag"
    done
    # The version resource as Explorer shows it, decompiled by windres.
    rc=$(${objdump%objdump}windres -i "$binary" -O rc) || fail "no resources readable in $binary"
    width=32-bit
    grep -q 'file format pei-x86-64' "$headers" && width=64-bit
    major=${version%%.*} rest=${version#*.}
    for line in "FILEVERSION $major, ${rest%%.*}, ${rest#*.}, 0" "VALUE \"FileVersion\", \"$version\"" \
        "VALUE \"ProductVersion\", \"$version\"" 'VALUE "ProductName", "ORVNative"' \
        "VALUE \"FileDescription\", \"ORVNative JNI bridge ($width)\"" \
        'VALUE "OriginalFilename", "ORVNative.dll"' 'VALUE "InternalName", "ORVNative"'; do
        printf '%s\n' "$rc" | grep -qF "$line" || fail "version resource lacks: $line"
    done
    ;;
*)
    strings "$binary" | grep -qx "ORVNative $version" || fail "no 'ORVNative $version' string"
    for needed in $(sed -n 's/^ *NEEDED *//p' "$headers"); do
        case $needed in
        libc.so.6 | libm.so.6 | libstdc++.so.6 | libgcc_s.so.1 | ld-linux-x86-64.so.2) ;;
        *) fail "needs $needed beyond the C and C++ runtimes" ;;
        esac
    done
    # Debian 12's crti.o and crtn.o carry no CET property, so no shared object
    # linked there has the note hardening-check looks for; our code's landing
    # pads are looked for instead.
    "$hardening" --nocfprotection "$binary" || fail "hardening-check"
    [ "$("$objdump" -d "$binary" | grep -c 'endbr64')" -gt 100 ] || fail "no CET landing pads (-fcf-protection)"
    ;;
esac
[ $status -eq 0 ] && echo "PASS: $binary ships as $version, stripped and hardened"
exit $status
