#!/bin/sh
# Checks the Windows programs of one build (win32 or win64): the right PE
# format and subsystem, and imports from Windows system DLLs only; Kestane
# holds the Velmora.exe of the same build and does not import the service
# side of advapi32, which only the guard uses. Prints a size and import line
# per program.
set -e
root="$(cd "$(dirname "$0")/.." && pwd)"
arch="${1:?usage: tools/check-binaries.sh win32|win64}"
case "$arch" in
    win32) objdump=i686-w64-mingw32-objdump; format="pei-i386" ;;
    win64) objdump=x86_64-w64-mingw32-objdump; format="pei-x86-64" ;;
    *) echo "unknown build: $arch" >&2; exit 2 ;;
esac
system_dlls="ADVAPI32.dll KERNEL32.dll USER32.dll SHELL32.dll msvcrt.dll GDI32.dll"
status=0
for program in Kestane Velmora; do
    exe="$root/dist/$arch/$program.exe"
    [ -f "$exe" ] || { echo "$program.exe: missing"; status=1; continue; }
    info="$($objdump -p "$exe")"
    echo "$info" | grep -q "file format $format" || { echo "$program.exe: not $format"; status=1; }
    subsystem="$(echo "$info" | awk '/^Subsystem/ {print $2}')"
    want=00000002; [ "$program" = Velmora ] && want=00000003
    [ "$subsystem" = "$want" ] || { echo "$program.exe: subsystem $subsystem, expected $want"; status=1; }
    dlls="$(echo "$info" | awk '/DLL Name:/ {print $3}' | tr '\n' ' ')"
    for dll in $dlls; do
        case " $system_dlls " in *" $dll "*) ;; *) echo "$program.exe imports $dll"; status=1 ;; esac
    done
    if [ "$program" = Kestane ]; then
        if echo "$info" | grep -qE "StartServiceCtrlDispatcherA|RegisterServiceCtrlHandlerA|SetServiceStatus"; then
            echo "Kestane.exe imports the service side of advapi32"; status=1
        fi
        velmora="$root/dist/$arch/Velmora.exe"
        if [ ! -f "$velmora" ] || ! perl -e 'local $/; open(K, "<:raw", $ARGV[0]) or exit 1; open(V, "<:raw", $ARGV[1]) or exit 1;
                exit(index(<K>, <V>) < 0)' "$exe" "$velmora"; then
            echo "Kestane.exe does not hold this build's Velmora.exe"; status=1
        fi
    fi
    echo "$arch/$program.exe: $(stat -c %s "$exe") bytes, imports: $dlls"
done
exit $status
