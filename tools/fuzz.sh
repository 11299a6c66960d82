#!/bin/bash
# Builds the fuzz targets (tools/build.sh fuzz: libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer with clang, from the build's own source
# lists) and runs each for a bounded time.
#   tools/fuzz.sh [seconds per target, default 60]
# Prints one line per target: "TARGET: N inputs in S s, no fault".
set -e
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
"$root/tools/build.sh" fuzz
out="$root/build/fuzz"
for source in "$root"/tests/fuzz/*.cpp; do
    target="$(basename "$source" .cpp)"
    mkdir -p "$out/$target.corpus"
    echo "=== $target, $seconds s"
    set +e
    (cd "$out" && "./$target" -max_total_time="$seconds" -max_len=600 -print_final_stats=1 "$target.corpus") \
        > "$out/$target.log" 2>&1
    status=$?
    set -e
    grep -E 'ERROR|SUMMARY' "$out/$target.log" || true
    if [ $status -ne 0 ]; then
        echo "$target found a fault (exit $status); reproducer and log in $out"
        exit 1
    fi
    inputs="$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$out/$target.log" | grep -oE '[0-9]+$')"
    echo "$target: ${inputs:-?} inputs in $seconds s, no fault"
done
echo "fuzzing finished without a fault"
