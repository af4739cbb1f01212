#!/usr/bin/env bash
# Measures Velmor's performance and prints a Markdown table:
#   - the core benchmarks (velmor_bench): receive path on the recorded
#     type-16 stream, page build time;
#   - whole-program figures under /usr/bin/time -v, each beside the same
#     figure for a minimal Qt Widgets program built with the same flags:
#     start-up to the first drawn page (median of 5), peak resident memory,
#     and CPU (user+sys) over 60 s connected to velmor-unitsim (type 16).
# Both GUI programs run on the offscreen platform.
#
#   bash scripts/bench.sh                  everything
#   VELMOR_BENCH_SECONDS=20 bash scripts/bench.sh   a shorter monitoring run
#   VELMOR_BENCH_QUICK=1 bash scripts/bench.sh      a smoke run of a few seconds
#     (each benchmark briefly, one start-up each, 6 s of monitoring): the
#     test command runs it so that the script keeps working; its figures
#     are not for the README
#   VELMOR_BENCH_BUILD_DIR=build bash scripts/bench.sh  an existing build
#     configured with -DVELMOR_BUILD_BENCH=ON (it is built, not configured)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

quick=${VELMOR_BENCH_QUICK:-0}
if [ "$quick" = 1 ]; then
  monitor_seconds=${VELMOR_BENCH_SECONDS:-6}
  startup_runs=1
  bench_args=(--benchmark_min_time=0.01)
else
  monitor_seconds=${VELMOR_BENCH_SECONDS:-60}
  startup_runs=5
  bench_args=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true)
fi
# CPU is counted from this far into the run, past start-up.
steady_from=$(( monitor_seconds >= 20 ? 10 : monitor_seconds / 2 ))

if [ -n "${VELMOR_BENCH_BUILD_DIR:-}" ]; then
  build=$VELMOR_BENCH_BUILD_DIR
  [ -f "$build/build.ninja" ] || { echo "bench: $build is not a configured build" >&2; exit 1; }
else
  build=build-bench
  # RelWithDebInfo is the program's usual build (scripts/run.sh); GCC 12 at -O3
  # reports spurious -Wrestrict errors in libstdc++'s string code.
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELMOR_BUILD_GUI=ON -DVELMOR_BUILD_TESTS=OFF -DVELMOR_BUILD_BENCH=ON >/dev/null
fi
ninja -C "$build" -j2 velmor_bench velmor velmor_minimal_qt velmor-unitsim >/dev/null

work=$(mktemp -d)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# ---- core benchmarks ---------------------------------------------------------
echo "Running velmor_bench ..." >&2
"$build/velmor_bench" "${bench_args[@]}" \
  --benchmark_format=json --benchmark_out="$work/bench.json" --benchmark_out_format=json >/dev/null

# ---- a simulated unit, and a settings file pointing port 1 at it -------------
export QT_QPA_PLATFORM=offscreen
export XDG_CONFIG_HOME="$work/config"
# The measured program records its history here, never in the user's.
export XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state"
mkdir -p "$XDG_CONFIG_HOME/velmor"
"$build/velmor-unitsim" --type 16 --quiet --link "$work/unit" >"$work/unitsim.out" &
sim_pid=$!
for _ in $(seq 1 50); do [ -e "$work/unit" ] && break; sleep 0.1; done
[ -e "$work/unit" ] || { echo "velmor-unitsim did not start" >&2; exit 1; }
printf '[Port Devices]\n1=%s\n' "$work/unit" >"$XDG_CONFIG_HOME/velmor/Velmor.INI"

# Prints "wall_seconds max_rss_kb user_seconds sys_seconds" from a time -v report.
time_fields() {
  python3 - "$1" <<'PY'
import re, sys
text = open(sys.argv[1]).read()
def field(label):
    return re.search(re.escape(label) + r":\s*(\S+)", text).group(1)
wall = field("Elapsed (wall clock) time (h:mm:ss or m:ss)")
seconds = 0.0
for part in wall.split(":"):
    seconds = seconds * 60 + float(part)
print(seconds, field("Maximum resident set size (kbytes)"), field("User time (seconds)"),
      field("System time (seconds)"))
PY
}

# ---- start-up to the first drawn page ---------------------------------------
for program in velmor velmor_minimal_qt; do
  echo "Start-up of $program, $startup_runs runs ..." >&2
  for run in $(seq 1 "$startup_runs"); do
    VELMOR_EXIT_AFTER_FIRST_PAGE=1 /usr/bin/time -v -o "$work/startup-$program-$run.txt" \
      timeout 30 "$build/$program" >/dev/null 2>&1 || true
    time_fields "$work/startup-$program-$run.txt" >>"$work/startup-$program.txt"
  done
done

# ---- CPU and memory over the monitoring run ---------------------------------
# Both programs run over the same period: Velmor monitoring the simulated unit,
# the minimal program idling. Each is ended with SIGTERM after the period.
echo "Monitoring for $monitor_seconds s ..." >&2
/usr/bin/time -v -o "$work/monitor-velmor.txt" "$build/velmor" >/dev/null 2>&1 &
time_velmor=$!
/usr/bin/time -v -o "$work/monitor-velmor_minimal_qt.txt" "$build/velmor_minimal_qt" >/dev/null 2>&1 &
time_minimal=$!
# The measured programs are the children of time; wait until both exist.
velmor_pid="" minimal_pid=""
for _ in $(seq 1 100); do
  velmor_pid=$(pgrep -P "$time_velmor" || true)
  minimal_pid=$(pgrep -P "$time_minimal" || true)
  [ -n "$velmor_pid" ] && [ -n "$minimal_pid" ] && break
  sleep 0.1
