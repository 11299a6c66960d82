#!/bin/bash
# Runs the main program Kestane.exe under Wine in the private prefix.
#   tools/run-kestane.sh [SCREENSHOT.png]
# With a display ($DISPLAY set) Kestane runs on it until you close it.
# Without one it runs on a virtual display inside a Wine desktop (so the
# window has its caption bar), a picture of the main window is saved
# (default build/main-window.png: running the program leaves the checkout
# as it was; tools/screenshots.sh refreshes the pictures in docs/), and
# Kestane is closed again.
# Builds the win64 programs first when something is missing or stale.
set -u
root="$(cd "$(dirname "$0")/.." && pwd)"
dist="$root/dist/win64"
e2e="$root/build/win64/e2e"
shot="${1:-$root/build/main-window.png}"
case "$shot" in /*) ;; *) shot="$PWD/$shot" ;; esac

need_tool() {
    if ! command -v "$1" >/dev/null 2>&1; then
        echo "run-kestane: $1 is missing ($2); tools/install-deps.sh installs it" >&2
        exit 2
    fi
}
need_tool /usr/lib/wine/wine64 "64-bit Wine"
if [ -z "${DISPLAY:-}" ]; then
    need_tool Xvfb "the virtual display"
    need_tool xwd "window pictures"
    need_tool xwininfo "finding the Wine desktop window"
    command -v convert >/dev/null 2>&1 || command -v pnmtopng >/dev/null 2>&1 ||
        need_tool convert "turning window pictures into PNG"
fi

mkdir -p "$root/build"
if ! "$root/tools/build.sh" win64 >"$root/build/run-kestane-build.log" 2>&1; then
    cat "$root/build/run-kestane-build.log" >&2
    echo "run-kestane: the win64 build failed" >&2
    exit 2
fi
[ -f "$dist/Kestane.exe" ] || { echo "run-kestane: $dist/Kestane.exe was not built" >&2; exit 2; }

[ -n "${DISPLAY:-}" ] && export TOLLVARD_DISPLAY="$DISPLAY"
. "$root/tools/wine-env.sh"
wine_env_lock run-kestane 1800 || exit 2
trap wine_env_stop EXIT
trap 'exit 130' INT TERM
wine_env_start || { echo "run-kestane: the Wine environment did not start" >&2; exit 2; }
cd "$dist"

if [ -n "${TOLLVARD_DISPLAY:-}" ]; then
    "$WINE64" Kestane.exe
    exit $?
fi

# Headless: the driver starts Kestane inside the Wine desktop, reports the
# main window's rectangle through a file, and closes Kestane once the file
# is gone again.
windows_path() { echo "Z:$1" | tr / '\\'; }
rect_file="$WINE_BASE/main-window.rect"
rm -f "$rect_file"
"$WINE64" explorer /desktop=Tollvard,800x600 "$(windows_path "$e2e/e2e_driver.exe")" \
    --bin "$(windows_path "$dist")" --show-main "$(windows_path "$rect_file")" &
wine_pid=$!

for _ in $(seq 1 300); do
    [ -s "$rect_file" ] && break
    kill -0 "$wine_pid" 2>/dev/null || break
    sleep 0.1
done
if [ ! -s "$rect_file" ]; then
    echo "run-kestane: the main window did not show" >&2
    exit 1
fi
read -r left top width height < "$rect_file"
sleep 1   # let the window finish painting

desktop=$(xwininfo -root -tree | awk '/"Tollvard - Wine desktop"/ {print $1; exit}')
picture="$WINE_BASE/main-window.xwd"
if [ -n "$desktop" ]; then
    xwd -id "$desktop" -silent > "$picture"
else
    xwd -root -silent > "$picture"   # the desktop window sits at the origin of the screen
fi
mkdir -p "$(dirname "$shot")"
if command -v convert >/dev/null 2>&1; then
    convert "xwd:$picture" -crop "${width}x${height}+${left}+${top}" +repage "png:$shot"
else
    xwdtopnm "$picture" 2>/dev/null | pnmcut "$left" "$top" "$width" "$height" | pnmtopng > "$shot"
fi
status=$?
rm -f "$rect_file" "$picture"
wait "$wine_pid"
if [ $status -eq 0 ] && [ -s "$shot" ]; then
    echo "run-kestane: main window (${width}x${height}) saved to $shot"
else
    echo "run-kestane: could not save the picture to $shot" >&2
    exit 1
fi
