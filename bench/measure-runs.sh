#!/usr/bin/env bash
# Builds and times whole cleanup runs under Wine: nothing running, browser
# stand-ins that exit on WM_CLOSE, and one that ignores it.
#   bash bench/measure-runs.sh [REPEATS]
set -eu
cd "$(dirname "$0")/.."
cmake --preset mingw >/dev/null
cmake --build --preset mingw >/dev/null
testbed=$PWD/build/mingw/testbed
tools/testbed.sh start "$testbed"
trap 'tools/testbed.sh stop "$testbed"' EXIT
tools/wine-run.sh "$testbed" build/mingw/bin/popswat_run_timing.exe "${1:-3}"
