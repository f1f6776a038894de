#!/bin/sh
# ctest-trees.sh BUILD TREE...: runs ctest in each build tree in turn and ends
# with one summary over all of them; fails when any tree failed.
# Each tree gets a ctest of its own: the trees share test names (jnihost_linux
# in the Linux and sanitizer trees), and a ctest that reads several trees
# applies each tree's properties, environment included, to every test of that
# name, so one tree's test would run with another tree's paths.
build=$1
shift
failed=""
for tree in "$@"; do
    echo "=== ctest in $build/$tree"
    if ! (cd "$build/$tree" && ctest --output-on-failure --timeout 900); then
        failed="$failed $tree"
    fi
done
echo "=== summary over the trees: $*"
if [ -n "$failed" ]; then
    echo "FAILED in:$failed"
    exit 1
fi
echo "all tests passed in every tree"
