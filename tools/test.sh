#!/bin/bash
# Runs every test: installs what is missing, builds all configurations, runs
# the unit tests (plain and under AddressSanitizer + UndefinedBehaviorSanitizer)
# and each fuzz target for a few seconds (TOLLVARD_FUZZ_SECONDS, default 10),
# checks the Windows programs, builds the release a second time in another
# folder and compares the two byte for byte, and runs the end-to-end tests
# under Wine three times: win64, win32 (32-bit prefix) and wow64 (32-bit
# programs, 64-bit prefix); then the cases whose texts and names are Korean
# once more under a locale whose ANSI code page is not Korean (e2e-en_US).
# Ends with a summary; exits non-zero when anything failed.
set -u
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
log="$root/build/test-logs"
mkdir -p "$log"
rm -f "$log"/*.log  # the summary reads only this run's logs

passed=0
failed=0
stages=()

stage_status=0
stage() {  # stage NAME COMMAND...: runs one stage, keeps its output (and the exit code in stage_status)
    local name="$1"; shift
    echo "=== $name"
    local start=$SECONDS
    "$@" > "$log/$name.log" 2>&1
    stage_status=$?
    if [ $stage_status -eq 0 ]; then
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
if stage layers tools/check-layers.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); fi

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

# The fuzz targets, built from the build's own source lists, a few seconds
# each: enough to show that they build and run.
if stage fuzz tools/fuzz.sh "${TOLLVARD_FUZZ_SECONDS:-10}"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi

# The release once here and once more from a copy of the tree at another path
# (build/repro/Tollvard), built from scratch with the same commit time: a user
# can check a zip against the source it names only when every byte of it, and
# of both programs, is the same wherever and whenever it was built.
release_elsewhere() (
    . tools/source-date-epoch.sh  # one time for both; the copy has no git
    copy="$root/build/repro/Tollvard"
    rm -rf "$root/build/repro" && mkdir -p "$copy" || exit 1
    tar -C "$root" --exclude=./build --exclude=./dist --exclude=./.git --exclude=./.wine-test -cf - . |
        tar -C "$copy" -xf - || exit 1
    echo "--- release in $root"
    tools/release.sh || exit 1
    echo "--- release in $copy"
    "$copy/tools/release.sh" || exit 1
    (cd dist && sha256sum -c Tollvard-1.3-win32.zip.sha256) || exit 1
    differ=0
    for file in Tollvard-1.3-win32.zip win32/Kestane.exe win32/Velmora.exe; do
        if ! cmp -s "dist/$file" "$copy/dist/$file"; then
            echo "dist/$file differs between the two builds: $(cmp -l "dist/$file" "$copy/dist/$file" 2>/dev/null | wc -l) bytes at different values, sizes $(stat -c %s "dist/$file") and $(stat -c %s "$copy/dist/$file") (cmp -l dist/$file $copy/dist/$file)"
            differ=1
        fi
    done
    [ $differ -eq 0 ] || exit 1
    rm -rf "$root/build/repro"
    echo "the same in both builds: dist/Tollvard-1.3-win32.zip, dist/win32/Kestane.exe, dist/win32/Velmora.exe"
    cat dist/Tollvard-1.3-win32.zip.sha256
)

built_win32=0
built_win64=0
if stage build-win32 tools/build.sh win32; then
    built_win32=1
    if stage binaries-win32 tools/check-binaries.sh win32; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
    if stage repro-win32 release_elsewhere; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
else
    failed=$((failed + 1))
fi

if stage build-win64 tools/build.sh win64; then
    built_win64=1
    if stage binaries-win64 tools/check-binaries.sh win64; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
else
    failed=$((failed + 1))
fi

# The end-to-end runs, each with its own counts (see tools/test-e2e.sh):
# win64, then the 32-bit release on 32-bit Windows (win32) and on 64-bit
# Windows (wow64). Where they cannot run (the machine runs no 32-bit code, or
# wine32 could not be installed) the two 32-bit runs are skipped with the
# reason, which counts neither as passed nor as failed.
e2e_counts=()
e2e_run() {  # e2e_run RUN NEEDED_BUILD...
    e2e_stage "e2e-$1" "${*:2}" --run "$1"
}
e2e_stage() {  # e2e_stage NAME "NEEDED_BUILD..." ARGUMENTS OF test-e2e.sh...
    local name="$1" builds="$2" build
    shift 2
    for build in $builds; do
        if [ "$build" != 1 ]; then
            stages+=("FAILED  $name: not run, a build it needs failed")
            e2e_counts+=("$name: not run")
            return
        fi
    done
    stage "$name" tools/test-e2e.sh "$@"
    local status=$stage_status
    if [ $status -eq 77 ]; then
        unset 'stages[${#stages[@]}-1]'
        local reason
        reason=$(tail -n 1 "$log/$name.log")
        stages+=("skipped $name: ${reason#skipped: }")
        e2e_counts+=("$name: $reason")
        return
    fi
    local line
    line=$(grep -a -E '^[0-9]+ passed, [0-9]+ failed' "$log/$name.log" | tail -1)
    count_plain "$name"
    if [ $status -ne 0 ] && ! echo "$line" | grep -qE '^[0-9]+ passed, [1-9][0-9]* failed'; then
        failed=$((failed + 1))  # the driver did not get to its summary
        line="${line:+$line; }the driver did not finish (exit code $status)"
    fi
    e2e_counts+=("$name: ${line:-no result}")
}
e2e_run win64 $built_win64
e2e_run win32 $built_win32
e2e_run wow64 $built_win32 $built_win64
# Start-up labels and caption, the message after a sweep, Korean shortcut
# names deleted, the uninstaller in a Korean folder started, and the notices
# of a press that finds no desktop user: under en_US (code page 1252), where
# only Kestane's UTF-8 code page carries Korean.
e2e_stage e2e-en_US "$built_win64" --run win64 --locale en_US.UTF-8 \
    startup_clean_machine sweep_shortcuts_removed sweep_programs_started_hidden \
    sweeps_without_a_desktop_user_leave_its_folders_alone

echo
echo "=== summary"
# What the set-up warned of (indexes that did not arrive, wine32) and which
# Wine loaders start.
grep -a -h '^install-deps: ' "$log/deps.log" 2>/dev/null | cut -c 1-400
printf '%s\n' "${stages[@]}"
grep -a -h -E '^fuzz_[a-z_]+: ' "$log/fuzz.log" 2>/dev/null
printf '%s\n' "${e2e_counts[@]}"
for arch in win32 win64; do grep -a -h 'bytes, imports' "$log/binaries-$arch.log" 2>/dev/null; done
# What failed, close to the end where a shortened output still shows it: the
# failed unit tests, and the first failed checks of each end-to-end case.
for name in unit unit-sanitize e2e-win64 e2e-win32 e2e-wow64 e2e-en_US; do
    [ -f "$log/$name.log" ] || continue
    awk -v run="$name" '
        /^--- [^ :]+$/ { current = $2 }
        /^\[  FAILED  \] [A-Za-z_][^ ]*$/ && n++ < 10 { print run ": " $0 }
        /: Test failed: / && n++ < 10 { sub(/^[ \t]+/, ""); print run ": " current ": " $0 }
        /^    [^ ]+ aborted$/ && n < 10 { print run ": " $1 " aborted" }' "$log/$name.log"
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
