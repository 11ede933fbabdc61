#!/bin/sh
# Takes docs/trend-window.png: the trend window beside a time-interval run of
# the demo (the simulator at the real line speed, moving readings, one
# reading a second to a CSV file), on a private Xvfb display.
# Usage: tools/trend-screenshot.sh BUILD_DIR [OUTPUT.png]
# Needs xvfb, xdotool and imagemagick (import).
set -eu
build=${1:-build}
out=${2:-docs/trend-window.png}
bin="$build/bin"
name=trend
first_display=170
. "$(dirname "$0")/private-display.sh"

# The demo's instrument, with the comparator on.
"$bin/orven5927-sim" --res random:10:40 --volt random:3:4 --comp 1 --pace --trigger-interval 2000 \
  --link "$work/tty" >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do [ -e "$work/tty" ] && break; sleep 0.1; done

mkdir -p "$work/home/Documents"
unset QT_QPA_PLATFORM
HOME="$work/home" XDG_CONFIG_HOME="$work/config" ORVEN5927_COM1="$work/tty" \
  "$bin/orven5927" >"$work/app.log" 2>&1 &
app_pid=$!

win=$(xdotool search --sync --onlyvisible --name "ORVEN 5927 Application" | head -1)
sleep 1
xdotool windowfocus --sync "$win"
xdotool key Return                          # COM1, OK
sleep 3
main=$(xdotool search --onlyvisible --name "^ORVEN 5927 Application$" | tail -1)
xdotool windowmove "$main" 0 0
xdotool windowfocus --sync "$main"
xdotool key F8                              # the trend window; the main window grows for it
sleep 1
xdotool key F5                              # Time Interval Measurement, below the display
sleep 2
# Interval 1 s, 100 readings, "Text File(CSV Format)", Start, then the file name.
xdotool key Tab Tab ctrl+a 1 Tab ctrl+a 1 0 0 Tab Down Return
sleep 2
xdotool type "cell-7-interval"
xdotool key Return
sleep 40
eval "$(xdotool getwindowgeometry --shell "$main")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$work/shot.png"
mv "$work/shot.png" "$out"
echo "trend-screenshot: wrote $out"
