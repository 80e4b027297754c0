#!/usr/bin/env bash
# CPU time per 1-s sample of a measurement on the simulated instrument, for
# ivra-run --simulate and for the desktop program ivra --simulate (under Xvfb,
# the Setup dialog filled in by xdotool). The simulator runs inside the
# program, so its share is included. Start-up is left out: the program's
# user + system time is read from /proc at two moments of the run, and the
# difference is divided by the seconds between them (one sample per second).
#   bench/cpu/cpu_per_sample.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=$(cd "${1:?usage: cpu_per_sample.sh BUILD_DIR [SECONDS]}" && pwd)
span=${2:-30}
work=$(mktemp -d)
xvfb_pid=
app_pid=
cleanup() {
  [[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null || true
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
ticks_per_s=$(getconf CLK_TCK)

# user + system CPU of a process (and all its threads), in clock ticks.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# Prints milliseconds of CPU per second of run between 5 s and 5 + span s.
measure() {
  local pid=$1
  sleep 5
  local a; a=$(cpu_ticks "$pid")
  sleep "$span"
  local b; b=$(cpu_ticks "$pid")
  awk -v a="$a" -v b="$b" -v hz="$ticks_per_s" -v s="$span" 'BEGIN { printf "%.1f\n", (b - a) * 1000 / hz / s }'
}

"$build/ivra-run" --simulate --time $((span + 20)) --output "$work/run.dat" 2>/dev/null &
app_pid=$!
echo "ivra-run --simulate: $(measure "$app_pid") ms CPU per sample"
kill "$app_pid"; wait "$app_pid" 2>/dev/null || true
app_pid=

display=95
while [[ -e /tmp/.X11-unix/X$display || -e /tmp/.X$display-lock ]]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=:$display
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
HOME=$work "$build/ivra" --simulate >/dev/null 2>&1 &
app_pid=$!
window=
for _ in $(seq 100); do
  window=$(xdotool search --name ' - Ivra$' 2>/dev/null | head -1) && [[ -n "$window" ]] && break
  sleep 0.2
done
sleep 1
# Measurement > Start (no window manager: the menu bar is at the screen's top left).
xdotool mousemove 92 12 click 1; sleep 1
xdotool mousemove 86 37 click 1
setup=
for _ in $(seq 50); do setup=$(xdotool search --name '^Setup$' 2>/dev/null | head -1) && [[ -n "$setup" ]] && break; sleep 0.2; done
if [[ -z "$setup" ]]; then echo "ivra --simulate: the Setup dialog did not open"; exit 1; fi
# The dialog's tab order: OK, port, interval, measurement time, output file.
xdotool windowfocus --sync "$setup"
xdotool key Tab Tab Tab ctrl+a; xdotool type $((span + 20))
xdotool key Tab ctrl+a; xdotool type "$work/gui.dat"
xdotool key Return
sleep 1
[[ -s "$work/gui.dat" ]] || sleep 2
echo "ivra --simulate: $(measure "$app_pid") ms CPU per sample ($(wc -l <"$work/gui.dat") lines so far)"
