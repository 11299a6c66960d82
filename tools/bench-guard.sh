#!/bin/sh
# Guard cost: Velmora as a service for SECONDS (default 60) with 150 processes and no grid.
#   tools/bench-guard.sh [SECONDS]
# Builds win64, runs under Wine in the private prefix build/wine-bench and
# prints one line per figure under "figures:", each goal with "met" or
# "NOT met". Exit code 0 when the measurement ran through (goals met or not).
exec "$(dirname "$0")/../bench/run.sh" guard_cost "$@"
