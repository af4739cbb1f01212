#!/usr/bin/env bash
# Builds everything and runs every test: the unit tests, the golden sessions,
# the GUI tests (offscreen), the end-to-end tests against the simulated unit,
# and the same suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMOR_BUILD_GUI=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

if [ "${VELMOR_SKIP_SANITIZERS:-0}" != 1 ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMOR_BUILD_GUI=OFF -DVELMOR_SANITIZE=ON
  cmake --build build-asan -j"$jobs"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j"$jobs"
fi

# Short fuzz runs of the receive path, the settings reader and the picture
# mask, when clang is there (the install step brings it).
if [ "${VELMOR_SKIP_FUZZ:-0}" != 1 ] && command -v clang++ >/dev/null; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELMOR_BUILD_GUI=OFF -DVELMOR_BUILD_TESTS=OFF -DVELMOR_BUILD_FUZZ=ON
  cmake --build build-fuzz -j"$jobs" --target FuzzReceivePath FuzzProfile FuzzPictureMask
  seconds="${VELMOR_FUZZ_SECONDS:-30}"
  for target in FuzzReceivePath FuzzProfile FuzzPictureMask; do
    corpus="fuzz/corpus/$target"
    work="build-fuzz/corpus-$target"
    mkdir -p "$work"
    [ -d "$corpus" ] && cp -n "$corpus"/* "$work"/ 2>/dev/null || true
    echo "fuzzing $target for ${seconds}s"
    "build-fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 "$work" 2>&1 | tail -n 3
  done
fi
# Build the .deb from the build above and check it (dependencies, files, an
# unpacked install whose tools run).
if [ "${VELMOR_SKIP_PACKAGE:-0}" != 1 ]; then bash scripts/package-test.sh; fi
echo "all tests passed"
