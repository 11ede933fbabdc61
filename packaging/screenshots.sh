#!/bin/sh
# Takes the README's pictures of the three logging modes, writing CSV files
# against the simulator, on a private Xvfb display with openbox for frames.
# Usage: packaging/screenshots.sh BUILD_DIR [OUT_DIR]
# Needs xvfb, openbox, xdotool and imagemagick. The clicks are at the places
# the windows take on a 1280x1024 screen at 96 DPI.
set -eu
build=${1:-build}
out=${2:-docs}
bin="$build/bin"
for tool in Xvfb openbox xdotool import convert; do
  command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing" >&2; exit 1; }
done
[ -x "$bin/orven5927" ] && [ -x "$bin/orven5927-sim" ] || { echo "screenshots: build $build first" >&2; exit 1; }
out=$(cd "$out" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/orven5927-shots.XXXXXX")
n=160
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
xvfb_pid="" wm_pid="" sim_pid="" app_pid=""
cleanup() {
  for p in $app_pid $sim_pid $wm_pid $xvfb_pid; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=":$n"
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
openbox >"$work/wm.log" 2>&1 &
wm_pid=$!
sleep 1

"$bin/orven5927-sim" --res random:10:40 --volt random:3:4 --comp 1 --trigger-interval 1500 \
  --link "$work/tty" >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do [ -e "$work/tty" ] && break; sleep 0.1; done

# The loading windows start with CSV output and a file in the documents folder.
docs="$work/home/Documents"
mkdir -p "$docs" "$work/config/ORVEN"
cat >"$work/config/ORVEN/ORVEN 5927 RS.conf" <<CONF
[Version]
Number=120

[Configuration]
Single%20Meas%20File=$docs/cells-return-key.csv
Single%20Meas%20Output%20Method=0
ExtIo%20Meas%20File=$docs/cells-trigger.csv
ExtIo%20Meas%20Output%20Method=0
CONF
unset QT_QPA_PLATFORM
HOME="$work/home" XDG_CONFIG_HOME="$work/config" ORVEN5927_COM1="$work/tty" \
  ORVEN5927_COM2="$work/tty" "$bin/orven5927" >"$work/app.log" 2>&1 &
app_pid=$!

shot() { import -window root -crop 660x460+0+0 +repage "$work/shot.png" && convert "$work/shot.png" -strip "PNG24:$out/$1"; }
click() { xdotool mousemove "$1" "$2" click 1; }
main_key() {
  main=$(xdotool search --onlyvisible --name "^ORVEN 5927 Application$" | head -1)
  xdotool windowfocus --sync "$main"
  xdotool key "$1"
  sleep 2
}

win=$(xdotool search --sync --onlyvisible --name "ORVEN 5927 Application" | head -1)
sleep 1
xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus --sync "$win"
xdotool key Return                                   # COM1, OK
sleep 3
main=$(xdotool search --onlyvisible --name "^ORVEN 5927 Application$" | head -1)
xdotool windowmove "$main" 0 0 windowsize "$main" 1000 700
sleep 1

main_key F5                                          # time interval: 1 s, 20 readings, CSV
click 172 257; xdotool key ctrl+a BackSpace type 1
click 172 286; xdotool key ctrl+a BackSpace type 20
click 51 351; sleep 0.3
click 268 320; sleep 2                               # Start: the file dialog
xdotool type "cell-7-interval"; xdotool key Return
sleep 6
shot logging-time-interval.png
click 268 335; sleep 2                               # Stop
xdotool key Return; sleep 1                          # "Measurement ended."
click 314 224; sleep 1                               # close the window

main_key F6                                          # return key
click 187 424; sleep 1.5                             # OK
for _ in 1 2 3; do xdotool key Return; sleep 1.2; done
shot logging-return-key.png
click 273 420; sleep 1                               # Close

main_key F7                                          # external trigger
click 187 424; sleep 5                               # OK; triggers every 1.5 s
shot logging-external-trigger.png
echo "screenshots: wrote $out/logging-*.png"