done
[ -n "$velmor_pid" ] && [ -n "$minimal_pid" ] || { echo "bench: the measured programs did not start" >&2; exit 1; }
# Steady state: CPU ticks from steady_from seconds into the run to its end.
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
sleep "$steady_from"
velmor_ticks_10=$(ticks "$velmor_pid")
minimal_ticks_10=$(ticks "$minimal_pid")
sleep $((monitor_seconds - steady_from))
velmor_ticks_end=$(ticks "$velmor_pid")
minimal_ticks_end=$(ticks "$minimal_pid")
kill -TERM "$velmor_pid" "$minimal_pid"
wait "$time_velmor" "$time_minimal" || true
clk_tck=$(getconf CLK_TCK)

# ---- the table ---------------------------------------------------------------
python3 - "$work" "$monitor_seconds" "$clk_tck" "$steady_from" "$startup_runs" \
  "$velmor_ticks_10" "$velmor_ticks_end" "$minimal_ticks_10" "$minimal_ticks_end" <<'PY'
import json, statistics, sys
work, seconds, clk_tck = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
steady_from, startup_runs = float(sys.argv[4]), int(sys.argv[5])
v10, vend, m10, mend = (float(x) for x in sys.argv[6:10])

bench = {b["name"]: b for b in json.load(open(f"{work}/bench.json"))["benchmarks"]}

def result(name):
    """The median of repeated runs, or the one run of a quick pass."""
    for key in (name + "_median", name):
        if key in bench:
            return bench[key]
    sys.exit(f"bench: no result named {name} (have: {', '.join(sorted(bench))})")

# The receive path as the program runs it: with its own link-health observer.
receive = result("BM_ReceivePath/1")
page = result("BM_PageBuild")
scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}
# CPU time rather than wall time: other work on a shared machine must not count.
page_us = page["cpu_time"] * scale[page["time_unit"]]
mbps = receive["MB/s"]
sentences = receive["sentences/s"]

def startup(program):
    rows = [line.split() for line in open(f"{work}/startup-{program}.txt")]
    return (statistics.median(float(r[0]) for r in rows), statistics.median(float(r[1]) for r in rows) / 1024,
            statistics.median(float(r[2]) + float(r[3]) for r in rows))

def monitor(program):
    import re
    text = open(f"{work}/monitor-{program}.txt").read()
    def field(label):
        return float(re.search(re.escape(label) + r":\s*(\S+)", text).group(1))
    return (field("User time (seconds)") + field("System time (seconds)"),
            field("Maximum resident set size (kbytes)") / 1024)

v_start, v_start_rss, v_start_cpu = startup("velmor")
m_start, m_start_rss, m_start_cpu = startup("velmor_minimal_qt")
v_cpu, v_rss = monitor("velmor")
m_cpu, m_rss = monitor("velmor_minimal_qt")
steady = seconds - steady_from
v_idle = (vend - v10) / clk_tck / steady * 100
m_idle = (mend - m10) / clk_tck / steady * 100

def yes(ok):
    return "yes" if ok else "**no**"

def ratio(a, b):
    return f"{a / b:.2f}" if b > 0 else "n/a"

print("| Measure | Velmor | Minimal Qt | Ratio | Target | Met |")
print("|---|---:|---:|---:|---|---|")
print(f"| Receive path (assembler + dispatcher), one core, CPU time | {mbps:.1f} MB/s | | | >= 50 MB/s | {yes(mbps >= 50)} |")
print(f"| Receive path, sentences | {sentences / 1e6:.2f} M/s | | | | |")
print(f"| Page build (CPU time) | {page_us:.2f} µs | | | < 20 µs | {yes(page_us < 20)} |")
print(f"| Start-up to first drawn page (median of {startup_runs}) | {v_start * 1000:.0f} ms | {m_start * 1000:.0f} ms "
      f"| {ratio(v_start, m_start)} | <= 1.5 x minimal | {yes(v_start <= 1.5 * m_start)} |")
print(f"| CPU (user+sys) used by that start-up (median) | {v_start_cpu * 1000:.0f} ms | {m_start_cpu * 1000:.0f} ms "
      f"| {ratio(v_start_cpu, m_start_cpu)} | | |")
print(f"| Peak resident memory, start-up (median) | {v_start_rss:.1f} MiB | {m_start_rss:.1f} MiB "
      f"| {ratio(v_start_rss, m_start_rss)} | <= 1.5 x minimal | {yes(v_start_rss <= 1.5 * m_start_rss)} |")
print(f"| Peak resident memory, {seconds:.0f} s run | {v_rss:.1f} MiB | {m_rss:.1f} MiB "
      f"| {ratio(v_rss, m_rss)} | <= 1.5 x minimal | {yes(v_rss <= 1.5 * m_rss)} |")
print(f"| CPU (user+sys) over {seconds:.0f} s, start-up included | {v_cpu:.2f} s ({v_cpu / seconds * 100:.2f} %) "
      f"| {m_cpu:.2f} s ({m_cpu / seconds * 100:.2f} %) | {ratio(v_cpu, m_cpu)} | | |")
print(f"| CPU while monitoring ({steady_from:.0f} s to {seconds:.0f} s), % of a core | {v_idle:.2f} % | {m_idle:.2f} % "
      f"| | < 0.5 % | {yes(v_idle < 0.5)} |")
PY
