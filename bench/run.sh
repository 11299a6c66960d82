#!/bin/bash
# Runs one measurement program under Wine, in a Wine prefix of its own.
#   bench/run.sh startup_bench|guard_cost|guard_soak [ARGS...]
# Builds win64 (incrementally), starts the prefix build/wine-bench (BENCH_WINE_BASE
# overrides it) on a virtual display of its own, runs the program inside a
# Wine desktop from the folder of the programs, and stops the environment
# again, whatever happened. Exit code: the program's (0 when the measurement
# ran through, whether or not its goals were met; 1 when the harness failed
# it), 2 when the build or the environment failed, 124 when it ran out of
# time (BENCH_TIMEOUT seconds, default 1800).
#   BENCH_NO_BUILD=1   use the programs already built
set -u
root="$(cd "$(dirname "$0")/.." && pwd)"
program="${1:?usage: bench/run.sh startup_bench|guard_cost|guard_soak [ARGS...]}"
shift
dist="$root/dist/win64"
bench="$root/build/win64/bench"

for tool in /usr/lib/wine/wine64 Xvfb localedef iconv flock; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "bench: $tool is missing (Wine 64-bit, Xvfb and the C library's locale tools are needed)" >&2
        exit 2
    fi
done

mkdir -p "$root/build"
if [ "${BENCH_NO_BUILD:-0}" != 1 ]; then
    echo "bench: building win64 (log: build/bench-build.log)"
    if ! "$root/tools/build.sh" win64 >"$root/build/bench-build.log" 2>&1; then
        tail -n 40 "$root/build/bench-build.log" >&2
        echo "bench: the win64 build failed" >&2
        exit 2
    fi
fi
for file in "$dist/Kestane.exe" "$dist/Velmora.exe" "$bench/$program.exe" "$bench/bare_dialog.exe" \
            "$bench/floor_dialog.exe" "$bench/sleeper.exe" "$bench/fake_service.exe"; do
    if [ ! -f "$file" ]; then
        echo "bench: $file was not built" >&2
        exit 2
    fi
done

export WINE_BASE="${BENCH_WINE_BASE:-$root/build/wine-bench}"
. "$root/tools/wine-env.sh"
wine_env_lock bench 3600 || exit 2
trap wine_env_stop EXIT
trap 'exit 130' INT TERM
if ! wine_env_start; then
    echo "bench: the Wine environment did not start" >&2
    exit 2
fi

windows_path() { echo "Z:$1" | tr / '\\'; }
status_file="$WINE_BASE/bench-status"
rm -f "$status_file"
cd "$dist"
# Inside a Wine desktop no X window manager is expected (without one, every
# window that closes costs two seconds), and the screen is the same everywhere.
timeout --kill-after=10 "${BENCH_TIMEOUT:-1800}" "$WINE64" explorer /desktop=TollvardBench,1600x1000 \
    "$(windows_path "$bench/$program.exe")" --bin "$(windows_path "$dist")" \
    --status-file "$(windows_path "$status_file")" "$@" </dev/null
started=$?
if [ "$started" -eq 124 ] || [ "$started" -eq 137 ]; then
    echo "bench: $program ran out of time (${BENCH_TIMEOUT:-1800} s)" >&2
    exit 124
fi
if [ ! -s "$status_file" ]; then
    echo "bench: $program ended without a result (exit code of its starter: $started)" >&2
    exit 1
fi
read -r status < "$status_file"
exit "${status:-1}"
