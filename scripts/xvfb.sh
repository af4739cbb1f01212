# Sourced by the scripts that need a private X server:
#   . scripts/xvfb.sh; start_xvfb 1024x768x24    sets DISPLAY and xvfb_pid
# The server picks a free display number itself (-displayfd) and writes it
# once it accepts connections, so two runs at once never share a display and
# nobody waits for a fixed time.
start_xvfb() {
  local size=${1:-1024x768x24} fifo number=""
  fifo=$(mktemp -u "${TMPDIR:-/tmp}/velmor-xvfb.XXXXXX")
  mkfifo "$fifo" || return 1
  Xvfb -displayfd 3 -screen 0 "$size" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  # The server writes the number and a newline; read waits for it (at most 30 s).
  read -r -t 30 number <"$fifo" || number=""
  rm -f "$fifo"
  if [ -z "$number" ]; then
    kill "$xvfb_pid" 2>/dev/null
    echo "Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=":$number"
}
