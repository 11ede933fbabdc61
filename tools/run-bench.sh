#!/bin/sh
# Runs every benchmark program and collects their "name: value" lines in bench.txt.
set -e
BUILD=${1:-build}
out="$BUILD/bench.txt"
: > "$out"
export QT_QPA_PLATFORM=offscreen
export ORVEN5927_SIM="$(cd "$BUILD/bin" && pwd)/orven5927-sim"
for b in "$BUILD"/bench/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" | tee -a "$out"
done
echo "figures written to $out"
