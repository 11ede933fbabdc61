#!/bin/sh
# `make test`: every test, then a short fuzz run, in a temporary folder of
# this run's own (TMPDIR, inherited by every test, child and office), and a
# last check that the run left nothing behind: nothing in that folder, and
# none of the office pipes named for this run in /tmp (LibreOffice puts its
# pipes' socket files there whatever TMPDIR says). Other runs on the same
# machine keep their own folders and pipe names, so they are never counted.
#   tools/run-tests.sh BUILD_DIR JOBS FUZZ_SECONDS FUZZ_BUILD_DIR
set -u
build=$1
jobs=$2
fuzz_seconds=$3
fuzz_build=$4

run=$(mktemp -d "${TMPDIR:-/tmp}/orven5927-test-run.XXXXXX") || exit 1
token=${run##*.}
# Passable like /tmp, for tests whose children run as another user.
chmod 711 "$run"
status=0
(
  export TMPDIR="$run" ORVEN5927_TEST_RUN="$token" QT_QPA_PLATFORM=offscreen
  cd "$build" && ctest --output-on-failure -j "$jobs"
) || status=1
if [ "$status" -eq 0 ]; then
  TMPDIR="$run" JOBS="$jobs" ./tools/fuzz.sh "$fuzz_seconds" "$fuzz_build" || status=1
fi

left=$(find "$run" -mindepth 1 -maxdepth 1 | wc -l)
pipes=$(find /tmp -maxdepth 1 -name "OSL_PIPE_$(id -u)_*_$token" 2>/dev/null | wc -l)
echo "left behind by this run: $left in its temporary folder, $pipes office pipes in /tmp"
if [ "$left" -ne 0 ] || [ "$pipes" -ne 0 ]; then
  find "$run" -mindepth 1 -maxdepth 1 | sed 's/^/  /'
  find /tmp -maxdepth 1 -name "OSL_PIPE_$(id -u)_*_$token" 2>/dev/null | sed 's/^/  /'
  status=1
fi
rm -rf "$run"
find /tmp -maxdepth 1 -name "OSL_PIPE_$(id -u)_*_$token" -exec rm -f {} + 2>/dev/null
exit $status
