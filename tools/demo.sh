#!/bin/sh
# Runs the program against the instrument simulator on a pseudo-terminal,
# with COM1 mapped to it. Usage: tools/demo.sh BUILD_DIR
# The simulator stops when the program ends.
set -eu
build=${1:-build}
bin="$build/bin"
if [ ! -x "$bin/orven5927" ] || [ ! -x "$bin/orven5927-sim" ]; then
  echo "demo: build first (make demo builds $build)" >&2
  exit 1
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "demo: no desktop display found (DISPLAY is not set)." >&2
  echo "      Run it from a desktop session, or on a headless machine for example:" >&2
  echo "        Xvfb :99 & DISPLAY=:99 make demo    (then look at it with a VNC viewer or screenshots)" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/orven5927-demo.XXXXXX")
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkfifo "$work/out"
# Readings that move, at the instrument's real line speed; an external
# trigger every two seconds for the trigger window.
"$bin/orven5927-sim" --res random:10:40 --volt random:3:4 --pace --trigger-interval 2000 \
  --log "$work/received.log" >"$work/out" &
sim_pid=$!

# The first line names the device; keep draining the rest so the simulator never blocks.
exec 3<"$work/out"
pty=""
if read -r first <&3; then
  case "$first" in
    "PTY "*) pty=${first#PTY } ;;
  esac
fi
if [ -z "$pty" ]; then
  echo "demo: the simulator did not report its device" >&2
  exit 1
fi
cat <&3 >/dev/null &

echo "demo: simulated ORVEN 5927 on $pty (COM1); COM1 and COM2 both lead to it; press OK, then F4 for live readings; F5/F6/F7 log (F7 gets a trigger every 2 s); F8 shows the trend window"
status=0
ORVEN5927_COM1="$pty" ORVEN5927_COM2="$pty" "$bin/orven5927" || status=$?
exit "$status"
