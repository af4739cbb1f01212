#!/usr/bin/env bash
# The shipped Prometheus files as Prometheus reads them: the scrape
# configuration (with the rule file it names), the rules, and the rules'
# unit tests beside them.
#   promtool_checks.sh PACKAGING_PROMETHEUS_DIR
# Exit 77 (skipped) where promtool is not installed.
set -euo pipefail
dir="$1"
promtool="${VELMOR_PROMTOOL:-$(command -v promtool || true)}"
if [ -z "$promtool" ] || [ ! -x "$promtool" ]; then
  echo "SKIP: no promtool (Debian package 'prometheus')"
  exit 77
fi
cd "$dir"
"$promtool" check config velmor-scrape.yml
"$promtool" check rules velmor-alerts.yml
shopt -s nullglob
tests=(*_test.yml)
[ "${#tests[@]}" -gt 0 ] || { echo "FAIL: no rule unit tests in $dir" >&2; exit 1; }
"$promtool" test rules "${tests[@]}"
