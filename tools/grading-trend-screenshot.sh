#!/bin/sh
# Takes docs/grading-trend.png: the trend window following a graded
# time-interval run (bins, yield, Cp/Cpk, the acceptance limits) against the
# simulator at the real line speed. The benchmark program drives the run and
# saves the window's own picture, so no display is needed.
# Usage: tools/grading-trend-screenshot.sh BUILD_DIR [OUTPUT.png]
set -eu
build=${1:-build}
out=${2:-docs/grading-trend.png}
[ -x "$build/bench/bench_grading" ] && [ -x "$build/bin/orven5927-sim" ] || {
  echo "grading-trend-screenshot: build $build first" >&2
  exit 1
}
ORVEN5927_SIM="$(cd "$build/bin" && pwd)/orven5927-sim" QT_QPA_PLATFORM=offscreen \
  "$build/bench/bench_grading" --picture "$out"
echo "grading-trend-screenshot: wrote $out"
