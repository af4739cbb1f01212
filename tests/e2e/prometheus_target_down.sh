#!/usr/bin/env bash
# Two velmor-monitor instances under a real Prometheus with the shipped
# alert rules (a copy with every for: set to 10 s, evaluated each second).
# Killing one fires VelmorTargetDown for that instance alone, no sooner than
# its for: time and within for: plus two evaluation intervals plus one
# scrape interval (and a margin for a loaded machine).
#   prometheus_target_down.sh MONITOR UNITSIM ALERT_RULES
# Exit 77 (skipped) where the prometheus server is not installed.
set -euo pipefail
monitor="$1"
unitsim="$2"
rules="$3"
prometheus="${VELMOR_PROMETHEUS:-/usr/bin/prometheus}"
dir=$(mktemp -d)
. "$(dirname "$0")/prometheus_lib.sh"
require_prometheus

for_s=10
eval_s=1
scrape_s=1
margin_s=10
python3 - "$rules" "$dir/rules.yml" "$for_s" <<'PY'
import re, sys
text = open(sys.argv[1]).read()
text, count = re.subn(r"(?m)^(\s*)for: \S+$", r"\g<1>for: %ss" % sys.argv[3], text)
assert count > 0, "no for: in the rules"
open(sys.argv[2], "w").write(text)
PY

start_unitsim unit-a --state 1
start_unitsim unit-b --state 1
start_monitor a --device "$dir/unit-a" --baud 19200
port_a=$monitor_port
start_monitor b --device "$dir/unit-b" --baud 19200
port_b=$monitor_port
pid_b=$monitor_pid

cat >"$dir/prometheus.yml" <<YAML
global:
  scrape_interval: ${scrape_s}s
  scrape_timeout: ${scrape_s}s
  evaluation_interval: ${eval_s}s
rule_files:
  - $dir/rules.yml
scrape_configs:
  - job_name: velmor
    static_configs:
      - targets: ['127.0.0.1:$port_a', '127.0.0.1:$port_b']
YAML
start_prometheus "$dir/prometheus.yml"

wait_for 60 'up{job="velmor"}' "instance=127.0.0.1:$port_a=1
instance=127.0.0.1:$port_b=1"
[ -z "$(values 'ALERTS{alertname="VelmorTargetDown"}')" ] || fail "target-down before anything died"

{ kill -KILL "$pid_b"; wait "$pid_b"; } 2>/dev/null || true
killed=$(date +%s.%N)
firing=""
for _ in $(seq 1 600); do
  firing=$(values 'ALERTS{alertname="VelmorTargetDown",alertstate="firing"}')
  [ -n "$firing" ] && break
  sleep 0.1
done
fired=$(date +%s.%N)
[ -n "$firing" ] || fail "VelmorTargetDown never fired"
expected="alertname=VelmorTargetDown,alertstate=firing,instance=127.0.0.1:$port_b,severity=critical=1"
[ "$firing" = "$expected" ] || fail "firing alerts: $firing; wanted $expected"
# Prometheus's own clock: when the target was first seen down (the alert's
# activeAt) and the first evaluation that found it firing.
alerts=$(curl -sf --max-time 2 "http://127.0.0.1:$web_port/api/v1/alerts" || true)
range=$(curl -sf --max-time 2 "http://127.0.0.1:$web_port/api/v1/query_range" \
  --data-urlencode 'query=ALERTS{alertname="VelmorTargetDown",alertstate="firing"}' \
  --data-urlencode "start=$killed" --data-urlencode "end=$(date +%s.%N)" --data-urlencode "step=0.1" || true)
held=$(python3 - "$alerts" "$range" <<'PY'
import datetime, json, sys
alert = json.loads(sys.argv[1])["data"]["alerts"][0]
stamp = alert["activeAt"].rstrip("Z")
whole, _, fraction = stamp.partition(".")
active = datetime.datetime.fromisoformat(whole).replace(tzinfo=datetime.timezone.utc).timestamp()
active += float("0." + (fraction or "0"))
first = min(float(v[0]) for series in json.loads(sys.argv[2])["data"]["result"] for v in series["values"])
print("%.2f %.2f" % (active, first - active))
PY
) || fail "no alert times from Prometheus: $alerts $range"
read -r active held <<<"$held"
echo "Prometheus saw the target down $(awk -v a="$killed" -v b="$active" 'BEGIN { printf "%.1f", b - a }')s after the kill; pending to firing took ${held}s"
awk -v h="$held" -v f="$for_s" -v e="$eval_s" 'BEGIN { exit !(h >= f && h <= f + 2 * e) }' ||
  fail "pending to firing took ${held}s, not within for: ${for_s}s plus two evaluations of ${eval_s}s"
latency=$(awk -v a="$killed" -v b="$fired" 'BEGIN { printf "%.1f", b - a }')
limit=$((for_s + 2 * eval_s + scrape_s + margin_s))
echo "VelmorTargetDown fired ${latency}s after the kill (for: ${for_s}s, evaluation ${eval_s}s, scrape ${scrape_s}s)"
awk -v l="$latency" -v f="$for_s" 'BEGIN { exit !(l >= f) }' || fail "fired after ${latency}s, before its for: time"
awk -v l="$latency" -v m="$limit" 'BEGIN { exit !(l <= m) }' || fail "fired after ${latency}s, later than ${limit}s"
# The living monitor's target is still up and has no alert of its own.
wait_for 5 "up{instance=\"127.0.0.1:$port_a\"}" "instance=127.0.0.1:$port_a=1"
echo "PASS"
