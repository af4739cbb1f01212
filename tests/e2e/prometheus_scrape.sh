#!/usr/bin/env bash
# A real Prometheus server scrapes velmor-monitor attached to the simulated
# unit, and its query API returns the unit's 1PPS offset and discipline state.
#   prometheus_scrape.sh MONITOR UNITSIM
# Exit 77 (skipped) where the prometheus server is not installed.
set -euo pipefail
monitor="$1"
unitsim="$2"
prometheus="${VELMOR_PROMETHEUS:-/usr/bin/prometheus}"
if [ ! -x "$prometheus" ]; then
  echo "SKIP: no Prometheus server at $prometheus (Debian package 'prometheus')"
  exit 77
fi
command -v curl >/dev/null || { echo "SKIP: curl is missing"; exit 77; }

dir=$(mktemp -d)
# Clean-up at exit, free_port and fail (which shows the logs).
. "$(dirname "$0")/prometheus_lib.sh"

"$unitsim" --link "$dir/unit" --quiet >"$dir/unitsim.out" &
pids+=($!)
for _ in $(seq 1 50); do [ -e "$dir/unit" ] && break; sleep 0.1; done
[ -e "$dir/unit" ] || fail "velmor-unitsim made no device"

# The monitor takes a port of the system's choosing and names it in its log
# (made first, so that reading it cannot race the shell that opens it).
: >"$dir/monitor.log"
"$monitor" --device "$dir/unit" --baud 19200 --listen "127.0.0.1:0" 2>"$dir/monitor.log" &
pids+=($!)
metrics_port=""
for _ in $(seq 1 200); do
  metrics_port=$(sed -n 's|.*metrics on http://127\.0\.0\.1:\([0-9][0-9]*\)/metrics.*|\1|p' "$dir/monitor.log")
  [ -n "$metrics_port" ] && break
  sleep 0.1
done
[ -n "$metrics_port" ] || fail "the monitor named no metrics port"

cat >"$dir/prometheus.yml" <<YAML
global:
  scrape_interval: 1s
  evaluation_interval: 1s
scrape_configs:
  - job_name: velmor
    static_configs:
      - targets: ['127.0.0.1:$metrics_port']
YAML
# Prometheus has no "any free port": a port is picked, and picked again when
# the server reports it taken.
web_port=""
for _ in 1 2 3 4 5; do
  port=$(free_port)
  "$prometheus" --config.file="$dir/prometheus.yml" --storage.tsdb.path="$dir/data" \
    --web.listen-address="127.0.0.1:$port" >"$dir/prometheus.log" 2>&1 &
  pid=$!
  for _ in $(seq 1 300); do
    # Its own log, not the port, says it is ready: another test's server may
    # answer on a port this one failed to take.
    if grep 'Server is ready to receive web requests' "$dir/prometheus.log" >/dev/null 2>&1; then
      web_port=$port
      break
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -n "$web_port" ]; then pids+=("$pid"); break; fi
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
done
[ -n "$web_port" ] || fail "Prometheus did not start"

# A result is there once the unit reported and one scrape went through.
found=""
for _ in $(seq 1 60); do
  reply=$(query velmor_pps_offset_seconds)
  if grep -q '"result":\[{' <<<"$reply"; then found=1; break; fi
  sleep 1
done
[ -n "$found" ] || fail "no velmor_pps_offset_seconds in Prometheus: $reply"
echo "velmor_pps_offset_seconds: $reply"

reply=$(query 'velmor_discipline_state == 1')
grep -q '"state":"' <<<"$reply" || fail "no current discipline state: $reply"
echo "velmor_discipline_state: $reply"
reply=$(query 'up{job="velmor"}')
grep -q '"value":\[[0-9.]*,"1"\]' <<<"$reply" || fail "the target is not up: $reply"
echo "PASS"
