# Sourced by the screenshot scripts: checks the tools and the build, makes
# $work, starts a private Xvfb display (DISPLAY exported) and ends it, the
# simulator ($sim_pid) and the program ($app_pid) at exit.
# Expects $name (for messages and the folder), $bin and $first_display.
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "$name: $tool is missing" >&2; exit 1; }
done
[ -x "$bin/orven5927" ] && [ -x "$bin/orven5927-sim" ] || { echo "$name: build $build first" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/orven5927-$name.XXXXXX")
n=$first_display
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
xvfb_pid="" sim_pid="" app_pid=""
cleanup() {
  for p in $app_pid $sim_pid $xvfb_pid; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

Xvfb ":$n" -screen 0 1280x1024x24 -dpi 96 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=":$n"
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
