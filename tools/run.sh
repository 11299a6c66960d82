#!/bin/sh
# Runs the main program under Wine: installs what is missing, builds what is
# missing, starts Kestane.exe. Without a display it uses a virtual one and
# saves a picture of the main window (default build/main-window.png).
#   tools/run.sh [picture.png]
set -e
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/install-deps.sh"
exec "$root/tools/run-kestane.sh" "$@"
