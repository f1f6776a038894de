#!/bin/sh
# run-bench.sh BUILD_DIR [--smoke | --memory | --table | --contention]: the
# benchmark of `make bench` on throwaway SoftHSM2 tokens; prints the table,
# writes BUILD_DIR/bench/bench-results.json, then the contention table
# (bench-contention.json), then runs the memory check.
# --smoke: one short round of each over small tokens and a short memory check,
# so the harness cannot rot. --memory, --table, --contention: that part alone.
# ORV_BENCH_ONLY=sign-sha1,digest-1k times only those operations.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
mode=${2:-full}
module=${ORV_BENCH_MODULE:-$(sh "$repo/tools/material.sh" softhsm-path)}
# Another build's library and Java classes may stand in for this tree's, to
# compare two versions of the bridge with the same harness.
library=$(cd "${ORV_BENCH_LIBRARY_DIR:-$build}" && pwd)
for f in "$library/libORVNative.so" "$library/java/orvnative.jar" "$build/bench/orvbench.jar" \
         "$build/bench/orvbench-direct" "$module"; do
    [ -f "$f" ] || { echo "bench: $f is missing; build first" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/orv-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
ORV_BENCH_PIN=$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')
export ORV_BENCH_PIN
export SOFTHSM2_CONF="$work/softhsm2.conf"

contention="--warmup-ms 300 --budget-ms ${ORV_BENCH_BUDGET_MS:-1000} --slices 10 ${ORV_BENCH_ONLY:+--only $ORV_BENCH_ONLY}"
contention_out="$build/bench/bench-contention.json"
if [ "$mode" = --smoke ]; then
    sizes="1 10" lists=1,10 timing="--rounds 1 --warmup-ms 20 --budget-ms 40"
    out="$build/bench/bench-smoke.json"
    contention="--warmup-ms 20 --budget-ms 40 --slices 1" contention_out="$build/bench/bench-contention-smoke.json"
    memory="--calls 20000 --signatures 200 --seconds 20"
elif [ "$mode" = --memory ] || [ "$mode" = --contention ]; then
    sizes=1
    memory="--calls 1000000 --signatures 10000 --seconds 120"
else # full, or --table: the timed table alone
    sizes="1 10 100" lists=1,10,100
    timing="--rounds ${ORV_BENCH_ROUNDS:-9} --warmup-ms 300 --budget-ms ${ORV_BENCH_BUDGET_MS:-1000} --slices ${ORV_BENCH_SLICES:-25} ${ORV_BENCH_ONLY:+--only $ORV_BENCH_ONLY}"
    out="$build/bench/bench-results.json"
    memory="--calls 1000000 --signatures 10000 --seconds 120"
fi
echo "Setting up SoftHSM2 tokens (RSA-2048 key and certificate; tokens of $sizes certificates)..."
sh "$repo/bench/setup-tokens.sh" "$work" "$sizes" 8
# A byte-for-byte copy is the only way to a second SoftHSM2 instance in one
# process: the JDK's provider gets its own.
cp "$module" "$work/softhsm-copy.so"

classpath="$library/java/orvnative.jar:$build/bench/orvbench.jar"
# Every path on one CPU (the direct program inherits it): on a shared host the
# CPUs' speeds drift apart, and a path should not gain by where it ran.
affinity=
if command -v taskset >/dev/null 2>&1; then
    affinity="taskset -c ${ORV_BENCH_CPU:-$(($(nproc) - 1))}"
fi
case $mode in --memory | --contention) ;; *)
    $affinity java -Djava.library.path="$library" -cp "$classpath" orvane.bench.BenchMain \
         --module "$module" --module-copy "$work/softhsm-copy.so" --direct "$build/bench/orvbench-direct" \
         --work "$work" --pin-env ORV_BENCH_PIN --out "$out" --lists "$lists" $timing
esac
[ "$mode" = --table ] && exit 0
if [ "$mode" != --memory ]; then
    echo
    echo "Contention: threads calling without pause, on one module or on a module instance each:"
    # Not pinned: threads that share one CPU never contend the way a pool on
    # several does.
    java -Djava.library.path="$library" -cp "$classpath" orvane.bench.ContentionRun \
         --module "$module" --module-copy "$work/softhsm-copy.so" --direct "$build/bench/orvbench-direct" \
         --work "$work" --pin-env ORV_BENCH_PIN --out "$contention_out" $contention
fi
[ "$mode" = --contention ] && exit 0
echo
echo "Memory: resident set and JNI global references after a warm-up tenth, half-way and at the end:"
java -Xms64m -Xmx64m -XX:+AlwaysPreTouch -Djava.library.path="$library" -cp "$classpath" orvane.bench.MemoryRun \
     --module "$module" --work "$work" --pin-env ORV_BENCH_PIN \
     --refs-library "$build/bench/liborvbenchrefs.so" $memory
