#!/usr/bin/env bash
# Builds everything and runs every test, in stages:
#   normal     the build with the desktop program: unit, golden, GUI
#              (offscreen) and end-to-end tests, the script checks
#   sanitizer  the core and tools again under AddressSanitizer and
#              UndefinedBehaviorSanitizer
#   fuzz       short libFuzzer runs of every target in fuzz/, sharing one
#              time budget (VELMOR_FUZZ_SECONDS, default 90 in all)
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
  "$@" ctest --test-dir "$dir" --output-on-failure -j"$jobs" 2>&1 | tee "$log"
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
t0=$SECONDS
normal_built=0
if cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMOR_BUILD_GUI=ON \
     -DVELMOR_BUILD_BENCH=ON >"$logs/normal-configure.log" 2>&1 \
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
if [ "${VELMOR_SKIP_SANITIZERS:-0}" != 1 ]; then
  t0=$SECONDS
  if cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMOR_BUILD_GUI=OFF \
       -DVELMOR_SANITIZE=ON >"$logs/asan-configure.log" 2>&1 \
     && cmake --build build-asan -j"$jobs"; then
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
  targets=()
  for source in fuzz/*.cpp; do targets+=("$(basename "$source" .cpp)"); done
  if ! command -v clang++ >/dev/null; then
    failed=$((failed + ${#targets[@]}))
    stage fuzz 0 "FAILED (no clang++)"
  elif CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
         -DVELMOR_BUILD_GUI=OFF -DVELMOR_BUILD_TESTS=OFF -DVELMOR_BUILD_FUZZ=ON >"$logs/fuzz-configure.log" 2>&1 \
       && cmake --build build-fuzz -j"$jobs" --target "${targets[@]}"; then
    budget=${VELMOR_FUZZ_SECONDS:-90}
    share=$((budget / ${#targets[@]}))
    [ "$share" -ge 5 ] || share=5
    fuzz_failed=()
    for target in "${targets[@]}"; do
      corpus="fuzz/corpus/$target"
      work="build-fuzz/corpus-$target"
      mkdir -p "$work"
      [ -d "$corpus" ] && cp -n "$corpus"/* "$work"/ 2>/dev/null
      echo "fuzzing $target for ${share}s"
      if "build-fuzz/$target" -max_total_time="$share" -print_final_stats=1 "$work" >"$logs/fuzz-$target.log" 2>&1; then
        passed=$((passed + 1))
        tail -n 3 "$logs/fuzz-$target.log"
      else
        failed=$((failed + 1))
        fuzz_failed+=("$target")
        tail -n 60 "$logs/fuzz-$target.log"
      fi
    done
    if [ ${#fuzz_failed[@]} -eq 0 ]; then
      stage fuzz $((SECONDS - t0)) "ok (${#targets[@]} targets, ${share}s each)"
    else
      stage fuzz $((SECONDS - t0)) "FAILED (${fuzz_failed[*]})"
    fi
  else
    cat "$logs/fuzz-configure.log"
    failed=$((failed + ${#targets[@]}))
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
