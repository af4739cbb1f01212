#!/usr/bin/env bash
# Builds everything and runs every test, in stages:
#   normal     the build with the desktop program: unit, golden, GUI
#              (offscreen) and end-to-end tests, the script checks
#   sanitizer  the core, tools and their tests again, built by clang with
#              AddressSanitizer and UndefinedBehaviorSanitizer (build-asan)
#   fuzz       short libFuzzer runs of every target in fuzz/, built in that
#              same tree, sharing one time budget (VELMOR_FUZZ_SECONDS,
#              default 70 in all)
#   package    the Debian package built and checked (scripts/package-test.sh)
#   bench      a short run of scripts/bench.sh, so its table cannot rot
# Every stage runs even when an earlier one failed (unless the build it needs
# is missing); at the end one line per stage gives its time and result, and a
# last line "N passed, N failed" counts the ctest tests of both builds, one per
# fuzz target, one for the package check and one for the benchmark run. The
# exit status is non-zero when anything failed.
#
# VELMOR_SKIP_SANITIZERS=1, VELMOR_SKIP_FUZZ=1, VELMOR_SKIP_PACKAGE=1 and
# VELMOR_SKIP_BENCH=1 leave a stage out.
set -uo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
# Most end-to-end tests spend their time waiting on a simulated unit, a
# server or a timer, so twice as many run at once as there are cores; every
# test is written to hold at a load well above that.
ctest_jobs=$((jobs * 2))
export QT_QPA_PLATFORM=offscreen
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

passed=0
failed=0
summary=()

# stage NAME SECONDS RESULT: one line of the closing summary.
stage() { summary+=("$(printf '%-10s %5ds  %s' "$1" "$2" "$3")"); }

print_summary() {
  echo
  echo "== Summary =="
  local line
  for line in "${summary[@]}"; do echo "$line"; done
  echo "total      $((SECONDS))s"
  echo "$passed passed, $failed failed"
}
trap 'print_summary; rm -rf "$logs"' EXIT

# Runs ctest in DIR and adds its counts; a run that reports no counts (it
# could not start) counts as one failure.
run_ctest() {
  local dir=$1 log=$2
  shift 2
  "$@" ctest --test-dir "$dir" --output-on-failure -j"$ctest_jobs" 2>&1 | tee "$log"
  local status=${PIPESTATUS[0]}
  local line total bad
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    failed=$((failed + 1))
    ctest_result="ctest reported nothing (status $status)"
    return 1
  fi
  bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
  ctest_result="$((total - bad)) of $total passed"
  [ "$status" -eq 0 ] && [ "$bad" -eq 0 ]
}

# ---- install ------------------------------------------------------------------
t0=$SECONDS
if ! scripts/install-deps.sh; then
  stage install $((SECONDS - t0)) "FAILED"
  failed=$((failed + 1))
  exit 1
fi
stage install $((SECONDS - t0)) "ok"

# ---- normal build and tests ------------------------------------------------------
# Optimised as the package is, without debug information: it is a third of
# the compile time and nothing here reads it.
t0=$SECONDS
normal_built=0
if cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" \
     -DVELMOR_BUILD_GUI=ON -DVELMOR_BUILD_BENCH=ON >"$logs/normal-configure.log" 2>&1 \
   && cmake --build build -j"$jobs"; then
  normal_built=1
  if run_ctest build "$logs/normal.log"; then
    stage normal $((SECONDS - t0)) "ok ($ctest_result)"
  else
    stage normal $((SECONDS - t0)) "FAILED ($ctest_result)"
  fi
else
  cat "$logs/normal-configure.log"
  failed=$((failed + 1))
  stage normal $((SECONDS - t0)) "FAILED (build)"
fi

