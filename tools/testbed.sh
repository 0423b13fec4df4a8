#!/usr/bin/env bash
# The Wine test bed of one build folder: a private Wine prefix, a persistent
# wineserver and a virtual X display.
#   testbed.sh prepare DIR   create the prefix once and make sure its server runs
#   testbed.sh start DIR     prepare, then start Xvfb (its display is kept in DIR/display)
#   testbed.sh stop DIR      stop Xvfb and the wineserver
set -u
action=${1:?action}
testbed=$(mkdir -p "${2:?testbed folder}" && cd "$2" && pwd)
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
export WINEPREFIX="$testbed/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY

server_running() {
    [ -f "$testbed/wineserver.pid" ] && kill -0 "$(cat "$testbed/wineserver.pid")" 2>/dev/null
}

# Everything started here detaches from our standard streams: CTest waits for a
# test's output pipe to close, and Wine's system processes would keep it open.
start_server() {
    mkdir -p "$WINEPREFIX"
    setsid "$WINESERVER" -f -p </dev/null >/dev/null 2>&1 8>&- 9>&- &
    echo $! >"$testbed/wineserver.pid"
    # Starts services, plugplay and friends once, with no pipe to inherit.
    "$WINE" cmd /c exit </dev/null >/dev/null 2>&1 8>&- 9>&-
    started_server=1
}

# The Task Scheduler is not started with the server, and one started before
# wineboot made the prefix may not be running after it: start it once the
# prefix exists, and check that it runs (tests register and read tasks through it).
# Right after the server starts, services.exe is still starting its own services
# (on a busy machine that takes seconds), so the tries wait until the service
# manager answers and nothing is starting or stopping. Every answer goes to
# schedule.log.
# The services Wine starts with the server (Start = 2 in the prefix's registry);
# one this Wine does not have answers 1060 and counts as settled.
AUTO_SERVICES="Eventlog PlugPlay MountMgr nsiproxy NDIS"

service_manager_settled() {
    local service state
    for service in $AUTO_SERVICES; do
        state=$("$WINE" sc query "$service" </dev/null 2>&1 8>&- 9>&-)
        if [ -z "$state" ] || grep -Eq 'START_PENDING|STOP_PENDING' <<<"$state"; then
            return 1
        fi
    done
}

wait_for_service_manager() {
    local waited=0
    until service_manager_settled; do
        [ "$waited" -ge 30 ] && return 1
        sleep 1
        waited=$((waited + 1))
    done
}

schedule_running() {
    "$WINE" sc query schedule </dev/null >"$testbed/schedule.state" 2>&1 8>&- 9>&-
    grep -q RUNNING "$testbed/schedule.state"
}

# One round of tries, with these pauses (seconds) after each start asked for.
try_task_scheduler() {
    local pause
    wait_for_service_manager || echo "$(date -u +%T) the service manager did not settle" >>"$testbed/schedule.log"
    for pause in "$@"; do
        schedule_running && return 0
        {
            echo "$(date -u +%T) net start schedule:"
            "$WINE" net start schedule </dev/null 2>&1 8>&- 9>&-
        } >>"$testbed/schedule.log"
        # A start that is under way finishes before the next look.
        sleep "$pause"
    done
    schedule_running
}

# The first program to ask the Task Scheduler for its tasks brings up what the
# service starts on demand; asked here, with no test's output pipe to inherit, so
# that the first test that reviews tasks is not the one to wait for it. Always true:
# a Wine whose schtasks cannot list says so, and the service runs all the same.
warm_up_task_scheduler() {
    timeout 60 "$WINE" schtasks /query </dev/null >/dev/null 2>&1 8>&- 9>&-
    return 0
}

