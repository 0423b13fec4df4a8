#!/usr/bin/env bash
# Takes a picture of the popswat-gui window on the test bed's virtual display.
#   tools/screenshot-gui.sh [OUTPUT.png] [FORCED_DPI]
# Needs a built build/mingw and ImageMagick's import (Debian: imagemagick), plus
# xwininfo (x11-utils). The program is only shown, never clicked.
set -eu
cd "$(dirname "$0")/.."
output=${1:-docs/popswat-gui.png}
testbed=$PWD/build/mingw/testbed
program=build/mingw/bin/popswat-gui.exe
[ -f "$program" ] || { echo "build first: cmake --preset mingw && cmake --build --preset mingw" >&2; exit 1; }

started_testbed=0
if [ ! -s "$testbed/display" ]; then
    tools/testbed.sh start "$testbed"
    started_testbed=1
fi
display=":$(cat "$testbed/display")"

# Its own sandbox folders, so nothing of the test bed's user profile is ever shown or touched.
sandbox=$(mktemp -d)
mkdir -p "$sandbox/Local" "$sandbox/Roaming"
gui_pid=""
cleanup() {
    [ -n "$gui_pid" ] && kill "$gui_pid" 2>/dev/null || true
    rm -rf "$sandbox"
    [ "$started_testbed" = 1 ] && tools/testbed.sh stop "$testbed" || true
}
trap cleanup EXIT

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
LOCALAPPDATA=$(winpath "$sandbox/Local") APPDATA=$(winpath "$sandbox/Roaming") \
    POPSWAT_FORCE_DPI=${2:-96} tools/wine-run.sh "$testbed" "$program" </dev/null >/dev/null 2>&1 &
gui_pid=$!

title="PopSwat - Browser Popup Cleaner"
window=""
for _ in $(seq 100); do
    window=$(DISPLAY=$display xwininfo -root -tree | awk -v t="\"$title\":" 'index($0, t) { print $1; exit }')
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "the window did not appear" >&2; exit 1; }
sleep 1  # let the first paint reach the display
mkdir -p "$(dirname "$output")"
DISPLAY=$display import -window "$window" "$output"
echo "wrote $output"
