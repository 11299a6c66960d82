#!/bin/sh
# Start-up benchmark: Kestane against its floor (the calls its start-up cannot do without, then the
# bare dialog) and the bare dialog, RUNS timed starts of each (default 15, at least 10).
#   tools/bench-startup.sh [RUNS]
# Builds win64, runs under Wine in the private prefix build/wine-bench and
# prints one line per figure under "figures:", each goal with "met" or
# "NOT met". Exit code 0 when the measurement ran through (goals met or not).
exec "$(dirname "$0")/../bench/run.sh" startup_bench "$@"
