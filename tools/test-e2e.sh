#!/bin/bash
# Runs the Wine end-to-end cases against the real win64 programs.
#   tools/test-e2e.sh [PATTERN...]     (patterns select cases by name, see tests/e2e/harness.h)
# Builds win64 when something is missing, starts the private Wine prefix on a
# virtual display of its own, runs the driver from the folder of the programs
# and exits with the driver's exit code. E2E_TIMEOUT (seconds, default 600)
# bounds the driver run; E2E_NO_BUILD=1 runs the programs already built.
set -u
root="$(cd "$(dirname "$0")/.." && pwd)"
dist="$root/dist/win64"
e2e="$root/build/win64/e2e"

for tool in /usr/lib/wine/wine64 Xvfb localedef iconv; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "test-e2e: $tool is missing (Wine 64-bit, Xvfb and the C library's locale tools are needed)" >&2
        exit 2
    fi
done

# The build is incremental: it only does work when a source changed.
if [ "${E2E_NO_BUILD:-0}" != 1 ] && ! "$root/tools/build.sh" win64 >"$root/build/test-e2e-build.log" 2>&1; then
    cat "$root/build/test-e2e-build.log" >&2
    echo "test-e2e: the win64 build failed" >&2
    exit 2
fi
for program in "$dist/Kestane.exe" "$e2e/e2e_driver.exe" "$e2e/fake_service.exe" "$e2e/sleeper.exe" \
               "$e2e/recorder.exe"; do
    if [ ! -f "$program" ]; then
        echo "test-e2e: $program was not built" >&2
        exit 2
    fi
done

. "$root/tools/wine-env.sh"
cleanup() { wine_env_stop; }
trap cleanup EXIT
trap 'exit 130' INT TERM
if ! wine_env_start; then
    echo "test-e2e: the Wine environment did not start" >&2
    exit 2
fi

cd "$dist"
timeout --kill-after=10 "${E2E_TIMEOUT:-600}" "$WINE64" "$e2e/e2e_driver.exe" "$@" </dev/null
status=$?
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo "test-e2e: the driver ran out of time (${E2E_TIMEOUT:-600} s)" >&2
fi
exit "$status"
