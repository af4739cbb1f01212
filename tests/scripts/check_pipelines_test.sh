#!/usr/bin/env bash
# The pipeline check finds every fragile shape in its fixture and nothing
# else, then passes over the project itself.
set -uo pipefail
top="$(cd "$(dirname "$0")/../.." && pwd)"
fixture="$top/tests/scripts/fragile"
out=$(bash "$top/scripts/check-pipelines.sh" "$fixture" 2>&1)
status=$?
fail() { echo "FAIL: $*"; echo "$out"; exit 1; }
[ "$status" -eq 1 ] || fail "exit status $status on the fixture, wanted 1"
found=$(grep -c '^/\|^tests/' <<<"$out" || true)
for line in 4 5 6 7 8 9; do
  grep -q "shapes.sh:$line:" <<<"$out" || fail "shapes.sh line $line not found"
done
grep -q 'popen.cpp:2:' <<<"$out" || fail "the popen string was not found"
[ "$found" -eq 7 ] || fail "found $found shapes, wanted 7"
# The project itself carries none (its own fixture is left out).
project=$(bash "$top/scripts/check-pipelines.sh" 2>&1) || { echo "$project"; exit 1; }
echo "PASS"
