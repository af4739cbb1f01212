#!/bin/sh
# Takes a picture of a program's windows on a private X server.
#
#   scripts/screenshot.sh OUT.png SECONDS COMMAND [ARGS...]
#
# Starts Xvfb on display :99 (or $SCREENSHOT_DISPLAY), runs COMMAND there,
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
display=${SCREENSHOT_DISPLAY:-:99}
size=${SCREENSHOT_SIZE:-1024x768x24}

Xvfb "$display" -screen 0 "$size" -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
# Wait until the server answers (at most 5 s).
i=0
while ! DISPLAY=$display xdpyinfo >/dev/null 2>&1 && ! DISPLAY=$display import -window root -crop 1x1+0+0 null: >/dev/null 2>&1; do
    i=$((i + 1))
    if [ $i -gt 50 ]; then
        echo "Xvfb did not start on $display" >&2
        kill "$xvfb" 2>/dev/null
        exit 1
    fi
    sleep 0.1
done

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
