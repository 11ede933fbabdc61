#!/bin/sh
# Builds the libFuzzer targets with clang and runs each for a bounded time.
#   tools/fuzz.sh [seconds per target] [build dir] [target...]
# Fails when a fuzzer finds an input that crashes or breaks a property; the
# input is kept under <build dir>/crashes/ and belongs, once the fault is
# fixed, in tests/fuzz/regressions/<target>/ so every build replays it.
set -eu
seconds=${1:-60}
build=${2:-build-fuzz}
[ $# -gt 2 ] && shift 2 || set --
targets=${*:-line_receiver format setup toint16}

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cxx=${FUZZ_CXX:-$(command -v clang++-14 || command -v clang++ || true)}
if [ -z "$cxx" ]; then
  echo "fuzz: clang++ not found (Debian: clang-14 libclang-rt-14-dev)" >&2
  exit 1
fi
generator=""
command -v ninja >/dev/null 2>&1 && generator="-G Ninja"

mkdir -p "$build"
if [ ! -f "$build/CMakeCache.txt" ]; then
  # shellcheck disable=SC2086
  cmake -S . -B "$build" $generator -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER="$cxx" -DORVEN_FUZZ=ON >"$build/configure.log" 2>&1 ||
    { cat "$build/configure.log" >&2; exit 1; }
fi
cmake --build "$build" -j "${JOBS:-2}" --target fuzzers

mkdir -p "$build/crashes"
status=0
for t in $targets; do
  work="$build/corpus/$t"
  mkdir -p "$work"
  regress="tests/fuzz/regressions/$t"
  [ -d "$regress" ] || regress=""
  dict="tests/fuzz/$t.dict"
  [ -f "$dict" ] && dict="-dict=$dict" || dict=""
  echo "fuzz: $t for ${seconds}s"
  # New inputs go to the first folder (the build's own), never into the seeds.
  # shellcheck disable=SC2086
  if ! "$build/bin/fuzz_$t" -max_total_time="$seconds" -timeout=30 -max_len=1024 \
      -print_final_stats=1 -artifact_prefix="$build/crashes/$t-" $dict \
      "$work" "tests/fuzz/corpus/$t" $regress >"$build/fuzz-$t.log" 2>&1; then
    tail -n 40 "$build/fuzz-$t.log" >&2
    echo "fuzz: $t FAILED; input saved as $(ls -t "$build/crashes/$t-"* 2>/dev/null | head -n 1)" >&2
    status=1
  else
    grep -E '^stat::number_of_executed_units|^stat::new_units_added' "$build/fuzz-$t.log" | tr '\n' ' '
    echo
  fi
done
exit $status
