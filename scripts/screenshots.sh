#!/usr/bin/env bash
# Makes the pictures under docs/screenshots/: the main window against the
# simulated unit, the History window, and every dialog of the Setup, Com Setup and Help menus,
# each opened in the real program through its menu accelerators.
#
#   scripts/screenshots.sh            all pictures
#   scripts/screenshots.sh mode about only the pictures named so
#
# Runs on a private X server (Xvfb on a free display) with a
# private settings file in a temporary directory, so the operator's own
# settings are never touched. Keys reach the program through the XTEST
# extension after a click into the page has given the main window the focus
# (there is no window manager to do it), so Alt+S and the item's letter open
# a Setup dialog as an operator's keyboard would. Each picture is cut to its window (the dialog when one is
# open, else the main window). Needs Xvfb, xwininfo, ImageMagick's import and
# convert, python3, libX11 and libXtst.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${VELMOR_SHOTS_BUILD:-$root/build-shots}
out=$root/docs/screenshots

if [ ! -x "$build/velmor" ] || [ ! -x "$build/velmor-unitsim" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DVELMOR_BUILD_GUI=ON >/dev/null
  ninja -C "$build" -j2 velmor velmor-unitsim
fi
mkdir -p "$out"

tmp=$(mktemp -d)
export XDG_CONFIG_HOME=$tmp/config XDG_DATA_HOME=$tmp/data XDG_STATE_HOME=$tmp/state
mkdir -p "$XDG_CONFIG_HOME/velmor"
xvfb=""
app=""
sim=""
stop_unit() {
  # Ends the program and the simulated unit of one picture, by their ids.
  if [ -n "$app" ]; then kill "$app" 2>/dev/null || true; wait "$app" 2>/dev/null || true; app=""; fi
  if [ -n "$sim" ]; then kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; sim=""; fi
}
cleanup() {
  stop_unit
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

. "$root/scripts/xvfb.sh"
start_xvfb 1024x768x24 || exit 1
xvfb=$xvfb_pid
export QT_QPA_PLATFORM=xcb

press() {
  # Presses each chord ("alt+s", "m", "Return") through XTEST, one a second.
  # Without a window manager nobody hands out the keyboard focus: a click
  # into the page (which ignores clicks) makes the main window the active one.
  python3 "$root/scripts/xtest-keys.py" 1 click:320,400 "$@"
}

top_window() {
  # The id of the viewable top-level window named $caption when that is set;
  # else the topmost one whose name is not the main window's, or the main
  # window's when no other is shown.
  local main="" top="" id
  while read -r id name; do
    info=$(xwininfo -id "$id" 2>/dev/null || true)
    grep -q 'IsViewable' <<<"$info" || continue
    if [ -n "${caption:-}" ]; then
      [ "$name" = "\"$caption\"" ] && [ -z "$top" ] && top=$id
      continue
    fi
    case "$name" in
      *"Velmor - GPS Windows User Interface"*) main=$id ;;
      '"'*) [ -z "$top" ] && top=$id ;;
    esac
  # xwininfo lists the children from the top of the stack down.
  done < <(xwininfo -root -children | sed -n 's/^ *\(0x[0-9a-f]*\) \("[^"]*"\).*/\1 \2/p')
  echo "${top:-$main}"
}

shot() {
  # shot NAME SECONDS "SIM ARGS" [KEYS...]: one picture of a fresh program.
  local name=$1 seconds=$2 simargs=$3
  shift 3
  case " ${ONLY:-} " in "  ") ;; *" $name "*) ;; *) return 0 ;; esac
  local link=$tmp/unit
  rm -f "$link" "$XDG_CONFIG_HOME/velmor/Velmor.INI"
  # shellcheck disable=SC2086
  "$build/velmor-unitsim" --quiet --link "$link" $simargs >/dev/null &
  sim=$!
  for _ in $(seq 1 50); do [ -e "$link" ] && break; sleep 0.1; done
  printf '[Port Devices]\n1=%s\n%s' "$link" "${ini_extra:-}" > "$XDG_CONFIG_HOME/velmor/Velmor.INI"
  # shellcheck disable=SC2086
  "$build/velmor" ${appargs:-} >/dev/null 2>&1 &
  app=$!
  sleep "$seconds"
  [ $# -gt 0 ] && press "$@"
  sleep "${after:-1}"
  local id
  id=$(top_window)
  if [ -z "$id" ]; then
    echo "$name: no window to take" >&2
  else
    import -window "$id" "$tmp/$name.png"
    # Palette PNGs keep the flat dialog pictures small.
    convert "$tmp/$name.png" -strip -colors 64 "PNG8:$out/$name.png"
    echo "$out/$name.png"
  fi
  stop_unit
}

ONLY="${*:-}"
locked="--state 1 --warmup 0"
shot main-window 15 "$locked"
shot legacy-unit 15 "--type 9 $locked"
shot mode 6 "$locked" alt+s m
caption="Manual Time Dialog" shot manual-time 6 "--type 0 $locked" alt+s m alt+m
shot antenna-delay 6 "$locked" alt+s a
shot antenna-position 6 "$locked" alt+s p
shot ref-pulse 6 "--part 123-4567-01 $locked" alt+s u
shot rate-output 6 "--type 3 $locked" alt+s r
shot event-trigger 6 "--type 3 $locked" alt+s e
shot time-tag 6 "--type 3 $locked" alt+s t
shot dac-value 6 "--type 0 $locked" alt+s d
shot mask-angle 6 "$locked" alt+s n
shot beep 6 "--type 0 $locked" alt+s b
shot tod-type 6 "--type 9 $locked" alt+s o
shot about 6 "$locked" alt+h v
shot serial-port 6 "$locked" alt+c s
# The History window (View > History) over three minutes of a unit whose clock
# runs thirty times fast: ninety minutes of record, coasting from minute 60.
# Its own data directory: the other pictures' units are not in its history.
XDG_DATA_HOME=$tmp/history-data caption="Velmor - History" shot history 180 \
  "--speed 30 --state 1 --warmup 0 --coast-after 3600" alt+v h
# Its Deviation tab (Alt+D) over two and a half hours of a unit running sixty
# times fast: confidence bars, the noise type at each tau, TDEV on the right.
XDG_DATA_HOME=$tmp/deviation-data caption="Velmor - History" after=4 shot history-deviation 150 \
  "--speed 60 --state 1 --warmup 0" alt+v h alt+d
# The same tab with a simulated reference counter beside the unit (thirty
# times fast, so seventy-five minutes of record): the unit's own report and
# the counter's A-B phase overlaid, each with its confidence bars.
XDG_DATA_HOME=$tmp/counter-data caption="Velmor - History" after=4 \
  ini_extra=$'[History]\nDeviation Source=2\n' appargs="--counter $tmp/ticc" \
  shot history-counter 150 "--speed 30 --state 1 --warmup 0 --counter $tmp/ticc" alt+v h alt+d
# The Link Health window (View > Link Health) after a quarter of a minute.
caption="Link Health" shot link-health 15 "$locked" alt+v l
# The Events window (View > Events) of a unit that loses GPS after a few
# minutes of its fast clock: lock lost and holdover started, each held 5 s.
caption="Events" shot events 30 "--speed 30 --state 1 --warmup 0 --coast-after 300" alt+v e
