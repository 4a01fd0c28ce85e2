#!/usr/bin/env bash
# Counts the system calls of whole runs of the program (strace -c -f) on the
# demo image: into an empty folder, and over the same extraction, which
# needs no write and no flush.  Prints the counts and fails when a run makes
# more than its budget (235 and 205 calls), or flushes anything.
# Usage: bench/system_calls.sh TAMREK MAKE_DEMO_IMAGE
set -euo pipefail
tool=$(realpath "$1")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$2" "$scratch/demo.d88"
mkdir "$scratch/work"
failed=0
for run in "into an empty folder:235" "over the same extraction:205"; do
  what=${run%:*} budget=${run##*:}
  (cd "$scratch/work" && strace -f -c -o "$scratch/counts" "$tool" ../demo.d88 >/dev/null)
  # % time, seconds, usecs/call, calls, [errors,] syscall: the fourth field.
  total=$(awk '$NF == "total" { print $4 }' "$scratch/counts")
  flushes=$(awk '$NF ~ /^(fsync|fdatasync)$/ { n += $4 } END { print n + 0 }' "$scratch/counts")
  echo "$what: $total system calls (at most $budget), $flushes flushes"
  if [ "$total" -gt "$budget" ] || [ "$flushes" -ne 0 ]; then failed=1; fi
done
[ "$failed" = 0 ] || { echo "system calls: over budget" >&2; cat "$scratch/counts" >&2; exit 1; }
