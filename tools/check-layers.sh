#!/bin/bash
# Keeps the layers of src/ one way. Kestane's subsystems include only
# downwards: window -> deep_scan -> cleanup, guard_control -> rights -> the
# files at the root of src/main -> src/shared. A folder includes its own
# files; cleanup and guard_control, side by side, not each other's. Velmora
# (src/guard) includes only itself and src/shared. Only the Windows forwards of
# src/shared/win32 include <windows.h> (resource scripts aside: they need its
# constants). Prints each include that breaks this and fails if there is one.
cd "$(dirname "$0")/../src" || exit 2
rank() {  # the layer of a file below src/: a file includes only lower ones
    case "$1" in
        main/window/*) echo 6 ;; main/deep_scan/*) echo 5 ;; main/cleanup/* | main/guard_control/*) echo 4 ;;
        main/rights/*) echo 3 ;; main/*/*) echo 9 ;; main/* | guard/*) echo 2 ;;
        shared/win32/*) echo 1 ;; shared/*) echo 0 ;; *) echo 9 ;;
    esac
}
broken=0
while IFS= read -r file; do
    dir="$(dirname "$file")"
    while IFS=: read -r line include; do
        path="${include//\"/}" why="runs against the layers"
        if [ "$include" = "<windows.h>" ]; then
            [[ "$file" == shared/win32/* ]] && continue
            why="outside src/shared/win32: Windows is reached through the seams"
        elif [ "${include:0:1}" = '"' ]; then
            [ -e "$dir/$path" ] && path="$(realpath -m --relative-to=. "$dir/$path")"
            [ "$(dirname "$path")" = "$dir" ] && continue
            [[ "$file" == guard/* && "$path" == main/* || "$file" == main/* && "$path" == guard/* ]] ||
                { [ "$(rank "$path")" -lt "$(rank "$file")" ] && continue; }
        else continue; fi
        echo "src/$file:$line: #include $include $why"; broken=1
    done < <(grep -n -o -E '^\s*#\s*include\s+("[^"]+"|<windows\.h>)' "$file" | sed -E 's/:\s*#\s*include\s+/:/')
done < <(find . -name '*.h' -o -name '*.cpp' | sed 's|^\./||' | sort)
[ $broken -eq 0 ] && echo "layers: every include of src/ runs downwards"
exit $broken
