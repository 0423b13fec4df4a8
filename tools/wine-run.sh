#!/usr/bin/env bash
# Runs a Windows program under Wine in the test bed of one build folder.
#   wine-run.sh TESTBED_DIR PROGRAM.exe [ARGUMENTS...]
set -u
testbed=$(mkdir -p "${1:?testbed folder}" && cd "$1" && pwd)
shift
"$(dirname "$0")/testbed.sh" prepare "$testbed" || exit 1
export WINEPREFIX="$testbed/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Windows of tests go to the test bed's virtual display, never to a real one.
if [ -s "$testbed/display" ]; then
    export DISPLAY=":$(cat "$testbed/display")"
fi
exec /usr/lib/wine/wine64 "$@"
