#!/usr/bin/env bash
# Shapes the pipeline check must find (line numbers are counted by the test).
# Under strict pipe-failure handling each of these fails one run in N.
velmor-replay --help | grep -q '^Usage'
echo "$big" | grep -Eq 'x|y'
zcat page.1.gz | head -n 5
program --list | grep -m1 unit
program --list | sed -n '3p;3q'
if dpkg-query -W x | grep --quiet ok; then :; fi
# Shapes that read to the end, or are no pipeline at all:
out=$(velmor-replay --help); grep -q '^Usage' <<<"$out"
velmor-replay --help | grep '^Usage' >/dev/null
a || grep -q x file
program | tail -n 3
