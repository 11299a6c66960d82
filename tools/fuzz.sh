#!/bin/bash
# Builds the fuzz targets with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer (clang), and runs each for a bounded time.
#   tools/fuzz.sh [seconds per target, default 60]
set -e
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
out="$root/build/fuzz"
mkdir -p "$out"
flags="-std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I$root/src -I$root/tests"
sim="$root/tests/sim/sim_machine.cpp $root/tests/sim/sim_service_manager.cpp $root/tests/sim/sim_process_shell.cpp \
     $root/tests/sim/sim_windows.cpp $root/tests/sim/sim_templates.cpp"
clang++ $flags -o "$out/fuzz_image_name" "$root/tests/fuzz/fuzz_image_name.cpp" "$root/src/shared/catalogue.cpp"
clang++ $flags -DTOLLVARD_SOURCE_DIR="\"$root\"" -o "$out/fuzz_paths" "$root/tests/fuzz/fuzz_paths.cpp" \
    "$root/src/main/paths.cpp" "$root/src/main/main_state.cpp" "$root/src/main/code_page.cpp" $sim
for target in fuzz_image_name fuzz_paths; do
    mkdir -p "$out/$target.corpus"
    echo "=== $target, $seconds s"
    set +e
    (cd "$out" && "./$target" -max_total_time="$seconds" -max_len=600 -print_final_stats=1 "$target.corpus") \
        > "$out/$target.log" 2>&1
    status=$?
    set -e
    grep -E 'stat::number_of_executed_units|ERROR|SUMMARY|Done' "$out/$target.log" || true
    if [ $status -ne 0 ]; then
        echo "$target found a fault (exit $status); reproducer and log in $out"
        exit 1
    fi
done
echo "fuzzing finished without a crash"
