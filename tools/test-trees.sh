#!/bin/sh
# test-trees.sh BUILD TREE...: builds each tree and runs its ctest, the next
# tree's build running beside the current tree's tests (which mostly wait on
# JVMs, Wine and timers), then sums up. Each tree's output is printed whole,
# in order; fails when any tree failed to build or pass.
# Each tree gets a ctest of its own: the trees share test names, and a ctest
# that reads several trees applies each tree's properties, environment
# included, to every test of that name.
build=$1
shift
jobs=${JOBS:-2}
logs=$build/test-logs
mkdir -p "$logs"
failed=""

build_tree() {
    if [ "$1" = fuzz ]; then target="--target orv_fuzzers"; else target=""; fi
    start=$(date +%s)
    # Configured (or configured again) from its preset here, so that this also
    # runs beside the previous tree's tests; a warning fails the build.
    # shellcheck disable=SC2086
    if cmake --preset "$1" -B "$build/$1" -DORV_WERROR=ON >"$logs/$1.build" 2>&1 &&
        cmake --build "$build/$1" -j "$jobs" $target >>"$logs/$1.build" 2>&1; then status=ok; else status=FAILED; fi
    echo "$status $(($(date +%s) - start))" >"$logs/$1.built"
}

test_tree() {
    # The fuzz targets' bounded runs are independent and take fixed time, so
    # they run side by side; the other trees' tests share state and run alone.
    if [ "$1" = fuzz ]; then parallel="-j $jobs"; else parallel=""; fi
    start=$(date +%s)
    # shellcheck disable=SC2086
    if (cd "$build/$1" && ctest --output-on-failure --timeout 900 $parallel) >"$logs/$1.test" 2>&1; then status=ok; else status=FAILED; fi
    echo "$status $(($(date +%s) - start))" >"$logs/$1.tested"
}

report() {
    read -r built build_s <"$logs/$1.built"
    echo "=== build $build/$1: $built in ${build_s}s"
    [ "$built" = ok ] || tail -40 "$logs/$1.build"
    if [ -f "$logs/$1.tested" ]; then
        read -r tested test_s <"$logs/$1.tested"
        echo "=== ctest in $build/$1: $tested in ${test_s}s"
        cat "$logs/$1.test"
        [ "$tested" = ok ] || failed="$failed $1"
    else
        failed="$failed $1"
    fi
}

rm -f "$logs"/*.built "$logs"/*.tested
previous=""
for tree in "$@"; do
    build_tree "$tree" &
    builder=$!
    if [ -n "$previous" ]; then
        grep -q '^ok' "$logs/$previous.built" && test_tree "$previous"
    fi
    wait $builder
    [ -n "$previous" ] && report "$previous"
    previous=$tree
done
grep -q '^ok' "$logs/$previous.built" && test_tree "$previous"
report "$previous"

echo "=== summary over the trees: $*"
if [ -n "$failed" ]; then
    echo "FAILED in:$failed"
    exit 1
fi
echo "all tests passed in every tree"