# ---- sanitizer build and tests ---------------------------------------------------
# One clang tree serves the sanitizer tests and the fuzz targets: the whole
# core is built once with AddressSanitizer, UndefinedBehaviorSanitizer and
# the fuzzer's coverage hooks (which cost the tests little). At -O1 with line
# tables clang builds it in about half of what gcc needs at -O0, and it is a
# second compiler's warnings over the same code.
fuzz_targets=()
for source in fuzz/*.cpp; do fuzz_targets+=("$(basename "$source" .cpp)"); done
asan_configured=0
configure_asan() {
  [ "$asan_configured" = 1 ] && return 0
  command -v clang++ >/dev/null || { echo "clang++ is missing" >"$logs/asan-configure.log"; return 1; }
  # A tree configured earlier with another compiler cannot be switched.
  if [ -f build-asan/CMakeCache.txt ] && ! grep -q '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang++' build-asan/CMakeCache.txt; then
    rm -rf build-asan
  fi
  CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS_DEBUG="-O1 -gline-tables-only" -DVELMOR_BUILD_GUI=OFF \
    -DVELMOR_SANITIZE=ON -DVELMOR_BUILD_FUZZ=ON >"$logs/asan-configure.log" 2>&1 && asan_configured=1
}
asan_built=0
if [ "${VELMOR_SKIP_SANITIZERS:-0}" != 1 ]; then
  t0=$SECONDS
  if configure_asan && cmake --build build-asan -j"$jobs"; then
    asan_built=1
    if run_ctest build-asan "$logs/asan.log" env ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
         UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1; then
      stage sanitizer $((SECONDS - t0)) "ok ($ctest_result)"
    else
      stage sanitizer $((SECONDS - t0)) "FAILED ($ctest_result)"
    fi
  else
    cat "$logs/asan-configure.log"
    failed=$((failed + 1))
    stage sanitizer $((SECONDS - t0)) "FAILED (build)"
  fi
fi

# ---- fuzz ----------------------------------------------------------------------
# Every target in fuzz/ gets an equal share of one budget, so a new target
# does not lengthen the run.
if [ "${VELMOR_SKIP_FUZZ:-0}" != 1 ]; then
  t0=$SECONDS
  if [ "$asan_built" = 1 ] || { configure_asan && cmake --build build-asan -j"$jobs" --target "${fuzz_targets[@]}"; }; then
    budget=${VELMOR_FUZZ_SECONDS:-70}
    share=$((budget / ${#fuzz_targets[@]}))
    [ "$share" -ge 5 ] || share=5
    fuzz_failed=()
    for target in "${fuzz_targets[@]}"; do
      corpus="fuzz/corpus/$target"
      work="build-asan/corpus-$target"
      mkdir -p "$work"
      [ -d "$corpus" ] && cp -n "$corpus"/* "$work"/ 2>/dev/null
      echo "fuzzing $target for ${share}s"
      if "build-asan/$target" -max_total_time="$share" -print_final_stats=1 "$work" >"$logs/fuzz-$target.log" 2>&1; then
        passed=$((passed + 1))
        tail -n 3 "$logs/fuzz-$target.log"
      else
        failed=$((failed + 1))
        fuzz_failed+=("$target")
        tail -n 60 "$logs/fuzz-$target.log"
      fi
    done
    if [ ${#fuzz_failed[@]} -eq 0 ]; then
      stage fuzz $((SECONDS - t0)) "ok (${#fuzz_targets[@]} targets, ${share}s each)"
    else
      stage fuzz $((SECONDS - t0)) "FAILED (${fuzz_failed[*]})"
    fi
  else
    cat "$logs/asan-configure.log"
    failed=$((failed + ${#fuzz_targets[@]}))
    stage fuzz $((SECONDS - t0)) "FAILED (build)"
  fi
fi

# ---- package -------------------------------------------------------------------
# Built from the normal build above and checked (dependencies, files, an
# unpacked install whose tools run).
if [ "${VELMOR_SKIP_PACKAGE:-0}" != 1 ]; then
  t0=$SECONDS
  if [ "$normal_built" = 1 ] && bash scripts/package-test.sh; then
    passed=$((passed + 1))
    stage package $((SECONDS - t0)) "ok"
  else
    failed=$((failed + 1))
    stage package $((SECONDS - t0)) "FAILED"
  fi
fi

# ---- benchmark smoke run -------------------------------------------------------
# The benchmark script end to end on the normal build, with a few seconds of
# monitoring: its figures are not the point, its table is.
if [ "${VELMOR_SKIP_BENCH:-0}" != 1 ]; then
  t0=$SECONDS
  if [ "$normal_built" = 1 ] && VELMOR_SKIP_INSTALL=1 VELMOR_BENCH_QUICK=1 VELMOR_BENCH_BUILD_DIR=build \
       bash scripts/bench.sh >"$logs/bench.log" 2>&1; then
    cat "$logs/bench.log"
    passed=$((passed + 1))
    stage bench $((SECONDS - t0)) "ok"
  else
    cat "$logs/bench.log"
    failed=$((failed + 1))
    stage bench $((SECONDS - t0)) "FAILED"
  fi
fi

[ "$failed" -eq 0 ]
