# Shared by the live-Prometheus tests (sourced): processes cleaned up at
# exit, monitors on ports of their own choosing, a Prometheus server started
# with port retry, and queries of its API.
# The caller sets: dir (a fresh directory), prometheus (the server binary).

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

fail() {
  echo "FAIL: $*" >&2
  for log in "$dir"/*.log; do
    echo "--- $(basename "$log") (tail)" >&2
    tail -n 30 "$log" >&2 || true
  done
  exit 1
}

# start_unitsim NAME ARGS...: a simulated unit linked at $dir/NAME; its pid in sim_pid.
start_unitsim() {
  local name="$1"
  shift
  "$unitsim" --link "$dir/$name" --quiet "$@" >"$dir/$name-sim.out" &
  sim_pid=$!
  pids+=("$sim_pid")
  for _ in $(seq 1 100); do [ -e "$dir/$name" ] && return 0; sleep 0.1; done
  fail "velmor-unitsim made no device $dir/$name"
}

# start_monitor NAME ARGS...: velmor-monitor logging to $dir/NAME.log on a
# port the system picks; its pid in monitor_pid and its port in monitor_port.
start_monitor() {
  local name="$1"
  shift
  # The log exists before the monitor starts: reading it must not race the
  # shell that opens it for the monitor.
  : >"$dir/$name.log"
  "$monitor" --listen "127.0.0.1:0" "$@" 2>"$dir/$name.log" &
  monitor_pid=$!
  pids+=("$monitor_pid")
  monitor_port=""
  for _ in $(seq 1 200); do
    monitor_port=$(sed -n 's|.*metrics on http://127\.0\.0\.1:\([0-9][0-9]*\)/metrics.*|\1|p' "$dir/$name.log")
    [ -n "$monitor_port" ] && return 0
    sleep 0.1
  done
  fail "monitor $name named no metrics port"
}

# start_prometheus CONFIG: web_port and prometheus_pid set once it is ready.
# Prometheus has no "any free port": a port is picked, and picked again when
# the server reports it taken.
start_prometheus() {
  web_port=""
  for _ in 1 2 3 4 5; do
    local port
    port=$(free_port)
    rm -rf "$dir/data"
    "$prometheus" --config.file="$1" --storage.tsdb.path="$dir/data" \
      --web.listen-address="127.0.0.1:$port" >"$dir/prometheus.log" 2>&1 &
    prometheus_pid=$!
    for _ in $(seq 1 300); do
      # Its own log, not the port, says it is ready: another test's server
      # may answer on a port this one failed to take.
      if grep 'Server is ready to receive web requests' "$dir/prometheus.log" >/dev/null 2>&1; then
        web_port=$port
        break
      fi
      kill -0 "$prometheus_pid" 2>/dev/null || break
      sleep 0.1
    done
    if [ -n "$web_port" ]; then pids+=("$prometheus_pid"); return 0; fi
    kill "$prometheus_pid" 2>/dev/null || true
    wait "$prometheus_pid" 2>/dev/null || true
  done
  fail "Prometheus did not start"
}

# query PROMQL: the API's JSON reply (empty when it did not answer).
query() {
  curl -sf --max-time 2 "http://127.0.0.1:$web_port/api/v1/query" --data-urlencode "query=$1" || true
}

# values PROMQL: one line per series, "labels=value", sorted.
values() {
  local reply
  reply=$(query "$1")
  python3 -c '
import json, sys
try:
    data = json.loads(sys.argv[1])["data"]["result"]
except Exception:
    sys.exit(0)
rows = []
for series in data:
    labels = ",".join("%s=%s" % (k, v) for k, v in sorted(series["metric"].items()) if k not in ("job", "__name__"))
    rows.append("%s=%s" % (labels, series["value"][1]))
print("\n".join(sorted(rows)))
' "$reply"
}

# wait_for SECONDS PROMQL EXPECTED: until values PROMQL prints EXPECTED
# (its lines in any order).
wait_for() {
  local seconds="$1" promql="$2" got=""
  local expected
  expected=$(python3 -c 'import sys; print("\n".join(sorted(sys.argv[1].splitlines())))' "$3")
  local deadline=$((SECONDS + seconds))
  while [ "$SECONDS" -le "$deadline" ]; do
    got=$(values "$promql")
    [ "$got" = "$expected" ] && return 0
    sleep 0.2
  done
  fail "after ${seconds}s, $promql gives
$got
wanted
$expected"
}

require_prometheus() {
  if [ ! -x "$prometheus" ]; then
    echo "SKIP: no Prometheus server at $prometheus (Debian package 'prometheus')"
    exit 77
  fi
  command -v curl >/dev/null || { echo "SKIP: curl is missing"; exit 77; }
}
