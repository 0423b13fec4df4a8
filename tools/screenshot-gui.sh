#!/usr/bin/env bash
# Takes pictures of the popswat-gui windows on the test bed's virtual display: the
# main window, and the findings window of popswat-gui --review over sample profiles
# (a site allowed to notify, a hijacked start-up page, a Firefox user.js home page)
# and a Chrome shortcut pinned to the sandbox's taskbar that opens an ad.
#   tools/screenshot-gui.sh [OUTPUT.png] [FORCED_DPI]
# The findings window goes beside OUTPUT, named OUTPUT-findings.png. Needs a built
# build/mingw and ImageMagick's import (Debian: imagemagick), plus xwininfo and xkill
# (x11-utils). The programs are only shown, never clicked.
set -eu
cd "$(dirname "$0")/.."
output=${1:-docs/popswat-gui.png}
findings_output=${output%.png}-findings.png
dpi=${2:-96}
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
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$sandbox"
    [ "$started_testbed" = 1 ] && tools/testbed.sh stop "$testbed" || true
}
trap cleanup EXIT

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# The X window of the top-level window with that title; waits up to 10 s.
find_window() {
    local window=""
    for _ in $(seq 100); do
        window=$(DISPLAY=$display xwininfo -root -tree | awk -v t="\"$1\":" 'index($0, t) { print $1; exit }')
        [ -n "$window" ] && break
        sleep 0.1
    done
    [ -n "$window" ] || { echo "the window \"$1\" did not appear" >&2; exit 1; }
    echo "$window"
}

capture() {
    local window=$1 file=$2
    sleep 1 # let the first paint (and the review) reach the display
    mkdir -p "$(dirname "$file")"
    DISPLAY=$display import -window "$window" "$file"
    echo "wrote $file"
}

LOCALAPPDATA=$(winpath "$sandbox/Local") APPDATA=$(winpath "$sandbox/Roaming") \
    POPSWAT_FORCE_DPI=$dpi tools/wine-run.sh "$testbed" "$program" </dev/null >/dev/null 2>&1 &
pids+=($!)
capture "$(find_window "PopSwat - Browser Popup Cleaner")" "$output"

# Sample findings. Wine sets LOCALAPPDATA and APPDATA from the prefix at every
# program start, so cmd sets them for the program it starts.
chrome="$sandbox/Local/Google/Chrome/User Data/Default"
firefox="$sandbox/Roaming/Mozilla/Firefox/Profiles/k3x9w2ab.default-release"
mkdir -p "$chrome" "$firefox"
printf '%s' '{"profile":{"content_settings":{"exceptions":{"notifications":{"https://win-prize.example:443,*":'\
'{"setting":1}}}}},"session":{"restore_on_startup":4,"startup_urls":["http://search-hijack.example/"]}}' \
    >"$chrome/Preferences"
echo 'user_pref("browser.startup.homepage", "http://home-hijack.example/");' >"$firefox/user.js"
# The pinned taskbar folder below the sandbox's APPDATA, where the review looks; Wine's
# cscript writes the shortcut through IShellLinkW.
pinned="$sandbox/Roaming/Microsoft/Internet Explorer/Quick Launch/User Pinned/TaskBar"
mkdir -p "$pinned"
printf '%s\r\n' 'Set link = CreateObject("WScript.Shell").CreateShortcut(WScript.Arguments(0))' \
    'link.TargetPath = "C:\Program Files\Google\Chrome\Application\chrome.exe"' \
    'link.Arguments = "https://win-prize.example/"' 'link.Save' >"$sandbox/pin.vbs"
tools/wine-run.sh "$testbed" cscript //nologo "$(winpath "$sandbox/pin.vbs")" \
    "$(winpath "$pinned/Google Chrome.lnk")" </dev/null >/dev/null 2>&1
[ -s "$pinned/Google Chrome.lnk" ] || { echo "the sample shortcut could not be written" >&2; exit 1; }
printf '@set LOCALAPPDATA=%s\r\n@set APPDATA=%s\r\n@set POPSWAT_FORCE_DPI=%s\r\n@"%s" --review\r\n' \
    "$(winpath "$sandbox/Local")" "$(winpath "$sandbox/Roaming")" "$dpi" "$(winpath "$PWD/$program")" \
    >"$sandbox/findings.cmd"
tools/wine-run.sh "$testbed" cmd /c "$(winpath "$sandbox/findings.cmd")" </dev/null >/dev/null 2>&1 &
pids+=($!)
findings=$(find_window "PopSwat - What brings pop-ups back")
capture "$findings" "$findings_output"
# Its process is cmd's child, not ours: ending its connection to the display ends it.
DISPLAY=$display xkill -id "$findings" >/dev/null
