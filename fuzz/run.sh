#!/bin/sh
# Runs every fuzz target for DURATION seconds (default 30) on its corpus and
# prints the executions each made. Builds first, in build-fuzz (clang-14).
#
#   fuzz/run.sh [DURATION]          e.g. fuzz/run.sh 600 for the long run
#   fuzz/run.sh --seeds             writes fuzz/corpus/fuzz_records and fuzz_datablock anew
#
# Inputs a target finds that crash are kept in build-fuzz/fuzz/findings/;
# each becomes a regression test. New interesting inputs go to
# build-fuzz/fuzz/work/<target>, never into the committed corpus.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build="$root/build-fuzz"
targets="fuzz_records fuzz_datablock fuzz_mox fuzz_goalmap fuzz_netlistdesign"

if [ ! -f "$build/build.ninja" ]; then
    CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -G Ninja \
        -DHELMDECK_FUZZ=ON -DHELMDECK_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target fuzzers make_seeds >/dev/null

if [ "${1:-}" = "--seeds" ]; then
    "$build/fuzz/make_seeds" "$root/examples/messages" "$here/corpus"
    exit 0
fi
duration=${1:-30}
status=0
mkdir -p "$build/fuzz/findings"
for t in $targets; do
    work="$build/fuzz/work/$t"
    mkdir -p "$work"
    log="$build/fuzz/$t.log"
    if ASAN_OPTIONS=detect_leaks=1 "$build/fuzz/$t" -max_total_time="$duration" -max_len=65536 -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/fuzz/findings/$t-" \
        "$work" "$here/corpus/$t" >"$log" 2>&1; then
        result=ok
    else
        result="FAILED (see $log)"
        status=1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    echo "$t: ${runs:-?} executions in ${duration} s: $result"
done
exit $status
