#!/usr/bin/env bash
# Builds Velmor and starts it. With no real unit configured, a simulated unit
# (velmor-unitsim, type 16 unless VELMOR_SIM_ARGS says otherwise) is started on
# a pseudo-terminal and the program's port 1 is pointed at it.
#
#   scripts/run.sh                 simulated type-16 unit
#   scripts/run.sh --counter       ... and its simulated reference counter (a
#                                  TICC on a second pseudo-terminal), recorded
#                                  by the program into the same history
#   VELMOR_SIM_ARGS="--type 9" scripts/run.sh     the legacy unit
#   VELMOR_DEVICE=/dev/ttyUSB0 scripts/run.sh     a real unit on that device
set -euo pipefail
cd "$(dirname "$0")/.."
# A first argument --counter (with the simulated unit) is the script's own;
# the rest go to the program.
sim_counter=""
if [ "${1:-}" = "--counter" ] && [ -z "${VELMOR_DEVICE:-}" ]; then
  sim_counter=1
  shift
fi
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMOR_BUILD_GUI=ON >/dev/null
cmake --build build -j"$(nproc)" --target velmor velmor-unitsim

if [ -z "${VELMOR_DEVICE:-}" ]; then
  # The demo keeps its own settings file, so the pseudo-terminal mapping it
  # writes never replaces the port of a real installation.
  export XDG_CONFIG_HOME="${VELMOR_DEMO_CONFIG:-${XDG_DATA_HOME:-$HOME/.local/share}/velmor-demo}"
  # Its recorded history and state too: the simulated unit never lands in
  # the history of a real one.
  export XDG_DATA_HOME="$XDG_CONFIG_HOME/data" XDG_STATE_HOME="$XDG_CONFIG_HOME/state"
fi
config_dir="${XDG_CONFIG_HOME:-$HOME/.config}/velmor"
ini="$config_dir/Velmor.INI"
mkdir -p "$config_dir"
# Where the program records (as it works it out: XDG_DATA_HOME when it is an
# absolute path, else ~/.local/share), said before it starts.
data_home="${XDG_DATA_HOME:-}"
[[ "$data_home" == /* ]] || data_home="$HOME/.local/share"
history_db="$data_home/velmor/history.sqlite3"
echo "Settings: $ini" >&2
echo "History:  $history_db" >&2
echo "          (read it with: build/velmor-history list --db '$history_db')" >&2

set_port_device() {
  # Points port 1 at $1 through section "Port Devices" of the settings file,
  # leaving every other line as it was.
  python3 - "$ini" "$1" <<'PY'
import sys, re, os
path, device = sys.argv[1], sys.argv[2]
text = open(path).read() if os.path.exists(path) else ""
lines = text.splitlines()
out, in_sec, done, seen = [], False, False, False
for line in lines:
    m = re.match(r'\s*\[(.*)\]\s*$', line)
    if m:
        if in_sec and not done:
            out.append("1=" + device); done = True
        in_sec = m.group(1).strip().lower() == "port devices"
        seen = seen or in_sec
    elif in_sec and re.match(r'\s*1\s*=', line):
        if not done:
            out.append("1=" + device); done = True
        continue
    out.append(line)
if in_sec and not done:
    out.append("1=" + device); done = True
if not seen:
    out += ["[Port Devices]", "1=" + device]
open(path, "w").write("\n".join(out) + "\n")
PY
}

sim_pid=""
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true; }
trap cleanup EXIT

if [ -n "${VELMOR_DEVICE:-}" ]; then
  set_port_device "$VELMOR_DEVICE"
else
  link="${XDG_RUNTIME_DIR:-/tmp}/velmor-unitsim-$$"
  # shellcheck disable=SC2086
  counter_args=()
  if [ -n "$sim_counter" ]; then
    counter_args=(--counter "$link-ticc")
    # The desktop runs the counter for this session only (its settings stay).
    set -- --counter "$link-ticc" "$@"
    echo "Counter:  $link-ticc (the simulated TICC; velmor-history export --counter --db ...)" >&2
  fi
  # shellcheck disable=SC2086
  build/velmor-unitsim --link "$link" "${counter_args[@]}" ${VELMOR_SIM_ARGS:-} > "$link.out" &
  sim_pid=$!
  for _ in $(seq 1 50); do [ -e "$link" ] && { [ -z "$sim_counter" ] || [ -e "$link-ticc" ]; } && break; sleep 0.1; done
  set_port_device "$link"
fi

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  . scripts/xvfb.sh
  start_xvfb 1280x1024x24 || exit 1
  echo "No display found: started a virtual X server on $DISPLAY." >&2
fi
build/velmor "$@"
