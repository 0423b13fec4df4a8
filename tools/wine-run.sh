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
# The test bed's shared parts a test names (tests/resource_locks.cmake.in) are held
# as file locks in the test bed for as long as it runs, in one order so that no two
# tests wait for each other: a test of another CTest run side by side that needs one
# waits. flock -o keeps the lock in flock itself, never in the test's processes, so a
# program the test leaves running cannot hold it.
lock_command=()
if [ -n "${POPSWAT_TEST_LOCKS:-}" ]; then
    for lock in $(tr ',' '\n' <<<"$POPSWAT_TEST_LOCKS" | LC_ALL=C sort -u); do
        case "$lock" in
        *[!A-Za-z0-9_]*) echo "wine-run.sh: not a lock name: $lock" >&2; exit 1 ;;
        esac
        lock_command+=(flock -o "$testbed/$lock.lock")
    done
fi
# Wine runs as a child, not in place of this script, so that the last line can say
# how a program ended that failed before it printed anything (CTest's log of it is
# otherwise empty). Its standard input stays this script's, and a signal to stop
# this script is passed on to it.
started=$(date +%s%N)
"${lock_command[@]}" /usr/lib/wine/wine64 "$@" <&0 &
child=$!
trap 'kill -TERM "$child" 2>/dev/null' TERM INT HUP
wait "$child"
status=$?
while kill -0 "$child" 2>/dev/null; do
    wait "$child"
    status=$?
done
if [ "$status" -ne 0 ]; then
    echo "wine-run.sh: $(basename "$1") ended with status $status after $((($(date +%s%N) - started) / 1000000)) ms" >&2
fi
exit "$status"
