#!/usr/bin/env bash
# velmor-monitor's cost against one simulated unit: CPU share and resident
# memory over a minute (from /proc), the latency of a metrics scrape (curl),
# and the bytes per second through the shared line with ten clients.
#   bench/monitor_idle.sh [BUILD_DIR] [SECONDS]
# Targets: under 0.2 % of a core and under 20 MiB resident.
set -euo pipefail
build="${1:-build}"
seconds="${2:-60}"
dir=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

"$build/velmor-unitsim" --link "$dir/unit" --quiet >/dev/null &
pids+=($!)
for _ in $(seq 1 50); do [ -e "$dir/unit" ] && break; sleep 0.1; done
metrics=$(free_port)
share=$(free_port)
"$build/velmor-monitor" --device "$dir/unit" --baud 19200 --listen "127.0.0.1:$metrics" \
  --share "127.0.0.1:$share" --log-level warning &
monitor=$!
pids+=($monitor)
sleep 5  # identification and subscriptions

ticks() { awk '{print $14 + $15}' "/proc/$monitor/stat"; }
hz=$(getconf CLK_TCK)
start=$(ticks)
t0=$(date +%s.%N)
sleep "$seconds"
end=$(ticks)
t1=$(date +%s.%N)
rss=$(awk '/^VmRSS/ {print $2}' "/proc/$monitor/status")
hwm=$(awk '/^VmHWM/ {print $2}' "/proc/$monitor/status")
awk -v a="$start" -v b="$end" -v hz="$hz" -v t0="$t0" -v t1="$t1" \
  'BEGIN { printf "idle CPU: %.3f %% of a core over %.0f s\n", 100 * (b - a) / hz / (t1 - t0), t1 - t0 }'
awk -v r="$rss" -v h="$hwm" 'BEGIN { printf "resident: %.1f MiB (peak %.1f MiB)\n", r / 1024, h / 1024 }'

for _ in $(seq 1 50); do
  curl -s -o /dev/null -w '%{time_total}\n' "http://127.0.0.1:$metrics/metrics"
done | sort -n | awk '{ v[NR] = $1 } END { printf "scrape: median %.2f ms, worst %.2f ms (50 scrapes)\n", v[int((NR + 1) / 2)] * 1000, v[NR] * 1000 }'

python3 - "$share" <<'PY'
import socket, sys, time
port = int(sys.argv[1])
clients = [socket.create_connection(("127.0.0.1", port)) for _ in range(10)]
for c in clients: c.setblocking(False)
counts = [0] * 10
start = time.time()
while time.time() - start < 10:
    for i, c in enumerate(clients):
        try:
            while True:
                data = c.recv(65536)
                if not data: break
                counts[i] += len(data)
        except BlockingIOError:
            pass
    time.sleep(0.05)
elapsed = time.time() - start
print("share: %.0f B/s to each of 10 clients (%.0f B/s in all), least %.0f B/s"
      % (sum(counts) / 10 / elapsed, sum(counts) / elapsed, min(counts) / elapsed))
PY
