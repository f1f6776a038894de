#!/bin/sh
# reproduce.sh [WORK]: builds `make dist` from two clean clones of HEAD at
# different paths, one after the other, and compares the results byte for
# byte. diffoscope shows where they part when they do.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$(mktemp -d "${TMPDIR:-/tmp}/orv-reproduce.XXXXXX")}
commit=$(git -C "$top" rev-parse HEAD)
for side in first second/deeper; do
    rm -rf "$work/$side"
    git clone -q "$top" "$work/$side"
    git -C "$work/$side" checkout -q "$commit"
    (cd "$work/$side" && make -s dist JOBS="${JOBS:-2}" >"$work/${side%%/*}.log" 2>&1) ||
        { tail -40 "$work/${side%%/*}.log"; exit 1; }
done
if cmp -s "$work/first/dist/SHA256SUMS" "$work/second/deeper/dist/SHA256SUMS" &&
    diff -r "$work/first/dist" "$work/second/deeper/dist" >/dev/null; then
    echo "reproducible: $(wc -l <"$work/first/dist/SHA256SUMS") files of $commit identical in $work/first and $work/second/deeper"
    exit 0
fi
diff "$work/first/dist/SHA256SUMS" "$work/second/deeper/dist/SHA256SUMS" || true
diffoscope "$work/first/dist" "$work/second/deeper/dist" || true
exit 1
