#!/bin/bash
# Runs every test: installs what is missing, builds all configurations, runs
# the unit tests (plain and under AddressSanitizer + UndefinedBehaviorSanitizer),
# checks the Windows programs, and runs the end-to-end tests under Wine.
# Ends with a summary; exits non-zero when anything failed.
set -u
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
log="$root/build/test-logs"
mkdir -p "$log"

passed=0
failed=0
stages=()

stage() {  # stage NAME COMMAND...: runs one stage, keeps its output, counts it
    local name="$1"; shift
    echo "=== $name"
    local start=$SECONDS
    if "$@" > "$log/$name.log" 2>&1; then
        stages+=("ok      $name ($((SECONDS - start)) s)")
        tail -n 3 "$log/$name.log"
        return 0
    fi
    stages+=("FAILED  $name ($((SECONDS - start)) s), log: build/test-logs/$name.log")
    tail -n 40 "$log/$name.log"
    return 1
}

# Test counts from the runners' own closing lines. A runner that failed
# without counting a failure (a crash, a sanitizer report) counts as one.
count_gtest() {
    local file="$log/$1.log" status="$2" p f
    p=$(grep -a -E '^\[  PASSED  \] [0-9]+ test' "$file" | tail -1 | grep -oE '[0-9]+' | head -1)
    f=$(grep -a -E '^\[  FAILED  \] [0-9]+ test' "$file" | tail -1 | grep -oE '[0-9]+' | head -1)
    passed=$((passed + ${p:-0})); failed=$((failed + ${f:-0}))
    if [ "$status" -ne 0 ] && [ "${f:-0}" -eq 0 ]; then failed=$((failed + 1)); fi
}
count_plain() {
    local line
    line=$(grep -a -E '^[0-9]+ passed, [0-9]+ failed' "$log/$1.log" | tail -1)
    passed=$((passed + $(echo "$line" | awk '{print $1+0}')))
    failed=$((failed + $(echo "$line" | awk '{print $3+0}')))
}

stage deps tools/install-deps.sh || failed=$((failed + 1))

if stage build-native tools/build.sh native; then
    stage unit ./build/native/unit_tests
    count_gtest unit $?
else
    failed=$((failed + 1))
fi

if stage build-sanitize tools/build.sh native-asan; then
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        stage unit-sanitize ./build/native-asan/unit_tests
    count_gtest unit-sanitize $?
else
    failed=$((failed + 1))
fi

if stage build-win32 tools/build.sh win32; then
    if stage binaries-win32 tools/check-binaries.sh win32; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
else
    failed=$((failed + 1))
fi

if stage build-win64 tools/build.sh win64; then
    if stage binaries-win64 tools/check-binaries.sh win64; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
    stage e2e tools/test-e2e.sh
    e2e_status=$?
    count_plain e2e
    if [ $e2e_status -ne 0 ] && ! grep -a -qE '^[0-9]+ passed, [1-9][0-9]* failed' "$log/e2e.log"; then
        failed=$((failed + 1))  # the driver did not get to its summary
    fi
else
    failed=$((failed + 1))
fi

echo
echo "=== summary"
printf '%s\n' "${stages[@]}"
for arch in win32 win64; do grep -a -h 'bytes, imports' "$log/binaries-$arch.log" 2>/dev/null; done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
