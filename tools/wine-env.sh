# Sourced by the run and test scripts: a private Wine prefix with the Korean
# ANSI code page (949), a Korean font, and a virtual X display of our own.
#   . tools/wine-env.sh; wine_env_start; ...; wine_env_stop
# Everything lives under build/wine/ (prefix, HOME, locale).
#   TOLLVARD_WINE_LOCALE=en_US.UTF-8   another locale, compiled privately like
#                             the Korean one, in a prefix of its own under
#                             build/wine-en_US/: Wine gives programs that
#                             locale's ANSI code page (1252 for en_US), and
#                             Kestane's manifest the UTF-8 code page (65001).
#   TOLLVARD_WINEARCH=win32   a 32-bit prefix, like 32-bit Windows, under
#                             build/wine32/; only 32-bit programs run there
#                             and $WINE_LOADER is the 32-bit loader.
# The default is a 64-bit prefix, like 64-bit Windows: $WINE64 runs 64-bit
# programs there and 32-bit ones through WoW64 (Program Files (x86), SysWOW64).

TOLLVARD_ROOT="${TOLLVARD_ROOT:-$(cd "$(dirname "${BASH_SOURCE:-$0}")/.." && pwd)}"
WINE64=/usr/lib/wine/wine64
WINE32=/usr/lib/wine/wine
WINE_LOCALE="${TOLLVARD_WINE_LOCALE:-ko_KR.UTF-8}"
wine_base_suffix=""
[ "$WINE_LOCALE" = ko_KR.UTF-8 ] || wine_base_suffix="-${WINE_LOCALE%%.*}"
if [ "${TOLLVARD_WINEARCH:-win64}" = win32 ]; then
    WINE_BASE="${WINE_BASE:-$TOLLVARD_ROOT/build/wine32$wine_base_suffix}"
    export WINEARCH=win32
    WINE_LOADER="$WINE32"
else
    WINE_BASE="${WINE_BASE:-$TOLLVARD_ROOT/build/wine$wine_base_suffix}"
    export WINEARCH=win64
    WINE_LOADER="$WINE64"
fi
export WINEPREFIX="$WINE_BASE/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export HOME="$WINE_BASE/home"
export LOCPATH="$WINE_BASE/locale"
WINESERVER=/usr/lib/wine/wineserver64
[ -x "$WINESERVER" ] || WINESERVER="$(command -v wineserver || echo /usr/lib/wine/wineserver)"
XVFB_PID=""

wine_env_locale() {
    mkdir -p "$LOCPATH" "$HOME"
    if [ ! -d "$LOCPATH/$WINE_LOCALE" ]; then
        localedef -i "${WINE_LOCALE%%.*}" -f "${WINE_LOCALE#*.}" "$LOCPATH/$WINE_LOCALE" >/dev/null 2>&1 || true
    fi
    export LC_ALL="$WINE_LOCALE"
}

wine_env_display() {
    if [ -n "${TOLLVARD_DISPLAY:-}" ]; then export DISPLAY="$TOLLVARD_DISPLAY"; return; fi
    local n
    for n in $(seq 91 140); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
        XVFB_PID=$!
        export DISPLAY=":$n"
        local i
        for i in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$n" ] && return 0; sleep 0.1; done
    done
    echo "wine-env: could not start Xvfb" >&2
    return 1
}

wine_env_prefix() {
    if [ ! -f "$WINEPREFIX/.tollvard-ready" ]; then
        mkdir -p "$WINEPREFIX"
        "$WINE_LOADER" wineboot -i >/dev/null 2>&1 || true
        "$WINESERVER" -w
        local reg="$WINE_BASE/setup.reg"
        cat <<'REG' | iconv -f UTF-8 -t UTF-16 > "$reg"
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"굴림"="NanumGothic"
"Gulim"="NanumGothic"
"MS Shell Dlg"="NanumGothic"
"MS Shell Dlg 2"="NanumGothic"
"Tahoma"="NanumGothic"
REG
        "$WINE_LOADER" regedit "$reg" >/dev/null 2>&1 || true
        "$WINESERVER" -w
        touch "$WINEPREFIX/.tollvard-ready"
    fi
    # Wine does not find its own Marlett here, and caption buttons then show
    # letters instead of their symbols.
    local fonts="$WINEPREFIX/drive_c/windows/Fonts"
    if [ -f /usr/share/wine/fonts/marlett.ttf ] && [ -d "$fonts" ] && [ ! -f "$fonts/marlett.ttf" ]; then
        cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
    fi
}

# One run at a time per prefix: stopping the environment ends every Wine
# process of the prefix, another run's included.
#   wine_env_lock WHO SECONDS: waits at most SECONDS for the prefix; false when it gave up
wine_env_lock() {
    mkdir -p "$WINE_BASE"
    exec 9>"$WINE_BASE/run.lock"
    flock -n 9 && return 0
    echo "$1: waiting for another Wine run in $WINE_BASE to end" >&2
    flock -w "$2" 9 && return 0
    echo "$1: gave up waiting for $WINE_BASE/run.lock" >&2
    return 1
}

wine_env_start() {
    wine_env_locale
    wine_env_display
    wine_env_prefix
}

wine_env_stop() {
    "$WINESERVER" -k >/dev/null 2>&1 || true
    if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null || true; wait "$XVFB_PID" 2>/dev/null || true; fi
    XVFB_PID=""
}

# Whether the 32-bit runs can run here; prints the true reason when not:
# the machine runs no 32-bit code (told by a static i386 program, see
# tools/runs-32bit.sh), wine32 could not be installed (the reason that
# tools/install-deps.sh left in build/wine32-missing.txt), or its loader
# does not start. TOLLVARD_NO_32BIT=1 makes it say no, to see how the tests
# report a machine without 32-bit code.
wine_env_runs_32bit() {
    if [ "${TOLLVARD_NO_32BIT:-0}" = 1 ]; then
        echo "this machine runs no 32-bit code (TOLLVARD_NO_32BIT=1)"
        return 1
    fi
    "$TOLLVARD_ROOT/tools/runs-32bit.sh" || return 1
    if [ ! -e "$WINE32" ]; then
        local note="$TOLLVARD_ROOT/build/wine32-missing.txt"
        if [ -s "$note" ]; then
            echo "wine32 could not be installed: $(head -n 1 "$note")"
        else
            echo "wine32 is not installed ($WINE32 is missing; tools/install-deps.sh installs it)"
        fi
        return 1
    fi
    local started
    if ! started="$("$WINE32" --version 2>&1)"; then
        echo "wine32 is installed, but $WINE32 does not start: $(echo "$started" | head -n 1)"
        return 1
    fi
    return 0
}
