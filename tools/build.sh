#!/bin/sh
# Builds one configuration: native (Linux logic + unit tests against the
# simulated platform), win64 or win32 (the Windows programs, into dist/).
# fuzz: the libFuzzer targets of tests/fuzz, built with clang. Only the targets
# given after the configuration are built (tools/release.sh: Kestane Velmora).
#   tools/build.sh native|native-asan|fuzz|win64|win32 [TARGET...]
set -e
root="$(cd "$(dirname "$0")/.." && pwd)"
config="${1:?usage: tools/build.sh native|native-asan|fuzz|win64|win32 [TARGET...]}"
shift
jobs="$(nproc 2>/dev/null || echo 2)"
case "$config" in
  native) args="" ;;
  native-asan) args="-DTOLLVARD_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug" ;;
  fuzz) args="-DTOLLVARD_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++" ;;
  win64) args="-DCMAKE_TOOLCHAIN_FILE=$root/cmake/mingw-w64-x86_64.cmake" ;;
  win32) args="-DCMAKE_TOOLCHAIN_FILE=$root/cmake/mingw-w64-i686.cmake" ;;
  *) echo "unknown configuration: $config" >&2; exit 2 ;;
esac
. "$root/tools/source-date-epoch.sh"
if [ $# -gt 0 ]; then set -- --target "$@"; fi
cmake -S "$root" -B "$root/build/$config" $args >/dev/null
cmake --build "$root/build/$config" -j "$jobs" "$@"
