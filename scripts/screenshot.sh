#!/usr/bin/env bash
# Takes a picture of a program's windows on a private X server.
#
#   scripts/screenshot.sh OUT.png SECONDS COMMAND [ARGS...]
#
# Starts Xvfb on a free display, runs COMMAND there,
# waits SECONDS, saves the whole screen as OUT.png and stops both again.
# Set SCREENSHOT_SIZE (default 1024x768x24) for another screen, and
# SCREENSHOT_KEYS to X key names ("Return Escape alt+s") to press after the
# wait, one every SCREENSHOT_KEY_DELAY seconds (default 1), before the shot;
# "alt+", "ctrl+" and "shift+" hold that modifier; "click:X,Y" clicks the
# left mouse button at screen position X,Y.
set -u

if [ $# -lt 3 ]; then
    echo "usage: $0 OUT.png SECONDS COMMAND [ARGS...]" >&2
    exit 2
fi
out=$1
delay=$2
shift 2
size=${SCREENSHOT_SIZE:-1024x768x24}

. "$(dirname "$0")/xvfb.sh"
start_xvfb "$size" || exit 1
xvfb=$xvfb_pid
display=$DISPLAY

DISPLAY=$display QT_QPA_PLATFORM=xcb "$@" &
app=$!
sleep "$delay"
if [ -n "${SCREENSHOT_KEYS:-}" ]; then
    # Presses keys through the XTEST extension of the X server.
    DISPLAY=$display python3 "$(dirname "$0")/xtest-keys.py" "${SCREENSHOT_KEY_DELAY:-1}" $SCREENSHOT_KEYS
fi
DISPLAY=$display import -window root "$out"
status=$?

kill "$app" 2>/dev/null
sleep 0.5
kill -9 "$app" 2>/dev/null
kill "$xvfb" 2>/dev/null
wait 2>/dev/null
[ $status -eq 0 ] && echo "$out"
exit $status
