#!/usr/bin/env bash
# Counts the system calls of whole runs of the program (strace -c -f) on the
# demo image: into an empty folder, and over the same extraction, which
# needs no write and no flush.  Prints the counts, for information (the cost
# of a run is its CPU time against a floor: make bench), and fails when
# either run flushes anything: neither replaces a file.
# Usage: bench/system_calls.sh TAMREK MAKE_DEMO_IMAGE
set -euo pipefail
tool=$(realpath "$1")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$2" "$scratch/demo.d88"
mkdir "$scratch/work"
failed=0
for what in "into an empty folder" "over the same extraction"; do
  (cd "$scratch/work" && strace -f -c -o "$scratch/counts" "$tool" ../demo.d88 >/dev/null)
  # % time, seconds, usecs/call, calls, [errors,] syscall: the fourth field.
  total=$(awk '$NF == "total" { print $4 }' "$scratch/counts")
  flushes=$(awk '$NF ~ /^(fsync|fdatasync)$/ { n += $4 } END { print n + 0 }' "$scratch/counts")
  echo "$what: $total system calls, $flushes flushes"
  if [ "$flushes" -ne 0 ]; then failed=1; fi
done
[ "$failed" = 0 ] || { echo "system calls: a run flushed" >&2; cat "$scratch/counts" >&2; exit 1; }
