#!/usr/bin/env bash
# The desktop program's command line as a newcomer meets it: --help and
# --version without a display, a wrong option, no display at all, an X
# display nobody serves, and a real X server (Xvfb) where it starts, draws its
# first page against the simulated unit and quits by itself.
#   desktop_command_line.sh VELMOR UNITSIM VERSION
set -euo pipefail
velmor="$1"
unitsim="$2"
version="$3"

dir=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# Nothing of the user's: settings, history and logs go to the test's directory.
export XDG_CONFIG_HOME="$dir/config" XDG_DATA_HOME="$dir/data" XDG_STATE_HOME="$dir/state" XDG_RUNTIME_DIR="$dir"
# Runs velmor with what follows under a clean display environment; sets rc,
# out and err.
run() {
  set +e
  env -u DISPLAY -u WAYLAND_DISPLAY -u WAYLAND_SOCKET -u QT_QPA_PLATFORM "$@" >"$dir/out" 2>"$dir/err"
  rc=$?
  set -e
  out=$(cat "$dir/out")
  err=$(cat "$dir/err")
}

# --help: the usage and every option, on standard output, status 0.
run timeout 30 "$velmor" --help
[ "$rc" -eq 0 ] || fail "--help exited with $rc: $err"
[[ "$out" == usage:\ velmor* ]] || fail "--help does not start with the usage: $out"
for option in --capture --history-db --no-history --counter --help --version; do
  grep -qe "^  $option" <<<"$out" || fail "--help does not describe $option"
done
[ -z "$err" ] || fail "--help wrote to standard error: $err"

# --version: the project's version, status 0.
run timeout 30 "$velmor" --version
[ "$rc" -eq 0 ] || fail "--version exited with $rc"
[ "$out" = "velmor $version" ] || fail "--version printed '$out', not 'velmor $version'"

# A wrong option: status 2 and what was wrong, before any display is needed.
run timeout 30 env QT_QPA_PLATFORM=offscreen "$velmor" --bogus
[ "$rc" -eq 2 ] || fail "--bogus exited with $rc"
grep -q "unknown option --bogus" <<<"$err" || fail "--bogus: $err"
run timeout 30 "$velmor" --capture
[ "$rc" -eq 2 ] || fail "--capture without a file exited with $rc"

# One line and status 1, never an abort, where no display can be opened.
expect_no_display() {
  local what="$1" mention="$2"
  [ "$rc" -eq 1 ] || fail "$what: exited with $rc (134 is Qt's abort): $err"
  [ "$(wc -l <"$dir/err")" -eq 1 ] || fail "$what: not one line on standard error: $err"
  [[ "$err" == velmor:\ * ]] || fail "$what: $err"
  grep -qF -- "$mention" <<<"$err" || fail "$what: '$mention' is not named: $err"
}
run timeout 30 "$velmor"
expect_no_display "no DISPLAY" "DISPLAY"
run timeout 30 env QT_QPA_PLATFORM=xcb "$velmor"
expect_no_display "xcb without DISPLAY" "DISPLAY is not set"
if [ ! -e /tmp/.X11-unix/X199 ]; then
  run timeout 30 env DISPLAY=:199 "$velmor"
  expect_no_display "DISPLAY=:199" ":199"
  run timeout 30 "$velmor" -display :199
  expect_no_display "-display :199" ":199"
fi
run timeout 30 env WAYLAND_DISPLAY=wayland-velmor-test "$velmor"
expect_no_display "an absent Wayland display" "wayland-velmor-test"

# Something answers on the display's port but is no X server: the question
# passes, Qt's plug-in fails, and that too ends in one line, not an abort.
python3 -c '
import socket, sys
s = socket.socket()
s.bind(("127.0.0.1", 0))
s.listen(8)
print(s.getsockname()[1], flush=True)
while True:
    c, _ = s.accept()
    c.close()
' >"$dir/fakex.port" &
pids+=($!)
for _ in $(seq 1 100); do [ -s "$dir/fakex.port" ] && break; sleep 0.1; done
port=$(cat "$dir/fakex.port")
[ -n "$port" ] && [ "$port" -gt 6000 ] || fail "no port for the stand-in X server: '$port'"
run timeout 30 env DISPLAY="127.0.0.1:$((port - 6000))" "$velmor"
expect_no_display "a display that is no X server" "platform plug-in"

# The simulated unit on port 1.
"$unitsim" --link "$dir/unit" --quiet >"$dir/unitsim.out" &
pids+=($!)
for _ in $(seq 1 50); do [ -e "$dir/unit" ] && break; sleep 0.1; done
[ -e "$dir/unit" ] || fail "velmor-unitsim made no device"
mkdir -p "$XDG_CONFIG_HOME/velmor"
printf '[Port Devices]\n1=%s\n' "$dir/unit" >"$XDG_CONFIG_HOME/velmor/Velmor.INI"

# offscreen and minimal need no display: the program starts, draws its first
# page and quits.
for platform in offscreen minimal; do
  run timeout 60 env QT_QPA_PLATFORM=$platform VELMOR_EXIT_AFTER_FIRST_PAGE=1 "$velmor" --no-history
  [ "$rc" -eq 0 ] || fail "QT_QPA_PLATFORM=$platform without a display: exited with $rc: $err"
done
run timeout 60 env VELMOR_EXIT_AFTER_FIRST_PAGE=1 "$velmor" -platform offscreen --no-history
[ "$rc" -eq 0 ] || fail "-platform offscreen without a display: exited with $rc: $err"

command -v Xvfb >/dev/null || { echo "SKIP: Xvfb is missing (Debian package 'xvfb')"; exit 77; }
# A real X server on a display number it chooses itself.
exec 3>"$dir/displayfd"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$dir/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
for _ in $(seq 1 300); do [ -s "$dir/displayfd" ] && break; sleep 0.1; done
display=$(tr -dc 0-9 <"$dir/displayfd")
[ -n "$display" ] || fail "Xvfb gave no display number: $(cat "$dir/xvfb.log")"

for name in ":$display" "unix:$display.0"; do
  run timeout 60 env DISPLAY="$name" VELMOR_EXIT_AFTER_FIRST_PAGE=1 "$velmor" --no-history
  [ "$rc" -eq 0 ] || fail "DISPLAY=$name: exited with $rc: $err"
  if grep -q "cannot open" <<<"$err"; then fail "DISPLAY=$name: $err"; fi
done
echo "PASS"
