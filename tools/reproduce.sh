#!/bin/sh
# reproduce.sh [WORK]: `make dist`, both DLLs signed with one throwaway key,
# first in a clean clone of HEAD, then in the source archive that dist holds,
# unpacked at another, deeper path without .git; compares the two dist
# directories byte for byte. diffoscope shows where they part when they do.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$(mktemp -d "${TMPDIR:-/tmp}/orv-reproduce.XXXXXX")}
commit=$(git -C "$top" rev-parse HEAD)
version=$(git -C "$top" show "$commit:VERSION")
rm -rf "$work/key" "$work/first" "$work/second"
sh "$top/tools/material.sh" codesign "$work/key" release >/dev/null
SIGN_CERT=$work/key/release-chain.pem SIGN_KEY=$work/key/release.key
export SIGN_CERT SIGN_KEY
dist() { # DIR LOG [MAKE ARGUMENT]
    (cd "$1" && make -s dist JOBS="${JOBS:-2}" ${3:+"$3"} >"$2" 2>&1) || { tail -40 "$2"; exit 1; }
}

git clone -q "$top" "$work/first"
git -C "$work/first" checkout -q "$commit"
dist "$work/first" "$work/first.log"
first=$work/first/dist
archive=$first/orvnative-$version-src.tar.gz
mkdir -p "$work/second/deeper"
tar xzf "$archive" -C "$work/second/deeper"
second=$work/second/deeper/orvnative-$version
dist "$second" "$work/second.log" SOURCE_ARCHIVE="$archive"
second=$second/dist

if cmp -s "$first/SHA256SUMS" "$second/SHA256SUMS" && diff -r "$first" "$second" >/dev/null; then
    echo "reproducible: $(wc -l <"$first/SHA256SUMS") files of $commit, DLLs signed, identical in $first" \
        "and $second (built from the source archive)"
    exit 0
fi
diff "$first/SHA256SUMS" "$second/SHA256SUMS" || true
diffoscope "$first" "$second" || true
exit 1
