#!/bin/sh
# Runs one libFuzzer target.
#   run-fuzzer.sh replay FUZZER SEEDS [CRASHES]
#       every input of the two directories once; fails on any crash or abort.
#   run-fuzzer.sh run FUZZER SEEDS WORKDIR SECONDS [RUNS]
#       fuzzes from the seeds for SECONDS (and at most RUNS inputs when given
#       and not 0). New inputs go to WORKDIR/corpus, a crash input to
#       WORKDIR/crash-*; the seed directory in the tree is never written.
set -eu
mode=$1 fuzzer=$2 seeds=$3
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"

case $mode in
replay)
    crashes=${4:-}
    dirs=$seeds
    if [ -n "$crashes" ] && [ -d "$crashes" ]; then dirs="$dirs $crashes"; fi
    # shellcheck disable=SC2086
    files=$(find $dirs -type f ! -name '.*' | sort)
    [ -n "$files" ] || { echo "no inputs under $seeds" >&2; exit 1; }
    # shellcheck disable=SC2086
    exec "$fuzzer" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512 $files
    ;;
run)
    work=$4 seconds=$5 runs=${6:-0}
    mkdir -p "$work/corpus"
    set -- -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512 \
        -print_final_stats=1 -artifact_prefix="$work/"
    [ "$runs" != 0 ] && set -- "$@" -runs="$runs"
    exec "$fuzzer" "$@" "$work/corpus" "$seeds"
    ;;
*)
    echo "usage: $0 replay|run FUZZER SEEDS ..." >&2
    exit 2
    ;;
esac
