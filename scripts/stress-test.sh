#!/usr/bin/env bash
# Shows that the test command passes every time, not just on a quiet machine:
# a fresh clone of the committed tree runs the whole test command several
# times back to back, and then the package check alone many times, while a
# CPU hog keeps every core busy. Prints one line per run (result and wall
# time) and a closing count.
#
#   bash scripts/stress-test.sh                 3 full runs, 20 package checks
#   STRESS_FULL_RUNS=1 STRESS_PACKAGE_RUNS=5 bash scripts/stress-test.sh
#   STRESS_HOG="make -j4 ..." bash scripts/stress-test.sh   another load
#
# The hog is stress-ng --cpu 3N (N = cores) from Debian, installed when
# missing: with the tests beside it, a load average of about 8 on two cores; the clone is made in a scratch directory and removed at the end
# (STRESS_KEEP=1 keeps it). Where ccache is installed the builds go through
# it (STRESS_CCACHE=0 turns that off): the first run of a commit still
# compiles everything, and the tests, which are what this shows, run in full
# every time.
set -uo pipefail
cd "$(dirname "$0")/.."
top=$PWD
full_runs=${STRESS_FULL_RUNS:-3}
package_runs=${STRESS_PACKAGE_RUNS:-20}

if [ -z "${STRESS_HOG:-}" ] && ! command -v stress-ng >/dev/null; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends stress-ng >/dev/null \
    || { echo "stress-test: cannot install stress-ng" >&2; exit 1; }
fi

scratch=$(mktemp -d)
hog_pid=""
cleanup() {
  [ -n "$hog_pid" ] && kill -- -"$hog_pid" 2>/dev/null
  [ -n "$hog_pid" ] && kill "$hog_pid" 2>/dev/null
  if [ "${STRESS_KEEP:-0}" = 1 ]; then echo "stress-test: clone kept in $scratch/velmor"; else rm -rf "$scratch"; fi
}
trap cleanup EXIT

git clone -q "$top" "$scratch/velmor" || exit 1
# The reference data lives beside the repository, as in CI.
[ -d "$top/../shared" ] && ln -s "$(cd "$top/../shared" && pwd)" "$scratch/shared"
cd "$scratch/velmor" || exit 1
if [ "${STRESS_CCACHE:-1}" = 1 ] && command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$scratch/velmor"
  echo "stress-test: builds through ccache"
fi
echo "stress-test: clone of $(git rev-parse --short HEAD) in $scratch/velmor"

# The hog runs in its own process group so that all of it can be stopped.
if [ -n "${STRESS_HOG:-}" ]; then
  setsid bash -c "$STRESS_HOG" >/dev/null 2>&1 &
else
  setsid stress-ng --cpu "$((3 * $(nproc)))" --quiet >/dev/null 2>&1 &
fi
hog_pid=$!
echo "stress-test: load started (${STRESS_HOG:-stress-ng --cpu $((3 * $(nproc)))})"

results=()
ok=0
bad=0
for run in $(seq 1 "$full_runs"); do
  t0=$SECONDS
  if bash scripts/test.sh >"$scratch/full-$run.log" 2>&1; then
    result=pass
    ok=$((ok + 1))
  else
    result=FAIL
    bad=$((bad + 1))
  fi
  counts=$(grep -E '^[0-9]+ passed, [0-9]+ failed' "$scratch/full-$run.log" | tail -n 1)
  results+=("$(printf 'test.sh         run %2d  %-4s  %5ds  %s' "$run" "$result" $((SECONDS - t0)) "$counts")")
  echo "${results[-1]}"
  if [ "$result" = FAIL ]; then
    sed -n '/== Summary ==/,$p' "$scratch/full-$run.log"
    cp "$scratch/full-$run.log" "$top/stress-full-$run.log" 2>/dev/null && echo "  log: stress-full-$run.log"
    # ctest keeps each test's own output only until the next run.
    for tree in build build-asan; do
      cp "$tree/Testing/Temporary/LastTest.log" "$top/stress-full-$run-$tree-ctest.log" 2>/dev/null &&
        echo "  log: stress-full-$run-$tree-ctest.log"
    done
  fi
done

for run in $(seq 1 "$package_runs"); do
  t0=$SECONDS
  if bash scripts/package-test.sh >"$scratch/package-$run.log" 2>&1; then
    result=pass
    ok=$((ok + 1))
  else
    result=FAIL
    bad=$((bad + 1))
    cp "$scratch/package-$run.log" "$top/stress-package-$run.log" 2>/dev/null
  fi
  results+=("$(printf 'package-test.sh run %2d  %-4s  %5ds' "$run" "$result" $((SECONDS - t0)))")
  echo "${results[-1]}"
done

echo
echo "stress-test: $ok passed, $bad failed under load"
[ "$bad" -eq 0 ]
