#!/bin/sh
# callgrind.sh BUILD_DIR [COUNT]: instructions the bridge adds to one cheap
# native, against the fault-injecting mock module: callgrind's inclusive count
# of each native's entry function, less that of the direct program making the
# same PKCS#11 calls, per call. Repeatable on a noisy machine.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
count=${2:-2000}
mock=$build/tests/p11mock/liborvp11mock.so
# Another build's library and Java classes may stand in, as in run-bench.sh.
library=$(cd "${ORV_BENCH_LIBRARY_DIR:-$build}" && pwd)
command -v valgrind >/dev/null || { echo "callgrind: valgrind is not installed" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/orv-callgrind.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Inclusive instructions of the functions whose names match, from one profile.
inclusive() {
    callgrind_annotate --inclusive=yes --threshold=100 "$1" 2>/dev/null \
        | grep -F "$2" | head -1 | awk '{ gsub(",", "", $1); print $1 }'
}

valgrind --tool=callgrind --callgrind-out-file="$work/bridge.out" \
    --toggle-collect='*slotQuery<&PKCS11Bridge::PKCS11Slot::getSessionOpened>*' \
    --toggle-collect='(anonymous namespace)::PKCS11Slot_generateRandom(*' \
    --toggle-collect='(anonymous namespace)::PKCS11Slot_digestInit(*' \
    --toggle-collect='(anonymous namespace)::PKCS11Slot_digestUpdate(*' \
    --toggle-collect='(anonymous namespace)::PKCS11Slot_digestFinal(*' \
    --toggle-collect='PKCS11Bridge::PKCS11Slot_getTokenInfo(*' \
    java -Xint -Djava.library.path="$library" -cp "$library/java/orvnative.jar:$build/bench/orvbench.jar" \
    orvane.bench.CallLoop "$mock" "$count" 2>"$work/bridge.log" || { cat "$work/bridge.log"; exit 1; }

# The direct program reads its benchmark inputs at start; the mock needs only
# the 1 KiB to digest (zeros, as CallLoop digests).
for f in cert.der data-1m.bin data-1k.sha256.sig secret.enc; do
    printf 'x' >"$work/$f"
done
head -c 1024 /dev/zero >"$work/data-1k.bin"
printf 'run P11Mock_Token_A %s %s 0\n' session "$count" random-1 "$count" digest-1k "$count" token-info "$count" \
    | ORV_BENCH_PIN=1234 valgrind --tool=callgrind --callgrind-out-file="$work/direct.out" \
        --toggle-collect='Bench::DirectToken::sessionOpened*' \
        --toggle-collect='Bench::DirectToken::generateRandom*' \
        --toggle-collect='Bench::DirectToken::digest*' \
        --toggle-collect='Bench::DirectToken::tokenInfo*' \
        "$build/bench/orvbench-direct" --module "$mock" --work "$work" >"$work/direct.log" 2>&1 \
    || { cat "$work/direct.log"; exit 1; }
grep -q '^error' "$work/direct.log" && { cat "$work/direct.log"; exit 1; }

# A figure may sum several functions: "a|b|c".
sum() {
    total=0
    rest=$2
    while [ -n "$rest" ]; do
        name=${rest%%|*}
        case $rest in *'|'*) rest=${rest#*|} ;; *) rest= ;; esac
        n=$(inclusive "$1" "$name")
        [ -n "$n" ] || return 0
        total=$((total + n))
    done
    echo "$total"
}

report() {
    bridge=$(sum "$work/bridge.out" "$2")
    direct=$(sum "$work/direct.out" "$3")
    [ -n "$bridge" ] && [ -n "$direct" ] || { echo "callgrind: no figure for $1" >&2; exit 1; }
    awk -v name="$1" -v b="$bridge" -v d="$direct" -v n="$count" 'BEGIN {
        printf "%-20s bridge %8.0f  direct %8.0f  added by the bridge %8.0f instructions per call\n",
               name, b / n, d / n, (b - d) / n }'
}
echo "Instructions per call over $count calls against the mock module:"
report "getSessionOpened" "slotQuery<&PKCS11Bridge::PKCS11Slot::getSessionOpened>" "Bench::DirectToken::sessionOpened"
report "generateRandom(1)" "(anonymous namespace)::PKCS11Slot_generateRandom(" "Bench::DirectToken::generateRandom"
report "digest SHA-1 1 KiB" "(anonymous namespace)::PKCS11Slot_digestInit(|(anonymous namespace)::PKCS11Slot_digestUpdate(|(anonymous namespace)::PKCS11Slot_digestFinal(" \
    "Bench::DirectToken::digest("
report "getTokenInfo" "PKCS11Bridge::PKCS11Slot_getTokenInfo(" "Bench::DirectToken::tokenInfo("