# The processes that run with this prefix, for the log of a start that failed.
prefix_processes() {
    local process
    for process in /proc/[0-9]*; do
        if { tr '\0' '\n' <"$process/environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
            echo "  ${process#/proc/} $({ tr '\0' ' ' <"$process/cmdline"; } 2>/dev/null)"
        fi
    done
}

# Seen on fresh prefixes: every "net start" says the service started, yet it stays
# STOPPED (1077) however long one waits, and the first start on a fresh server then
# works. So a few quick tries, then a fresh server and a longer round (about 45 s).
start_task_scheduler() {
    : >"$testbed/schedule.log"
    try_task_scheduler 0.5 1 2 3 && warm_up_task_scheduler && return 0
    echo "$(date -u +%T) a fresh server" >>"$testbed/schedule.log"
    stop_server
    start_server
    try_task_scheduler 0.5 1 1 2 2 3 4 5 6 8 10 && warm_up_task_scheduler && return 0
    {
        echo "$(date -u +%T) the Wine processes of this prefix:"
        prefix_processes
    } >>"$testbed/schedule.log"
    echo "the Task Scheduler does not run in $WINEPREFIX: $(cat "$testbed/schedule.state")" >&2
    echo "what the tries said ($testbed/schedule.log):" >&2
    tail -n 20 "$testbed/schedule.log" >&2
    return 1
}

# wineboot makes the user's Desktop, Documents, ... links to the Linux home: a
# program writing a shortcut to its Desktop would write there. Each link becomes
# an empty folder inside the prefix, before any program runs (and for an
# existing prefix too).
unlink_home_folders() {
    local folder
    for folder in "$WINEPREFIX"/drive_c/users/*/{Desktop,Documents,Downloads,Music,Pictures,Videos}; do
        if [ -L "$folder" ]; then
            rm -f "$folder" && mkdir -p "$folder"
        fi
    done
}

create_prefix() {
    "$WINE" wineboot -i </dev/null >/dev/null 2>&1
    local reg=("$WINE" reg add)
    # Without a window manager, every top-level window destroy otherwise waits about 2 s.
    "${reg[@]}" 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
    # A crash prints a backtrace and exits instead of opening a modal dialog.
    "${reg[@]}" 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
    # Web addresses go to a recorder, never to a real browser.
    cat >"$testbed/record-browser.sh" <<REC
#!/bin/sh
printf '%s\n' "\$*" >>"$testbed/opened-addresses.txt"
REC
    chmod +x "$testbed/record-browser.sh"
    "${reg[@]}" 'HKCU\Software\Wine\WineBrowser' /v Browsers /t REG_SZ /d "$testbed/record-browser.sh" /f
    touch "$WINEPREFIX/.popswat-ready"
}

prepare() {
    # Wine's desktop process starts with the first program and keeps its display.
    if [ -s "$testbed/display" ]; then export DISPLAY=":$(cat "$testbed/display")"; fi
    exec 9>"$testbed/lock"
    flock 9
    local started_server=0 status=0
    server_running || start_server
    if [ ! -f "$WINEPREFIX/.popswat-ready" ]; then
        create_prefix </dev/null >/dev/null 2>&1
        # wineboot -i starts a second services.exe beside the one the first program
        # started; the two hold the service database so that no service can start.
        # A fresh server starts one.
        stop_server
        start_server
    fi
    unlink_home_folders
    if [ "$started_server" = 1 ]; then
        start_task_scheduler || status=1
    fi
    flock -u 9
    return $status
}

stop_server() {
    "$WINESERVER" -k </dev/null >/dev/null 2>&1
    if server_running; then
        "$WINESERVER" -w </dev/null >/dev/null 2>&1
    fi
    rm -f "$testbed/wineserver.pid"
}

start_display() {
    stop_display
    rm -f "$testbed/display"
    # Every Wine process with a window is a client of the display; tests that start
    # 70 browser stand-ins each, side by side under "ctest -j", outgrow the default 256.
    setsid Xvfb -displayfd 3 8>&- 9>&- -screen 0 1280x1024x24 -maxclients 1024 -nolisten tcp 3>"$testbed/display.new" \
        </dev/null >/dev/null 2>&1 &
    echo $! >"$testbed/xvfb.pid"
    for _ in $(seq 100); do
        if [ -s "$testbed/display.new" ]; then
            mv "$testbed/display.new" "$testbed/display"
            return 0
        fi
        sleep 0.1
    done
    echo "Xvfb did not start" >&2
    return 1
}

stop_display() {
    if [ -f "$testbed/xvfb.pid" ]; then
        kill "$(cat "$testbed/xvfb.pid")" 2>/dev/null
        rm -f "$testbed/xvfb.pid" "$testbed/display"
    fi
}

display_running() {
    [ -s "$testbed/display" ] && [ -f "$testbed/xvfb.pid" ] && kill -0 "$(cat "$testbed/xvfb.pid")" 2>/dev/null
}

# Each CTest run that uses the test bed is one user, named by its process id (the
# parent of the fixture's command): two runs side by side in one build folder share
# the display and the server, and the last one to finish takes them down. Users
# whose process has ended are forgotten.
other_users() {
    local user found=1
    mkdir -p "$testbed/users"
    for user in "$testbed/users"/*; do
        [ -e "$user" ] || continue
        if ! kill -0 "${user##*/}" 2>/dev/null; then
            rm -f "$user"
        elif [ "${user##*/}" != "$PPID" ]; then
            found=0
        fi
    done
    return $found
}

case "$action" in
prepare) prepare ;;
start)
    exec 8>"$testbed/users.lock"
    flock 8
    if other_users && display_running && server_running; then
        touch "$testbed/users/$PPID"
        prepare
    else
        touch "$testbed/users/$PPID"
        # A server started earlier without the display (say, by test discovery) is replaced.
        stop_server
        start_display && prepare
    fi
    ;;
stop)
    exec 8>"$testbed/users.lock"
    flock 8
    rm -f "$testbed/users/$PPID"
    if ! other_users; then
        stop_display
        stop_server
    fi
    ;;
*)
    echo "usage: $0 prepare|start|stop DIR" >&2
    exit 2
    ;;
esac
