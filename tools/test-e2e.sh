#!/bin/bash
# Runs the Wine end-to-end cases against the real programs.
#   tools/test-e2e.sh [--run win64|win32|wow64] [--locale LOCALE] [PATTERN...]
#                      (patterns select cases by name, see tests/e2e/harness.h)
# The locale (default ko_KR.UTF-8, ANSI code page 949) is Wine's, and with it
# the driver's ANSI code page, which the driver checks before the first
# case; another one (en_US.UTF-8: 1252) gets a prefix of its own (see
# tools/wine-env.sh). Kestane's manifest gives it the UTF-8 code page under
# every locale.
# The runs (default win64, or E2E_RUN):
#   win64  dist/win64 with 64-bit stand-ins and driver in a 64-bit prefix
#   win32  dist/win32 with 32-bit stand-ins and driver in a 32-bit prefix
#          (build/wine32), like 32-bit Windows
#   wow64  dist/win32 with 32-bit stand-ins in the 64-bit prefix, like 64-bit
#          Windows: Program Files (x86), SysWOW64. The driver stays 64-bit
#          there so that it sees every process.
# Builds what the run needs (incrementally), starts the Wine prefix on a
# virtual display of its own, runs the driver from the folder of the programs
# and exits with the driver's exit code; the environment is stopped in any
# case. Exit code 77: a 32-bit run was skipped because it cannot run here:
# the machine runs no 32-bit code, or wine32 is missing (the reason is the
# last line of output; TOLLVARD_NO_32BIT=1 forces the first).
# The driver runs inside a Wine desktop (explorer /desktop=...): there no X
# window manager is expected, whose absence otherwise costs two seconds each
# time a window closes, and the screen is the same on every machine.
#   E2E_TIMEOUT=seconds   bound on the driver run (default 900)
#   E2E_NO_BUILD=1        run the programs already built
set -u
root="$(cd "$(dirname "$0")/.." && pwd)"
run="${E2E_RUN:-win64}"
locale="${E2E_LOCALE:-ko_KR.UTF-8}"
while :; do
    case "${1:-}" in
        --run) run="${2:-}"; shift 2 || shift ;;
        --locale) locale="${2:-}"; shift 2 || shift ;;
        *) break ;;
    esac
done
case "$locale" in
    ko_KR.*) code_page=949 ;;
    en_US.*) code_page=1252 ;;
    *) echo "test-e2e: unknown locale '$locale' (ko_KR.UTF-8 or en_US.UTF-8)" >&2; exit 2 ;;
esac
case "$run" in
    win64) programs=win64; driver=win64; arch=win64 ;;
    win32) programs=win32; driver=win32; arch=win32 ;;
    wow64) programs=win32; driver=win64; arch=win64 ;;
    *) echo "test-e2e: unknown run '$run' (win64, win32 or wow64)" >&2; exit 2 ;;
esac
dist="$root/dist/$programs"
tools="$root/build/$programs/e2e"
driver_exe="$root/build/$driver/e2e/e2e_driver.exe"

export TOLLVARD_WINEARCH="$arch"
export TOLLVARD_WINE_LOCALE="$locale"
. "$root/tools/wine-env.sh"

if [ "$programs" = win32 ] && ! reason="$(wine_env_runs_32bit)"; then
    echo "skipped: $reason"
    exit 77
fi
for tool in "$WINE_LOADER" Xvfb localedef iconv; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "test-e2e: $tool is missing (Wine, Xvfb and the C library's locale tools are needed)" >&2
        exit 2
    fi
done

# The build is incremental: it only does work when a source changed.
mkdir -p "$root/build"
for config in $(printf '%s\n' "$programs" "$driver" | sort -u); do
    if [ "${E2E_NO_BUILD:-0}" != 1 ] && ! "$root/tools/build.sh" "$config" >"$root/build/test-e2e-build-$config.log" 2>&1; then
        cat "$root/build/test-e2e-build-$config.log" >&2
        echo "test-e2e: the $config build failed" >&2
        exit 2
    fi
done
for program in "$dist/Kestane.exe" "$dist/Velmora.exe" "$driver_exe" "$tools/fake_service.exe" "$tools/sleeper.exe" \
               "$tools/recorder.exe"; do
    if [ ! -f "$program" ]; then
        echo "test-e2e: $program was not built" >&2
        exit 2
    fi
done

wine_env_lock test-e2e "${E2E_LOCK_WAIT:-1800}" || exit 2
cleanup() { wine_env_stop; }
trap cleanup EXIT
trap 'exit 130' INT TERM
if ! wine_env_start; then
    echo "test-e2e: the Wine environment did not start" >&2
    exit 2
fi

windows_path() { echo "Z:$1" | tr / '\\'; }
status_file="$WINE_BASE/e2e-status"
rm -f "$status_file"
echo "run $run: $(basename "$dist") programs, $(basename "$(dirname "$tools")") stand-ins, $driver driver, $WINEARCH prefix, locale $locale"
cd "$dist"
timeout --kill-after=10 "${E2E_TIMEOUT:-900}" "$WINE_LOADER" explorer /desktop=TollvardE2E,1600x1000 \
    "$(windows_path "$driver_exe")" --bin "$(windows_path "$dist")" --tools "$(windows_path "$tools")" \
    --status-file "$(windows_path "$status_file")" --code-page "$code_page" "$@" </dev/null
started=$?
if [ "$started" -eq 124 ] || [ "$started" -eq 137 ]; then
    echo "test-e2e: the driver ran out of time (${E2E_TIMEOUT:-900} s)" >&2
    exit 124
fi
if [ ! -s "$status_file" ]; then
    echo "test-e2e: the driver ended without a result (exit code of its starter: $started)" >&2
    exit 1
fi
read -r status < "$status_file"
exit "${status:-1}"
