#!/usr/bin/env bash
# Runs a Windows program under Wine in the test bed of one build folder.
#   wine-run.sh TESTBED_DIR PROGRAM.exe [ARGUMENTS...]
set -u
testbed=$(mkdir -p "${1:?testbed folder}" && cd "$1" && pwd)
shift
if ! "$(dirname "$0")/testbed.sh" prepare "$testbed"; then
    # Said on the test's own output, so that a test failing before Wine starts says why.
    echo "wine-run.sh: the test bed in $testbed could not be prepared" >&2
    exit 1
fi
export WINEPREFIX="$testbed/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Windows of tests go to the test bed's virtual display, never to a real one.
if [ -s "$testbed/display" ]; then
    export DISPLAY=":$(cat "$testbed/display")"
fi
exec /usr/lib/wine/wine64 "$@"
