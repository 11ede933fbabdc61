#!/bin/sh
# Takes docs/calc-time-run.png: the program beside a visible LibreOffice Calc
# that it started itself, during a short time-interval run against the
# simulator, on a private Xvfb display with a throw-away office profile.
# Usage: tools/calc-screenshot.sh BUILD_DIR [OUTPUT.png]
# Needs xvfb, xdotool and imagemagick (import).
set -eu
build=${1:-build}
out=${2:-docs/calc-time-run.png}
bin="$build/bin"
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "calc-screenshot: $tool is missing" >&2; exit 1; }
done
[ -x "$bin/orven5927" ] && [ -x "$bin/orven5927-sim" ] || { echo "calc-screenshot: build $build first" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/orven5927-shot.XXXXXX")
n=150
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
display=":$n"
pipe="orven5927_shot_$$"
xvfb_pid="" sim_pid="" app_pid=""
cleanup() {
  # The program ends with its own window; the office it started is ended by
  # pid here because this display and profile are thrown away.
  for p in $app_pid $sim_pid; do kill "$p" 2>/dev/null || true; done
  for p in $(grep -l "name=$pipe;" /proc/[0-9]*/cmdline 2>/dev/null | cut -d/ -f3); do
    kill -9 "$p" 2>/dev/null || true
  done
  rm -f "/tmp/OSL_PIPE_$(id -u)_$pipe"
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

Xvfb "$display" -screen 0 1600x900x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY="$display"
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

# A first start of the office would greet with tips; a profile that has seen them does not.
mkdir -p "$work/profile/user"
cat >"$work/profile/user/registrymodifications.xcu" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="ShowTipOfTheDay" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="FirstRun" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Setup/Office"><prop oor:name="ooSetupInstCompleted" oor:op="fuse"><value>true</value></prop></item>
<item oor:path="/org.openoffice.Setup/Product"><prop oor:name="ooSetupLastVersion" oor:op="fuse"><value>7.4</value></prop></item>
</oor:items>
EOF

mkfifo "$work/out"
"$bin/orven5927-sim" --res random:10:40 --volt random:3:4 --comp 1 >"$work/out" &
sim_pid=$!
exec 3<"$work/out"
read -r first <&3
pty=${first#PTY }
cat <&3 >/dev/null &

export XDG_CONFIG_HOME="$work/config"
export ORVEN5927_COM1="$pty"
export ORVEN5927_CALC_PIPE="$pipe"
export ORVEN5927_CALC_ARGS="-env:UserInstallation=file://$work/profile"
unset QT_QPA_PLATFORM
"$bin/orven5927" >"$work/app.log" 2>&1 &
app_pid=$!

win=$(xdotool search --sync --onlyvisible --name "ORVEN 5927 Application" | head -1)
sleep 1
xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus --sync "$win"
xdotool key Return                          # COM1, OK
sleep 3
main=$(xdotool search --onlyvisible --name "ORVEN 5927 Application" | tail -1)
xdotool windowmove "$main" 0 0 windowsize "$main" 760 880
xdotool windowfocus --sync "$main"
xdotool key F5                              # Time Interval Measurement
sleep 2
# Interval 1 s, 25 readings, "Microsoft Excel" (the default choice), Start.
xdotool key Tab Tab ctrl+a 1 Tab ctrl+a 2 5 Return
calc=$(xdotool search --sync --onlyvisible --name "LibreOffice Calc" | head -1)
sleep 2
xdotool windowmove "$calc" 770 0 windowsize "$calc" 830 880
sleep 9
import -window root "$out"
echo "calc-screenshot: wrote $out"
