#!/usr/bin/env bash
# Finds pipelines whose result depends on scheduling: a reader that quits
# before its producer has written everything (grep -q, grep -m, head, a sed
# script that quits). The producer's next write then gets SIGPIPE and, under
# pipefail, the whole pipeline fails one run in N. Capture the producer's
# output first and match that (out=$(cmd); grep -q X <<<"$out"), or let the
# reader read to the end (grep X >/dev/null).
#
#   scripts/check-pipelines.sh            the project's scripts, tests, CMake files
#   scripts/check-pipelines.sh PATH...    these files or folders
#
# Prints one line per finding (file:line: text) and exits 1 when there is any.
set -uo pipefail
cd "$(dirname "$0")/.."

if [ $# -eq 0 ]; then
  set -- scripts tests bench packaging .ci fuzz tools CMakeLists.txt
fi

# A single '|' (not '||'), then a reader that may stop early.
readers='(grep[[:space:]]+(-[[:alnum:]]*[qm][[:alnum:]]*|--quiet|--silent|--max-count)|[h]ead([[:space:]]|$)|sed[[:space:]]+(-[[:alpha:]]+[[:space:]]+)*[^|]*[0-9/]q)'
pattern="(^|[^|])\\|[[:space:]]*${readers}"

found=0
while IFS= read -r -d '' file; do
  case "$file" in
    */build*/*|build*/*) continue ;;
  esac
  # Only text: scripts, CMake, C++ (strings handed to popen or system), YAML.
  case "$file" in
    *.sh|*.bash|*.cmake|*CMakeLists.txt|*.cpp|*.cc|*.h|*.py|*.yml|*.yaml|*/run|*/postinst|*/prerm|*/postrm) ;;
    *)
      head_line=""
      IFS= read -r -n 64 head_line <"$file" 2>/dev/null || true
      case "$head_line" in '#!'*sh*) ;; *) continue ;; esac
      ;;
  esac
  # The check itself, and its test's fixture of bad shapes.
  case "$file" in scripts/check-pipelines.sh|tests/scripts/fragile/*) continue ;; esac
  matches=$(LC_ALL=C grep -nE "$pattern" "$file" 2>/dev/null)
  [ -n "$matches" ] || continue
  while IFS= read -r match; do
    text=${match#*:}
    # Comments say what not to do; they are not pipelines.
    if [[ "$text" =~ ^[[:space:]]*(#|//|\*) ]]; then continue; fi
    echo "$file:$match"
    found=$((found + 1))
  done <<<"$matches"
done < <(find "$@" -type f -print0 2>/dev/null)

if [ "$found" -gt 0 ]; then
  echo "check-pipelines: $found pipeline(s) whose reader may quit before its producer ends" >&2
  exit 1
fi
echo "check-pipelines: no fragile pipelines"
