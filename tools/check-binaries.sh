#!/bin/sh
# Checks the Windows programs of one build (win32 or win64): the right PE
# format and subsystem, OS version 4.0 in the headers and a subsystem version
# that XP's loader takes (at most 5.1, 5.2 for 64-bit XP), and imports from
# Windows system DLLs only; Kestane holds the Velmora.exe of the same build,
# does not import the service side of advapi32, which only the guard uses,
# and its manifest asks for the UTF-8 code page inside the asmv3 application
# element (the only place XP accepts windowsSettings). Prints a size and
# import line per program.
set -e
root="$(cd "$(dirname "$0")/.." && pwd)"
arch="${1:?usage: tools/check-binaries.sh win32|win64}"
case "$arch" in
    win32) objdump=i686-w64-mingw32-objdump; format="pei-i386"; xp_subsystem=501 ;;
    win64) objdump=x86_64-w64-mingw32-objdump; format="pei-x86-64"; xp_subsystem=502 ;;
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
    os_version="$(echo "$info" | awk '/^MajorOSystemVersion/ {major=$2} /^MinorOSystemVersion/ {minor=$2} END {print major "." minor}')"
    [ "$os_version" = 4.0 ] || { echo "$program.exe: OS version $os_version, expected 4.0"; status=1; }
    # XP refuses to load a program whose subsystem version is newer than its own.
    subsystem_version="$(echo "$info" | awk '/^MajorSubsystemVersion/ {major=$2} /^MinorSubsystemVersion/ {minor=$2} END {print major "." minor}')"
    if [ "$(echo "$subsystem_version" | awk -F. '{print $1 * 100 + $2}')" -gt "$xp_subsystem" ]; then
        echo "$program.exe: subsystem version $subsystem_version, newer than XP's loader takes"; status=1
    fi
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
        if ! perl -e 'local $/; open(K, "<:raw", $ARGV[0]) or exit 1;
                exit(<K> !~ m{<application xmlns="urn:schemas-microsoft-com:asm.v3">\s*<windowsSettings>(?:(?!</windowsSettings>).)*<activeCodePage xmlns="http://schemas.microsoft.com/SMI/2019/WindowsSettings">UTF-8</activeCodePage>}s)' "$exe"; then
            echo "Kestane.exe's manifest does not ask for the UTF-8 code page inside the asmv3 application"; status=1
        fi
    fi
    echo "$arch/$program.exe: $(stat -c %s "$exe") bytes, imports: $dlls"
done
exit $status
