#!/bin/sh
# Takes docs/grading-display.png: the display window giving the verdict of a
# graded test measurement (the 18650 profile of docs/examples, readings that
# fall in bin A, the simulator at the real line speed), on a private Xvfb display.
# Usage: tools/grading-screenshot.sh BUILD_DIR [OUTPUT.png]
# Needs xvfb, xdotool and imagemagick (import).
set -eu
build=${1:-build}
out=${2:-docs/grading-display.png}
bin="$build/bin"
here=$(cd "$(dirname "$0")/.." && pwd)
name=grading
first_display=180
. "$(dirname "$0")/private-display.sh"

"$bin/orven5927-sim" --res random:15.5:18 --volt random:3.61:3.69 --pace \
  --link "$work/tty" >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do [ -e "$work/tty" ] && break; sleep 0.1; done

# Grading switched on by hand, as an operator may write the settings file.
cp "$here/docs/examples/18650.grading" "$work/18650.grading"
mkdir -p "$work/config/ORVEN" "$work/home/Documents"
cat >"$work/config/ORVEN/ORVEN 5927 RS.conf" <<CONF
[Version]
Number=120

[Grading]
Enabled=1
Profile=$work/18650.grading
Sounds=0
CONF

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
xdotool key F4                              # test measurement
sleep 4
xdotool key F4                              # stop: the last verdict stays
sleep 1
eval "$(xdotool getwindowgeometry --shell "$main")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$work/shot.png"
mv "$work/shot.png" "$out"
echo "grading-screenshot: wrote $out"
