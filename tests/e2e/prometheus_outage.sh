#!/usr/bin/env bash
# Outages as a real Prometheus records them. velmor-monitor watches a
# simulated unit that loses GPS (SIGUSR1), then is killed and restarted:
#  - the dashboard's discipline-state query gives one series per unit whose
#    value maps to the state (locked, then holdover);
#  - lock-lost and holdover-started, then link-lost and link-restored, are
#    counted in velmor_events_total, logged at their journal priorities and
#    kept in the history's events table;
#  - velmor_up and velmor_data_fresh drop before the 10 s stale rule could
#    have, and the reading gauges vanish (no frozen line) while counters and
#    the identity stay; everything returns with the unit.
#   prometheus_outage.sh MONITOR UNITSIM DASHBOARD_JSON
# Exit 77 (skipped) where the prometheus server is not installed.
set -euo pipefail
monitor="$1"
unitsim="$2"
dashboard="$3"
prometheus="${VELMOR_PROMETHEUS:-/usr/bin/prometheus}"
dir=$(mktemp -d)
. "$(dirname "$0")/prometheus_lib.sh"
require_prometheus

start_unitsim unit --state 1
start_monitor monitor --device "$dir/unit" --baud 19200 --db "$dir/history.sqlite3"
port=$monitor_port
pid_monitor=$monitor_pid
cat >"$dir/prometheus.yml" <<YAML
global:
  scrape_interval: 1s
  evaluation_interval: 1s
scrape_configs:
  - job_name: velmor
    static_configs:
      - targets: ['127.0.0.1:$port']
YAML
start_prometheus "$dir/prometheus.yml"

# The dashboard's own state-timeline query, every unit selected.
state_query=$(python3 - "$dashboard" <<'PY'
import json, sys
panels = json.load(open(sys.argv[1]))["panels"]
expr = next(p for p in panels if p["title"] == "Discipline state")["targets"][0]["expr"]
print(expr.replace("$instance", ".*").replace("$device", ".*"))
PY
)
dev="device=$dir/unit"
inst="instance=127.0.0.1:$port"
unit="$dev,$inst"
ident="$unit,part_number=512-6200-04"
readings='{__name__=~"velmor_(pps_offset_seconds|frequency_error_ratio|dac_value|temperature_celsius|tfom|satellites|discipline_state|holdover_seconds)"}'

wait_for 60 velmor_up "$unit=1"
wait_for 30 velmor_data_fresh "$unit=1"
wait_for 30 "$state_query" "$ident=2"
wait_for 30 'count by (device, instance) (velmor_pps_offset_seconds)' "$unit=1"

# Every query of the dashboard is one Prometheus accepts.
python3 - "$dashboard" "$web_port" <<'PY' || fail "the dashboard has queries Prometheus refuses"
import json, sys, urllib.parse, urllib.request
panels = json.load(open(sys.argv[1]))["panels"]
bad = 0
for panel in panels:
    for target in panel.get("targets", []):
        expr = target["expr"].replace("$instance", ".*").replace("$device", ".*").replace("$window", ".*")
        url = "http://127.0.0.1:%s/api/v1/query?%s" % (sys.argv[2], urllib.parse.urlencode({"query": expr}))
        try:
            status = json.load(urllib.request.urlopen(url, timeout=5))["status"]
        except Exception as error:
            status = str(error)
        if status != "success":
            print("panel %r: %s: %s" % (panel["title"], status, expr))
            bad += 1
sys.exit(1 if bad else 0)
PY

# GPS lost: holdover on the timeline, and the two events after the hold-off.
kill -USR1 "$sim_pid"
wait_for 30 "$state_query" "$ident=3"
wait_for 30 'velmor_events_total{event=~"lock-lost|holdover-started|link-lost"}' \
  "$dev,event=holdover-started,$inst=1
$dev,event=link-lost,$inst=0
$dev,event=lock-lost,$inst=1"

# The unit goes away.
kill -TERM "$sim_pid"
wait "$sim_pid" 2>/dev/null || true
wait_for 9 velmor_up "$unit=0"
wait_for 9 velmor_data_fresh "$unit=0"
wait_for 9 "count by (__name__) ($readings)" ""
wait_for 9 "$state_query" ""
kept='{__name__=~"velmor_(unit_info|sentences_total|reconnects_total|last_sentence_timestamp_seconds)"}'
wait_for 5 "count by (metric) (label_replace($kept, \"metric\", \"\$1\", \"__name__\", \"(.+)\"))" \
  "metric=velmor_last_sentence_timestamp_seconds=1
metric=velmor_reconnects_total=1
metric=velmor_sentences_total=1
metric=velmor_unit_info=1"
wait_for 30 'velmor_events_total{event="link-lost"}' "$dev,event=link-lost,$inst=1"
# Still nothing frozen after the stale limit has passed.
sleep_until=$((SECONDS + 3))
while [ "$SECONDS" -lt "$sleep_until" ]; do
  [ -z "$(values "$readings")" ] || fail "reading gauges during the outage: $(values "$readings")"
  sleep 0.5
done

# Back: the same device path, a new unit process.
start_unitsim unit --state 1
wait_for 60 velmor_up "$unit=1"
wait_for 30 velmor_data_fresh "$unit=1"
wait_for 30 "$state_query" "$ident=2"
wait_for 30 'velmor_reconnects_total' "$unit=1"
wait_for 30 'velmor_events_total{event="link-restored"}' "$dev,event=link-restored,$inst=1"

kill -TERM "$pid_monitor"
wait "$pid_monitor" 2>/dev/null || true
log=$(cat "$dir/monitor.log")
for line in "<3>$dir/unit: lock-lost state=Coasting" "<3>$dir/unit: holdover-started state=Coasting" \
            "<3>$dir/unit: link-lost" "<5>$dir/unit: link-restored"; do
  grep -qF "$line" <<<"$log" || fail "no '$line' in the monitor's log"
done
# The table holds them in order (among the others the outage brings,
# such as unit-reidentified), each under this unit.
python3 - "$dir/history.sqlite3" "$dir/unit" <<'PY' || fail "the events table lacks the outage's events"
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
rows = db.execute("SELECT u.device, u.part_number, e.name FROM events e JOIN units u ON u.id = e.unit_id"
                  " ORDER BY e.id").fetchall()
names = iter(name for _, _, name in rows)
wanted = ["lock-lost", "holdover-started", "link-lost", "link-restored"]
missing = [name for name in wanted if name not in names]  # in order: the iterator is shared
others = {(device, part) for device, part, _ in rows} - {(sys.argv[2], "512-6200-04")}
print("events table:", [name for _, _, name in rows], "missing:", missing, "other units:", others)
sys.exit(1 if missing or others else 0)
PY
echo "PASS"
