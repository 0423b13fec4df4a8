#!/usr/bin/env bash
# Builds and times whole cleanup runs under Wine against browser stand-ins
# (nothing running; stand-ins that exit on WM_CLOSE at once or after 300 ms;
# two that ignore it; three with hidden windows only; seventy), in process and
# as popswat.exe --yes, each the median of REPEATS runs (3 at the least and by
# default) beside its goal. Exits with 1 when a goal is missed.
#   bash bench/measure-runs.sh [REPEATS]
set -eu
cd "$(dirname "$0")/.."
cmake --preset mingw >/dev/null
cmake --build --preset mingw >/dev/null
testbed=$PWD/build/mingw/testbed
tools/testbed.sh start "$testbed"
trap 'tools/testbed.sh stop "$testbed"' EXIT
tools/wine-run.sh "$testbed" build/mingw/bin/popswat_run_timing.exe "${1:-3}"
