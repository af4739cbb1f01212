#!/usr/bin/env bash
# Compares the receive-path benchmark of two builds in one run: the old and
# new velmor_bench are run in turns, several rounds, and the median CPU time
# of each is printed. Used to check that a change of structure keeps the
# receive path's speed.
#   bash scripts/bench-compare.sh OLD_BENCH NEW_BENCH [ROUNDS]
set -euo pipefail
old=$1 new=$2 rounds=${3:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for i in $(seq "$rounds"); do
  "$old" --benchmark_filter='BM_ReceivePath' --benchmark_min_time=0.5 --benchmark_format=csv 2>/dev/null \
    | awk -F, '/^"BM_ReceivePath/{print $4}' >>"$work/old"
  "$new" --benchmark_filter='BM_ReceivePath/0' --benchmark_min_time=0.5 --benchmark_format=csv 2>/dev/null \
    | awk -F, '/^"BM_ReceivePath/{print $4}' >>"$work/new0"
  "$new" --benchmark_filter='BM_ReceivePath/1' --benchmark_min_time=0.5 --benchmark_format=csv 2>/dev/null \
    | awk -F, '/^"BM_ReceivePath/{print $4}' >>"$work/new1"
  "$new" --benchmark_filter='BM_ReceivePath/2' --benchmark_min_time=0.5 --benchmark_format=csv 2>/dev/null \
    | awk -F, '/^"BM_ReceivePath/{print $4}' >>"$work/new2"
done
median() { sort -g "$1" | awk '{a[NR]=$1} END {print (NR%2)? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
o=$(median "$work/old"); n0=$(median "$work/new0"); n1=$(median "$work/new1"); n2=$(median "$work/new2")
printf 'receive path, CPU ns per stream pass (median of %d)\n' "$rounds"
printf '  old:                 %s\n' "$o"
printf '  new, no observer:    %s (%+.1f %%)\n' "$n0" "$(echo "($n0-$o)*100/$o" | bc -l)"
printf '  new, link health:    %s (%+.1f %%)\n' "$n1" "$(echo "($n1-$o)*100/$o" | bc -l)"
printf '  new, + a trivial one: %s (%+.1f %%)\n' "$n2" "$(echo "($n2-$o)*100/$o" | bc -l)"
