#!/bin/sh
# Whether this machine runs 32-bit x86 code, told by running a static i386
# program of 93 bytes (ELF, exit code 32 through int 0x80), not by whether
# Wine starts: the kernel may lack IA-32 emulation, or have it switched off.
# Exit 0 when it ran; otherwise exit 1 and print the reason.
set -u
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
program="$dir/i386-exit32"
# ELF header, one loadable segment, then: mov eax,1; mov ebx,32; int 0x80.
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\273\040\000\000\000\315\200' >"$program"
chmod +x "$program"
# Started by bash, which says why the kernel refused a binary and ends with
# 126; sh would read such a program as a script of its own.
error="$(bash -c '"$0"' "$program" 2>&1)"
status=$?
[ "$status" -eq 32 ] && exit 0
if [ "$status" -eq 126 ] && [ -n "$error" ]; then
    echo "this machine runs no 32-bit code (a static i386 program fails: ${error##*: })"
else
    echo "this machine runs no 32-bit code (a static i386 program ended with status $status, not 32)"
fi
exit 1
