#!/bin/bash
# Takes the README pictures under Wine, on a virtual display of its own:
#   main-window.png  the main window (through tools/run-kestane.sh)
#   deep-scan.png    the deep-scan dialog "Dunmere" listing four grid services
#                    and three resident programs, beside the main window
#   about.png        the About box over the main window
#   tools/screenshots.sh [FOLDER]    (default: docs/)
# Builds win64 first (incrementally). The Wine prefix is a separate one,
# build/wine-shots/ (WINE_BASE overrides it), so a test run in build/wine/
# is never disturbed. tests/e2e/screenshot_stage.cpp sets each scene up,
# reports the region to capture and undoes the scene afterwards.
set -u
root="$(cd "$(dirname "$0")/.." && pwd)"
dist="$root/dist/win64"
e2e="$root/build/win64/e2e"
out="${1:-$root/docs}"
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac
export WINE_BASE="${WINE_BASE:-$root/build/wine-shots}"
desktop_size=1600x1000   # the deep-scan dialog has its fixed place at (1000, 400)

say() { echo "screenshots: $*"; }
fail() { echo "screenshots: $*" >&2; exit 1; }

for tool in /usr/lib/wine/wine64 Xvfb xwd xwininfo localedef iconv flock; do
    command -v "$tool" >/dev/null 2>&1 || { echo "screenshots: $tool is missing; tools/install-deps.sh installs it" >&2; exit 2; }
done
if command -v convert >/dev/null 2>&1; then
    crop() { convert "xwd:$1" -crop "${4}x${5}+${2}+${3}" +repage "png:$6"; }
elif command -v xwdtopnm >/dev/null 2>&1 && command -v pnmtopng >/dev/null 2>&1; then
    crop() { xwdtopnm "$1" 2>/dev/null | pnmcut "$2" "$3" "$4" "$5" | pnmtopng > "$6"; }
else
    echo "screenshots: convert (ImageMagick) or the netpbm tools are missing; tools/install-deps.sh installs them" >&2
    exit 2
fi

mkdir -p "$root/build" "$out" "$WINE_BASE"
build_log="$root/build/screenshots-build.log"
if ! "$root/tools/build.sh" win64 >"$build_log" 2>&1; then
    cat "$build_log" >&2
    echo "screenshots: the win64 build failed" >&2
    exit 2
fi
for program in "$dist/Kestane.exe" "$e2e/screenshot_stage.exe" "$e2e/fake_service.exe" "$e2e/sleeper.exe"; do
    [ -f "$program" ] || { echo "screenshots: $program was not built" >&2; exit 2; }
done

# The dialogs first, then the main window through run-kestane.sh in the same
# prefix once this script has let go of it.
unset TOLLVARD_DISPLAY
. "$root/tools/wine-env.sh"
wine_env_lock screenshots 1800 || fail "the Wine prefix stayed busy"
trap wine_env_stop EXIT
trap 'exit 130' INT TERM
wine_env_start || fail "the Wine environment did not start"
cd "$dist"

windows_path() { echo "Z:$1" | tr / '\\'; }

# shoot SCENE FILE: sets the scene up inside a Wine desktop, captures the
# region it reports and lets it clean up.
shoot() {
    local scene="$1" shot="$2"
    local desktop_name="Tollvard-$scene"
    local rect_file="$WINE_BASE/$scene.rect" picture="$WINE_BASE/$scene.xwd" log="$WINE_BASE/$scene.log"
    rm -f "$rect_file" "$picture"
    timeout --kill-after=10 240 "$WINE64" explorer "/desktop=$desktop_name,$desktop_size" \
        "$(windows_path "$e2e/screenshot_stage.exe")" --bin "$(windows_path "$dist")" \
        --scene "$scene" "$(windows_path "$rect_file")" </dev/null >"$log" 2>&1 &
    local wine_pid=$!
    local i
    for i in $(seq 1 900); do
        [ -s "$rect_file" ] && break
        kill -0 "$wine_pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ ! -s "$rect_file" ]; then
        cat "$log" >&2
        kill "$wine_pid" 2>/dev/null
        wait "$wine_pid" 2>/dev/null
        echo "screenshots: the scene $scene did not come up" >&2
        return 1
    fi
    local left top width height
    read -r left top width height < "$rect_file"
    sleep 1   # the stage has painted; give the desktop a moment too

    local desktop_window
    desktop_window=$(xwininfo -root -tree | awk -v t="\"$desktop_name - Wine desktop\"" 'index($0, t) {print $1; exit}')
    if [ -n "$desktop_window" ]; then
        xwd -id "$desktop_window" -silent > "$picture"
    else
        xwd -root -silent > "$picture"   # the desktop window sits at the origin of the screen
    fi
    crop "$picture" "$left" "$top" "$width" "$height" "$shot"
    local cropped=$?
    rm -f "$rect_file" "$picture"
    wait "$wine_pid"
    # The stage ends with the harness's tally: the scene stood and was undone.
    if ! tail -n 1 "$log" | grep -q '^1 passed, 0 failed'; then
        cat "$log" >&2
        echo "screenshots: the scene $scene did not end cleanly" >&2
        return 1
    fi
    if [ "$cropped" -ne 0 ] || [ ! -s "$shot" ]; then
        echo "screenshots: could not save the picture to $shot" >&2
        return 1
    fi
    say "$scene (${width}x${height}) saved to $shot"
}

status=0
shoot deep-scan "$out/deep-scan.png" || status=1
shoot about "$out/about.png" || status=1
wine_env_stop
trap - EXIT
exec 9>&-

env -u DISPLAY "$root/tools/run-kestane.sh" "$out/main-window.png" || status=1
exit $status
