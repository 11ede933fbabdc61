#!/bin/sh
# Runs every benchmark program and collects their "name: value" lines in
# bench.txt. Each program prints its baselines beside its figures, measured in
# the same run. A program that fails is named at the end and the script fails,
# after the others have still run.
# bench_grading (grading_logging_ratio) runs against the simulator paced at
# 9600 baud, so it takes about two minutes whatever the machine.
set -e
BUILD=${1:-build}
out="$BUILD/bench.txt"
# A program that hangs (a dialog nobody answers) is stopped after this long.
LIMIT=${BENCH_TIMEOUT:-300}
export QT_QPA_PLATFORM=offscreen
export ORVEN5927_SIM="$(cd "$BUILD/bin" && pwd)/orven5927-sim"
export ORVEN5927_LOG="$(cd "$BUILD/bin" && pwd)/orven5927-log"
tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT
: > "$out"
failed=""
for b in "$BUILD"/bench/bench_*; do
  # CMake keeps folders named bench_*_autogen beside the programs.
  [ -f "$b" ] && [ -x "$b" ] || continue
  name=$(basename "$b")
  echo "== $name"
  start=$(date +%s)
  # Not through a pipe: the program's own exit status must be seen.
  rc=0
  timeout -k 10 "$LIMIT" "$b" > "$tmp" || rc=$?
  cat "$tmp"
  if [ "$rc" -ne 0 ]; then
    echo "$name failed (exit status $rc; 124: stopped after $LIMIT s)" >&2
    failed="$failed $name"
  fi
  # Only figures and comments go into the report.
  grep -E '^(#|[A-Za-z0-9_]+: )' "$tmp" >> "$out" || true
  echo "   ($name took $(( $(date +%s) - start )) s)"
done
echo "figures written to $out"
if [ -n "$failed" ]; then
  echo "failed:$failed" >&2
  exit 1
fi
